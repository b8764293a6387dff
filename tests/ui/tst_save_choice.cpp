// The save dialog's choice of the results form: the filter entries, the form
// a choice stands for, the proposed name following the filter, and the form
// remembered for the next download in the program's own settings.
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdlib>

#include "archive/archive_record.h"
#include "ui/reader_dialog.h"
#include "ui/save_choice.h"

using exports::ResultsForm;
Q_DECLARE_METATYPE(ResultsForm)

class TestSaveChoice : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Runs fnServe on the save dialog once it is open.
    static void ServeFileDialog(const std::function<void(QFileDialog&)>& fnServe) {
        QTimer::singleShot(0, [fnServe] {
            QFileDialog* pDialog = nullptr;
            QTRY_VERIFY((pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())));
            fnServe(*pDialog);
        });
    }

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toLocal8Bit()); }

    void filtersKeepTheOldEntriesAndAddTheNewForm() {
        QCOMPARE(
            ResultsNameFilters(true),
            QStringList({"Results Files (*.xls)", "Excel Workbook (*.xlsx)", " All Files (*.*)"}));
        QCOMPARE(ResultsNameFilters(false),
                 QStringList({"Results Files (*.doc)", "PDF Report (*.pdf)", " All Files (*.*)"}));
    }

    void formOfChoice_data() {
        QTest::addColumn<bool>("tableKind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<ResultsForm>("expected");
        QTest::newRow("suffix of the kind") << true << "/d/r.xlsx"
                                            << "Results Files (*.xls)" << ResultsForm::Workbook;
        QTest::newRow("filter when no suffix") << false << "/d/r"
                                               << "PDF Report (*.pdf)" << ResultsForm::Pdf;
        QTest::newRow("other kind's suffix: filter")
            << true << "/d/r.pdf"
            << "Results Files (*.xls)" << ResultsForm::Table;
        QTest::newRow("all files, unknown suffix: last form")
            << false << "/d/r.txt"
            << " All Files (*.*)" << ResultsForm::Pdf;
        QTest::newRow("dot in the folder only") << true << "/d.xlsx/r"
                                                << " All Files (*.*)" << ResultsForm::Table;
    }
    void formOfChoice() {
        QFETCH(bool, tableKind);
        QFETCH(QString, path);
        QFETCH(QString, filter);
        QFETCH(ResultsForm, expected);
        const ResultsForm fallback = tableKind ? ResultsForm::Table : ResultsForm::Pdf;
        QCOMPARE(FormOfChoice(tableKind, path, filter, fallback), expected);
    }

    // The remembered form is selected with its suffix on the name; picking the
    // other filter changes the suffix, and the choice comes back with it.
    void dialogNameFollowsTheFilter() {
        QString nameShown, filterShown;
        ServeFileDialog([&](QFileDialog& dialog) {
            auto* pEdit = dialog.findChild<QLineEdit*>("fileNameEdit");
            auto* pTypes = dialog.findChild<QComboBox*>("fileTypeCombo");
            QVERIFY(pEdit && pTypes);
            nameShown = pEdit->text();
            filterShown = dialog.selectedNameFilter();
            pTypes->setCurrentIndex(0);
            emit pTypes->activated(0); // as a user's pick does
            QCOMPARE(pEdit->text(), QStringLiteral("results07_12_26.xls"));
            QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);
        });
        QDir::setCurrent(m_dir.path());
        const auto choice =
            RunResultsSaveDialog(nullptr, true, "results07_12_26.xlsx", ResultsForm::Workbook);
        QCOMPARE(nameShown, QStringLiteral("results07_12_26.xlsx"));
        QCOMPARE(filterShown, QStringLiteral("Excel Workbook (*.xlsx)"));
        QVERIFY(choice);
        QCOMPARE(choice->form, ResultsForm::Table);
        QVERIFY2(choice->path.endsWith("/results07_12_26.xls"), qPrintable(choice->path));
    }

    // A workbook chosen once is written and proposed again by the next dialog;
    // the report kind keeps its own choice.
    void chosenFormIsWrittenAndProposedNextTime() {
        for (int k = 0; k < 3; ++k)
            g_records[k].bytes[4] = RecordKindSample;
        QStringList proposed;
        const QString path = m_dir.filePath("chosen.xlsx");
        for (int run = 0; run < 2; ++run) {
            ReaderDialog dlg;
            dlg.Logic().m_fnStartLink = [] { return 1; };
            dlg.m_fnMessageBox = [](QWidget*, const QString& text, QMessageBox::Icon) {
                QFAIL(qPrintable(text));
            };
            dlg.m_fnChooseSavePath = [&](const QString& name, int) {
                proposed << name;
                return path;
            };
            dlg.Logic().m_bExcelTable = 1;
            dlg.Logic().WriteResultsFile(3);
        }
        QCOMPARE(proposed.size(), 2);
        QVERIFY2(proposed[0].endsWith(".xls"), qPrintable(proposed[0]));
        QVERIFY2(proposed[1].endsWith(".xlsx"), qPrintable(proposed[1]));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(2), QByteArray("PK")); // a zip container, not the text table
        QCOMPARE(exports::RememberedForm(false), ResultsForm::Report);
    }
};

QTEST_MAIN(TestSaveChoice)
#include "tst_save_choice.moc"
