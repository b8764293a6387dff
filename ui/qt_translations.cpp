#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Qt 6 asks for the save dialog's type column ("Folder", "Drive", ...) under
// the context of its icon provider, while the catalogues that come with Qt
// 6.4 still hold those texts under the file dialog's context, as in Qt 5:
// the column stayed English. Such a text is looked up there too.
class QtBaseTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* pszContext, const char* pszSource, const char* pszDisambiguation,
                      int n) const override {
        QString szText = QTranslator::translate(pszContext, pszSource, pszDisambiguation, n);
        if (szText.isEmpty() && qstrcmp(pszContext, "QAbstractFileIconProvider") == 0)
            szText = QTranslator::translate("QFileDialog", pszSource, nullptr, n);
        return szText;
    }
};

} // namespace

bool InstallQtTranslations(const QLocale& locale) {
    auto* pTranslator = new QtBaseTranslator(QCoreApplication::instance());
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
