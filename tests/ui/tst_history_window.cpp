// The history window on a history of known records: loading, the filters
// (and a wrong one), sorting, and the export of a selection.
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "archive/results_writer.h"
#include "history/record_store.h"
#include "platform/codepage.h"
#include "ui/chart_view.h"
#include "ui/history_model.h"
#include "ui/history_window.h"

namespace {

// Sample n % 50, cell 1 + n % 6, at 20, 30, 40 or 50 degrees (by n / 50), tgD
// 0.001 to 0.007, measured 2021-03-(1 + n / 100) 10:(n % 60); n = 0..999.
ArchiveRecord MakeRecord(int n) {
    ArchiveRecord r{};
    r.bytes[0] = static_cast<uint8_t>(n);
    r.bytes[1] = static_cast<uint8_t>(n >> 8);
    r.bytes[2] = static_cast<uint8_t>(n % 50);
    r.bytes[4] = RecordKindSample;
    r.bytes[5] = static_cast<uint8_t>(1 + n % 6);
    r.bytes[6] = static_cast<uint8_t>(20 + 10 * (n / 50 % 4));
    const float tgD = 0.001f * float(1 + n % 7);
    std::memcpy(r.bytes + 28, &tgD, 4);
    const int day = 1 + n / 100;
    r.bytes[8] = static_cast<uint8_t>((n % 60 / 10) << 4 | n % 60 % 10);
    r.bytes[9] = 0x10;
    r.bytes[11] = static_cast<uint8_t>((day / 10) << 4 | day % 10);
    r.bytes[12] = 0x03;
    r.bytes[13] = 0x21;
    return r;
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    std::string Path() const { return m_dir.filePath("h.sqlite3").toStdString(); }

    static void Loaded(HistoryWindow& window) {
        QTRY_VERIFY_WITH_TIMEOUT(!window.IsLoading(), 10000);
    }

private slots:
    void initTestCase() {
        std::vector<ArchiveRecord> records;
        for (int n = 0; n < 1000; ++n)
            records.push_back(MakeRecord(n));
        history::DownloadEntry entry;
        entry.count = 1000;
        history::openHistory(Path(), history::OpenMode::ReadWrite)->mergeDownload(entry, records);
    }

    void filtersSelectTheirRecords_data() {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("rows");
        struct Row {
            const char *name, *sample, *cell, *from, *to;
            int rows;
        };
        const Row rows[] = {
            {"all", "", "", "", "", 1000},
            {"sample", "7", "", "", "", 20},
            {"sample and cell", "7", "2", "", "", 7}, // n = 7 + 150k
            {"date range", "", "", "2021-03-03", "04.03.2021", 200},
            {"sample in range", "7", "", "2021-03-10", "", 2},
            {"wrong sample keeps the rows", "x7", "", "", "", 1000},
            {"reversed range", "", "", "2021-03-04", "03.03.2021", 1000},
            {"no such day", "", "", "2021-02-30", "", 1000},
            {"any real day, also before the clock's years", "", "", "1999-12-31", "", 1000},
        };
        for (const Row& r : rows)
            QTest::newRow(r.name) << QString(r.sample) << QString(r.cell) << QString(r.from)
                                  << QString(r.to) << r.rows;
    }
    void filtersSelectTheirRecords() {
        QFETCH(QString, sample);
        QFETCH(QString, cell);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, rows);
        HistoryWindow window(Path());
        window.show();
        Loaded(window);
        window.m_pSample->setText(sample);
        window.m_pCell->setText(cell);
        window.m_pFrom->setText(from);
        window.m_pTo->setText(to);
        window.Reload();
        Loaded(window);
        QCOMPARE(window.ShownRows(), rows);
        // A wrong filter says what is wrong, in the state line and the chart.
        const char* pszProblem = sample.startsWith('x') ? "Номер пробы"
                                 : to == "03.03.2021"   ? "позже даты «по»"
                                 : from == "2021-02-30" ? "такого дня нет"
                                                        : nullptr;
        if (pszProblem) {
            QVERIFY2(window.m_pState->text().contains(QString::fromUtf8(pszProblem)),
                     qPrintable(window.m_pState->text()));
            QVERIFY(window.m_pChart->WhyNone().contains(window.m_pState->text()));
        }
    }

