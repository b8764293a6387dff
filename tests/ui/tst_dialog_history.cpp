// The dialog and the measurement history against the simulated instrument:
// every download merged, "Только новые записи" remembered and reading only
// what is new (or nothing), a ring that came round said, and a history file
// that cannot be written.
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "history/pending_downloads.h"
#include "history/record_store.h"
#include "tests/history/model_instrument.h"
#include "tests/support/sim_process.h"
#include "ui/reader_dialog.h"

namespace {
const QString CONNECTED = QStringLiteral(" Связь установлена по COM3 ");
constexpr int LINK_TIMEOUT_MS = 30000;

QByteArray ReadAll(const QString& szPath) {
    QFile file(szPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<int> RecordRequests(const QString& szLog) {
    std::vector<int> indices;
    for (const QByteArray& line : ReadAll(szLog).split('\n')) {
        unsigned code = 0, low = 0, high = 0;
        if (std::sscanf(line.constData(), "01 07 %x %x %x", &code, &low, &high) == 3 && code == 10)
            indices.push_back(static_cast<int>(low | high << 8));
    }
    return indices;
}
} // namespace

class TestDialogHistory : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_boxes;
    int m_nAsked = 0;
    std::function<bool(QWidget*, const QString&)> m_fnAsk; // the damaged-history box
    std::string m_szLocation;                              // the history instead of h.sqlite3

    QString File(const char* pszName) const { return m_dir.filePath(QLatin1String(pszName)); }

    // A simulator at position behind the stable link "dev", the one COM3 leads to.
    std::unique_ptr<SimProcess> StartSim(int nPosition, std::vector<std::string> extra = {}) {
        QFile::remove(File("sim.log"));
        std::vector<std::string> args = {"--no-pacing",
                                         "--position",
                                         std::to_string(nPosition),
                                         "--link",
                                         File("dev").toStdString(),
                                         "--log",
                                         File("sim.log").toStdString()};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<SimProcess>(args);
    }

    // A dialog that reads nCount records into szOut (the save dialog answered
    // at once) and returns once the download has ended one way or another.
    std::unique_ptr<ReaderDialog> Download(int nCount, const QString& szOut,
                                           const QString& szExpectStatus) {
        m_boxes.clear();
        m_nAsked = 0;
        g_bFirstTick = 1;
        g_szStatusSuffix[0] = '\0';
        auto pDlg = std::make_unique<ReaderDialog>();
        pDlg->m_fnMessageBox = [this](QWidget*, const QString& sz, QMessageBox::Icon) {
            m_boxes.append(sz);
        };
        pDlg->m_fnChooseSavePath = [this, szOut](const QString&, int) {
            ++m_nAsked;
            return szOut;
        };
        pDlg->Logic().m_szHistoryPath =
            m_szLocation.empty() ? File("h.sqlite3").toStdString() : m_szLocation;
        if (m_fnAsk)
            pDlg->m_fnAskSetAside = m_fnAsk;
        pDlg->show();
        [&] { QTRY_COMPARE_WITH_TIMEOUT(pDlg->StatusText(), CONNECTED, LINK_TIMEOUT_MS); }();
        pDlg->findChild<QLineEdit*>("IDC_RECORD_COUNT")->setText(QString::number(nCount));
        QTest::mouseClick(pDlg->findChild<QPushButton*>("IDC_READ_ARCHIVE"), Qt::LeftButton);
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(pDlg->StatusText().contains(szExpectStatus), LINK_TIMEOUT_MS);
        }();
        QTest::qWait(200); // the closing frame's reply
        return pDlg;
    }

    long StoredRecords() {
        return static_cast<long>(
            history::openHistory(File("h.sqlite3").toStdString(), history::OpenMode::ReadOnly)
                ->stats()
                .records);
    }

private slots:
    void initTestCase() {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        qputenv("XDG_CONFIG_HOME", File("config").toLocal8Bit());
        for (const char* pszName : {"TARVEX_COM1", "TARVEX_COM2", "TARVEX_COM4"})
            setenv(pszName, "/nonexistent/tarvex-port", 1);
        setenv("TARVEX_COM3", File("dev").toLocal8Bit().constData(), 1);
    }

