#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool InstallQtTranslations(const QLocale& locale) {
    auto* pTranslator = new QTranslator(QCoreApplication::instance());
    // qtbase holds the texts of the widgets this program shows; the locale's
    // languages are tried in the user's order of preference.
    if (!pTranslator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete pTranslator;
        return false;
    }
    QCoreApplication::installTranslator(pTranslator);
    return true;
}