    void sortsAndExportsTheSelection() {
        HistoryWindow window(Path());
        window.show();
        Loaded(window);
        window.m_pSample->setText("7");
        window.Reload();
        Loaded(window);
        // Sorted by tgD, then by sample number descending: all are sample 7.
        window.m_pTable->sortByColumn(1, Qt::DescendingOrder);
        QCOMPARE(window.m_pTable->model()->index(0, 1).data().toInt(), 7);
        // Sorted by time, newest first: day 10 (n = 957, 907), then day 9 (807, 857).
        window.m_pTable->sortByColumn(0, Qt::DescendingOrder);
        QVERIFY(window.m_pTable->model()->index(0, 0).data().toString().startsWith("2021-03-10"));
        window.m_pTable->selectionModel()->select(window.m_pTable->model()->index(2, 0),
                                                  QItemSelectionModel::Select |
                                                      QItemSelectionModel::Rows);
        const QString szOut = m_dir.filePath("one.doc");
        window.m_fnChooseExport = [szOut] {
            return SaveChoice{szOut, exports::ResultsForm::Report};
        };
        window.ExportSelection();
        // The third newest record of sample 7: n = 807 (day 9, 10:27).
        const ArchiveRecord expected = MakeRecord(807);
        std::string text;
        FormatRecords(&expected, 1, EmptyCellTable{}, 0, '.', [&](std::string_view piece) {
            text += piece;
            return true;
        });
        QFile file(szOut);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toStdString(), text);
    }

    // Values the instrument gave as no number sort first (last when
    // descending), and the numbers keep their order both ways.
    void sortPutsNoNumberFirstBothWays() {
        const int tgD = 8;
        std::vector<history::StoredRecord> records(60);
        for (int n = 0; n < 60; ++n) {
            records[size_t(n)].record = MakeRecord(n);
            const float noNumber = std::numeric_limits<float>::quiet_NaN();
            if (n % 4 == 1)
                std::memcpy(records[size_t(n)].record.bytes + 28, &noNumber, 4);
        }
        HistoryModel rows;
        rows.Append(std::move(records));
        HistorySortModel sorted;
        sorted.setSourceModel(&rows);
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            sorted.sort(tgD, order);
            std::vector<double> keys;
            for (int row = 0; row < sorted.rowCount(); ++row)
                keys.push_back(rows.SortKey(sorted.mapToSource(sorted.index(row, tgD)).row(), tgD));
            if (order == Qt::DescendingOrder)
                std::reverse(keys.begin(), keys.end());
            const auto firstNumber =
                std::find_if(keys.begin(), keys.end(), [](double key) { return !std::isnan(key); });
            QCOMPARE(firstNumber - keys.begin(), 15);
            QVERIFY(std::is_sorted(firstNumber, keys.end()));
        }
    }

    // The filter picked in the save dialog decides the form and adds its
    // suffix; a name with a form's suffix keeps it.
    void exportFormFollowsTheFilter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("mark"); // found in that form only
        QTest::newRow("pdf, no suffix") << "exp600b" << 1 << "exp600b.pdf" << QByteArray("%PDF-");
        QTest::newRow("report, dotted name")
            << "exp.600b" << 3 << "exp.600b.doc" << QByteArray("tgDx=");
        QTest::newRow("suffix of a form wins") << "exp.xls" << 1 << "exp.xls" << QByteArray("\t");
    }
    void exportFormFollowsTheFilter() {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QFETCH(QByteArray, mark);
        HistoryWindow window(Path());
        window.show();
        Loaded(window);
        QDir::setCurrent(m_dir.path());
        QTimer::singleShot(0, [&] {
            QFileDialog* pDialog = nullptr;
            QTRY_VERIFY((pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())));
            auto* pTypes = pDialog->findChild<QComboBox*>("fileTypeCombo");
            pTypes->setCurrentIndex(filter);
            emit pTypes->activated(filter); // as a user's pick does
            emit pTypes->textActivated(pTypes->itemText(filter));
            pDialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
            QMetaObject::invokeMethod(pDialog, "accept", Qt::QueuedConnection);
        });
        window.ExportSelection();
        QFile file(m_dir.filePath(written));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(window.m_pState->text()));
        QVERIFY(file.readAll().contains(mark));
        QVERIFY(!QFile::exists(m_dir.filePath(typed)) || typed == written);
    }

    // Numbers follow the user's decimal separator, as in the PDF report.
    void numbersFollowTheUserLocale() {
        const QByteArray previous = qgetenv("LC_ALL");
        qputenv("LC_ALL", "ru_RU.UTF-8");
        HistoryWindow window(Path());
        qputenv("LC_ALL", previous);
        window.show();
        Loaded(window);
        const QString szTgD = window.m_pTable->model()->index(0, 8).data().toString();
        QVERIFY2(QRegularExpression("^0,\\d{5}$").match(szTgD).hasMatch(), qPrintable(szTgD));
    }

    // The chart follows the selection: tgD against temperature a line per
    // selected sample, over time a line per cell of the current row's sample,
    // and for the sample filter's sample when no row is selected.
    void chartFollowsTheSelection() {
        HistoryWindow window(Path());
        window.show();
        Loaded(window);
        QVERIFY(!window.m_pChart->Chart());
        QVERIFY(!window.m_pChart->WhyNone().isEmpty());
        QAbstractItemModel* pRows = window.m_pTable->model();
        int firstOf8 = -1;
        for (int row = 0; row < pRows->rowCount(); ++row) {
            const int sample = pRows->index(row, 1).data().toInt();
            if (sample != 7 && sample != 8)
                continue;
            window.m_pTable->selectionModel()->select(
                pRows->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (sample == 8 && firstOf8 < 0)
                firstOf8 = row;
        }
        QTRY_VERIFY(window.m_pChart->Chart().has_value());
        const exports::ChartSpec byTemperature = *window.m_pChart->Chart();
        QCOMPARE(byTemperature.series.size(), size_t(2));
        QCOMPARE(byTemperature.series[0].name, std::string("проба 7"));
        QCOMPARE(byTemperature.series[1].points.size(), size_t(20));
        const QImage image = window.m_pChart->grab().toImage();
        int coloured = 0; // the lines, in the chart's blue or orange
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                coloured += std::abs(c.red() - c.blue()) > 80;
            }
        QVERIFY(coloured > 50);

        window.m_pTable->setCurrentIndex(pRows->index(firstOf8, 2));
        window.m_pChartKind->setCurrentIndex(1);
        QVERIFY(window.m_pChart->Chart()->xIsTime);
        QVERIFY(window.m_pChart->Chart()->title.find(" 8:") != std::string::npos);
        QCOMPARE(window.m_pChart->Chart()->series.size(), size_t(3)); // sample 8: cells 1, 3, 5
        QCOMPARE(window.m_pChart->Chart()->series[2].cell, 5); // coloured as cell 5 everywhere

        window.m_pTable->clearSelection();
        window.m_pSample->setText("9");
        window.Reload();
        Loaded(window);
        window.m_pChartKind->setCurrentIndex(0);
        QVERIFY(window.m_pChart->Chart()->title.find(" 9:") != std::string::npos);
    }

    // Two instruments whose records share their sample numbers: the box
    // shows one instrument's, the chart draws two samples 7, the export
    // writes each instrument's block.
    void instrumentsAreToldApart() {
        const std::string path = m_dir.filePath("two.sqlite3").toStdString();
        {
            auto store = history::openHistory(path, history::OpenMode::ReadWrite);
            for (std::uint8_t other : {0x00, 0x80}) {
                std::vector<ArchiveRecord> records;
                for (int n = 0; n < 100; ++n) {
                    records.push_back(MakeRecord(n));
                    records.back().bytes[1] |= other;
                }
                store->mergeDownload(history::DownloadEntry{}, records);
            }
        }
        HistoryWindow window(path);
        window.show();
        Loaded(window);
        QCOMPARE(window.m_pInstrument->count(), 3);
        QCOMPARE(window.ShownRows(), 200);
        window.m_pInstrument->setCurrentIndex(2);
        window.Reload();
        Loaded(window);
        QCOMPARE(window.ShownRows(), 100);
        QVERIFY(!window.m_pTable->isColumnHidden(9));
        QCOMPARE(window.m_pTable->model()->index(0, 9).data().toString(),
                 QStringLiteral("№ 2 в архиве"));

        window.m_pInstrument->setCurrentIndex(0);
        window.m_pSample->setText("7"); // n = 7 at 20 degrees, 57 at 30, of each instrument
        window.Reload();
        Loaded(window);
        QCOMPARE(window.ShownRows(), 4);
        window.m_pTable->selectAll();
        window.UpdateChart();
        QVERIFY(window.m_pChart->Chart().has_value());
        const exports::ChartSpec chart = *window.m_pChart->Chart();
        QCOMPARE(chart.series.size(), size_t(2));
        QCOMPARE(chart.series[1].name, std::string("проба 7 (прибор № 2 в архиве)"));

        const QString szOut = m_dir.filePath("two.doc");
        window.m_fnChooseExport = [szOut] {
            return SaveChoice{szOut, exports::ResultsForm::Report};
        };
        window.ExportSelection();
        QFile file(szOut);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::string text = file.readAll().toStdString();
        for (const char* szHeading : {"Прибор: № 1 в архиве, считано ", "\nПрибор: № 2 в архиве"})
            QVERIFY(text.find(Utf8ToCp1251(szHeading)) != std::string::npos);
    }

    // A history not there yet, and one that is no database, are told in words.
    void unreadableHistorySaysWhy() {
        QFile garbage(m_dir.filePath("garbage.sqlite3"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, 'x'));
        garbage.close();
        for (auto [szName, szText] : {std::pair{"absent.sqlite3", "История пока пуста"},
                                      std::pair{"garbage.sqlite3", "История не читается: это не "
                                                                   "файл истории измерений"}}) {
            HistoryWindow window(m_dir.filePath(szName).toStdString());
            window.show();
            Loaded(window);
            QCOMPARE(window.ShownRows(), 0);
            QVERIFY2(window.m_pState->text().startsWith(QString::fromUtf8(szText)),
                     qPrintable(window.m_pState->text()));
        }
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_history_window.moc"
