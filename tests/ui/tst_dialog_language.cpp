// The dialog in the user's language and under its own captions: the failed
// search's box in Russian or English, as tarvex-read prints it (the message
// catalogue is found from the program's folder, as the installed program
// finds it), and the captions exactly as given, with no application name
// added by Qt.
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <cstdlib>

#include "ui/about_dialog.h"
#include "ui/app_setup.h"
#include "ui/reader_dialog.h"

class TestDialogLanguage : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toLocal8Bit());
        qunsetenv("LANGUAGE"); // it would outrank the locale below
        // No instrument anywhere: the search fails and says where it looked.
        for (const char* pszName : {"TARVEX_COM1", "TARVEX_COM2", "TARVEX_COM3", "TARVEX_COM4"})
            setenv(pszName, "/nonexistent/tarvex-port", 1);
    }

    void failedSearchBoxInTheUserLanguage_data() {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("foreign");
        QTest::newRow("ru") << QByteArray("ru_RU.UTF-8")
                            << QStringList{"Прибор не подключен", "Проверены порты:", "COM1 ("}
                            << QStringList{"Ports tried", "missing", "Check that"};
        QTest::newRow("en") << QByteArray("en_US.UTF-8")
                            << QStringList{"Прибор не подключен", "Ports tried:", "missing",
                                           "Check that the instrument"}
                            << QStringList{"Проверены порты"};
    }
    void failedSearchBoxInTheUserLanguage() {
        QFETCH(QByteArray, locale);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, foreign);
        qputenv("LC_ALL", locale);
        qDeleteAll(qApp->findChildren<QTranslator*>()); // those of the row before
        SetUpApplication();
        QStringList boxes;
        g_bFirstTick = 1;
        {
            ReaderDialog dialog;
            dialog.m_fnMessageBox = [&](QWidget*, const QString& szText, QMessageBox::Icon) {
                boxes << szText;
            };
            dialog.show();
            QTRY_VERIFY_WITH_TIMEOUT(!boxes.isEmpty(), 30000);
        }
        for (const QString& szText : expected)
            QVERIFY2(boxes[0].contains(szText), qPrintable(szText + " in\n" + boxes[0]));
        for (const QString& szText : foreign)
            QVERIFY2(!boxes[0].contains(szText), qPrintable(szText + " in\n" + boxes[0]));
    }

    void captionsAreShownAsTheyAre() {
        SetUpApplication();
        ReaderDialog dialog;
        AboutDialog about;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Вельмар-7К Программа чтения результатов"));
        QCOMPARE(about.windowTitle(), QStringLiteral("About Вельмар-7К"));
        // A display name, once set, is added by Qt to every caption on screen.
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    }
};

QTEST_MAIN(TestDialogLanguage)
#include "tst_dialog_language.moc"
