#include "app/reader_app.h"

#include <QFile>
#include <QIcon>

#include "ui/app_setup.h"
#include "ui/reader_dialog.h"

ReaderApp::ReaderApp(int& argc, char** argv) : m_app(argc, argv) {
    SetUpApplication();
}

int ReaderApp::InitInstance() {
    {
        // The dialog creates the idle link; its window's closing saves the
        // port, and its destruction here stops the link.
        ReaderDialog dialog;
        QApplication::setWindowIcon(dialog.m_hIcon);
        // --database PATH or --no-history: the measurement history of this run.
        const QStringList args = QApplication::arguments();
        const qsizetype nDatabase = args.indexOf(QStringLiteral("--database"));
        if (nDatabase > 0 && nDatabase + 1 < args.size())
            dialog.Logic().m_szHistoryPath = QFile::encodeName(args[nDatabase + 1]).toStdString();
        dialog.Logic().m_bNoHistory = args.contains(QStringLiteral("--no-history"));
        dialog.exec();
    }
    return 0; // no event loop of our own follows
}
