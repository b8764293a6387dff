#include "ui/app_setup.h"

#include <QCoreApplication>

#include "platform/messages.h"
#include "ui/qt_translations.h"

void SetUpApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("tarvex"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.7"));
    // Qt's own texts (box buttons, the save dialog) in the user's language;
    // without a catalogue for it they stay English.
    InstallQtTranslations();
    // The link's messages (the failed search's list of ports and its advice)
    // come from the same catalogue as tarvex-read's.
    InitMessages();
}

QString BoxTitle() {
    return QStringLiteral("Tarvex");
}