    void onlyNewRecordsIsRememberedAndReadsWhatIsNew() {
        {
            auto pSim = StartSim(228);
            auto pDlg = Download(100, File("first.doc"), QStringLiteral("Файл прочитан."));
            QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0)));
            QVERIFY(!pDlg->Logic().OnlyNewRecords());
            pDlg->Logic().SetOnlyNewRecords(true);
        }
        const long nFirst = StoredRecords();
        QVERIFY(nFirst > 50);
        {
            // Remembered by the next dialog; the instrument has written 30 records.
            // It reads them newest first, and the last one kept before them.
            // (The simulator's archive has no empty slot in 227..257.)
            auto pSim = StartSim(258);
            auto pDlg = Download(100, File("new.doc"), QStringLiteral("Файл прочитан."));
            QVERIFY(pDlg->Logic().OnlyNewRecords());
            // The count box shows the mode, and the status line what was read and kept.
            QVERIFY(!pDlg->findChild<QLineEdit*>("IDC_RECORD_COUNT")->isEnabled());
            QStringList titles;
            for (const QGroupBox* pGroup : pDlg->findChildren<QGroupBox*>())
                titles << pGroup->title();
            QVERIFY2(titles.contains(QStringLiteral("Только новые записи")),
                     qPrintable(titles.join('|')));
            const QString szKept = QStringLiteral("Файл прочитан. Новых: 30, в историю: +%1")
                                       .arg(StoredRecords() - nFirst);
            QVERIFY2(pDlg->StatusText().contains(szKept), qPrintable(pDlg->StatusText()));
            QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0)));
            std::vector<int> expected;
            for (int index = 257; index >= 227; --index)
                expected.push_back(index);
            QCOMPARE(RecordRequests(File("sim.log")), expected);
        }
        // The file holds exactly the 30 new records.
        std::string archive;
        {
            const QString szDump = File("archive.bin");
            QProcess::execute(TARVEX_SIM_PATH, {"--dump-archive", szDump});
            const QByteArray bytes = ReadAll(szDump);
            QCOMPARE(bytes.size(), 56 + 2000 * 32);
            std::memcpy(g_emptyCells.bytes, bytes.constData(), 56);
            for (int k = 0; k < 30; ++k)
                std::memcpy(g_records[k].bytes, bytes.constData() + 56 + (228 + k) * 32, 32);
        }
        QVERIFY(WriteResultsToFile(File("expected").toStdString(), 30, 0, '.').ok);
        QCOMPARE(ReadAll(File("new.doc")), ReadAll(File("expected")));
        QVERIFY(StoredRecords() > nFirst);
        {
            // Nothing new: no save dialog, no file, said on the status line.
            auto pSim = StartSim(258);
            auto pDlg = Download(100, File("none.doc"), QStringLiteral("Новых записей нет."));
            QCOMPARE(m_nAsked, 0);
            QVERIFY(!QFile::exists(File("none.doc")));
            QCOMPARE(RecordRequests(File("sim.log")), std::vector<int>{257});
            pDlg->Logic().SetOnlyNewRecords(false);
        }
    }

    // All 2000 records new on a cable the history knows: the older ones may
    // be gone, and the box says so after the file is written.
    void ringThatCameRoundIsSaid() {
        {
            auto pSim = StartSim(300);
            auto pDlg = Download(10, File("usual.doc"), QStringLiteral("Файл прочитан."));
            pDlg->Logic().SetOnlyNewRecords(true);
        }
        ModelInstrument tester(5000000);
        tester.Write(2300);
        tester.Save(File("ring.bin").toStdString());
        {
            auto pSim = StartSim(tester.Position(), {"--archive", File("ring.bin").toStdString(),
                                                     "--turnaround", "0"});
            auto pDlg = Download(100, File("ring.doc"), QStringLiteral("Файл прочитан."));
            QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 5000);
            QVERIFY2(m_boxes[0].contains(QStringLiteral("могли быть затёрты")),
                     qPrintable(m_boxes[0]));
            QCOMPARE(RecordRequests(File("sim.log")).size(), size_t{2000});
            QVERIFY(ReadAll(File("ring.doc")).size() > 2000 * 50);
            pDlg->Logic().SetOnlyNewRecords(false);
            QVERIFY(pDlg->findChild<QLineEdit*>("IDC_RECORD_COUNT")->isEnabled());
        }
    }

    void unwritableHistoryStillWritesTheFile() {
        std::ofstream(File("h.sqlite3").toStdString(), std::ios::trunc) << std::string(5000, 'z');
        auto pSim = StartSim(400);
        auto pDlg = Download(10, File("kept.doc"), QStringLiteral("Файл прочитан."));
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 5000);
        QVERIFY2(m_boxes[0].startsWith(QStringLiteral("История измерений не обновлена: это не "
                                                      "файл истории измерений")),
                 qPrintable(m_boxes[0]));
        QVERIFY(ReadAll(File("kept.doc")).size() > 500);
    }

    // A shared history whose server is down: the file is written, one box
    // says the download waits on this PC, and it does.
    void sharedHistoryAwayKeepsTheDownloadOnThisPC() {
        qputenv("XDG_DATA_HOME", File("data").toLocal8Bit());
        QVERIFY(QDir().mkpath(File("down")));
        m_szLocation = "host=" + File("down").toStdString() + " port=5432 dbname=tarvex";
        auto pSim = StartSim(500);
        auto pDlg = Download(10, File("shared.doc"), QStringLiteral("Файл прочитан."));
        m_szLocation.clear();
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 15000);
        qunsetenv("XDG_DATA_HOME");
        const QString szLocal = File("data") + QStringLiteral("/tarvex/history.sqlite3");
        QVERIFY2(m_boxes[0].startsWith(QStringLiteral("Общая история измерений недоступна.")),
                 qPrintable(m_boxes[0]));
        QVERIFY2(m_boxes[0].contains(QStringLiteral("будет передано в общую историю")) &&
                     m_boxes[0].endsWith(szLocal),
                 qPrintable(m_boxes[0]));
        QVERIFY(ReadAll(File("shared.doc")).size() > 500);
        QCOMPARE(history::pendingCount(szLocal.toStdString()), 1);
    }

    // A damaged history: one box, in Russian only, whose button sets the file
    // aside; the download then starts the new history. Without the button
    // the file stays as it was.
    void damagedHistoryHasOneBoxAndAWayOut() {
        QFile::remove(File("h.sqlite3"));
        auto pSim = StartSim(400);
        Download(100, File("first.doc"), QStringLiteral("Файл прочитан."));
        std::fstream(File("h.sqlite3").toStdString(), std::ios::in | std::ios::out)
            .seekp(4096)
            .write(std::string(3 * 4096, '\xff').data(), 3 * 4096);
        const QByteArray damaged = ReadAll(File("h.sqlite3"));
        for (const bool bSetAside : {false, true}) {
            QStringList asked;
            m_fnAsk = [&](QWidget*, const QString& sz) {
                asked.append(sz);
                return bSetAside;
            };
            auto pDlg = Download(10, File("damaged.doc"), QStringLiteral("Файл прочитан."));
            QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 5000);
            QVERIFY2(asked[0].contains(QStringLiteral("файл истории повреждён")) &&
                         asked[0].contains(QStringLiteral("tarvex-history recover")) &&
                         !asked[0].contains(QStringLiteral("malformed")),
                     qPrintable(asked[0]));
            QVERIFY(ReadAll(File("damaged.doc")).size() > 100);
            const QStringList aside =
                QDir(m_dir.path()).entryList({QStringLiteral("h.sqlite3.damaged-*")});
            if (!bSetAside) {
                QVERIFY(m_boxes.isEmpty());
                QCOMPARE(ReadAll(File("h.sqlite3")), damaged);
                QVERIFY(aside.isEmpty());
                continue;
            }
            QCOMPARE(m_boxes.size(), 1); // where the damaged file went
            QVERIFY2(m_boxes[0].contains(aside.value(0)), qPrintable(m_boxes[0]));
            QCOMPARE(ReadAll(m_dir.filePath(aside.value(0))), damaged);
            QCOMPARE(
                history::openHistory(File("h.sqlite3").toStdString(), history::OpenMode::ReadOnly)
                    ->stats()
                    .downloads,
                1);
        }
        m_fnAsk = nullptr;
    }
};

QTEST_MAIN(TestDialogHistory)
#include "tst_dialog_history.moc"
