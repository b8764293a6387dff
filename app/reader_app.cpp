#include "app/reader_app.h"

#include <QIcon>

#include "ui/qt_translations.h"
#include "ui/reader_dialog.h"

ReaderApp::ReaderApp(int& argc, char** argv) : m_app(argc, argv) {
    QApplication::setApplicationName(QStringLiteral("tarvex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvex"));
    QApplication::setApplicationVersion(QStringLiteral("1.7"));
    // Qt's own texts (box buttons, the save dialog) in the user's language;
    // without a catalogue for it they stay English.
    InstallQtTranslations();
}

int ReaderApp::InitInstance() {
    {
        // The dialog creates the idle link; its window's closing saves the
        // port, and its destruction here stops the link.
        ReaderDialog dialog;
        QApplication::setWindowIcon(dialog.m_hIcon);
        dialog.exec();
    }
    return 0; // no event loop of our own follows
}
