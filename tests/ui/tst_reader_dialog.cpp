// The main dialog: record count edit and arrows, form check box, status line,
// clock, first tick, closing and the About box on their own; then with its real
// link against the simulated instrument: finding it and saving its port, a whole
// download into a results file, a file error, and a worker's box that Stop has
// to serve while the dialog is being destroyed.
#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <unistd.h>

#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "dialog/resource_ids.h"
#include "platform/codepage.h"
#include "tests/support/sim_process.h"
#include "ui/clock_panel.h"
#include "ui/reader_dialog.h"
#include "ui/record_spin.h"

namespace {
const QString CONNECTED = QStringLiteral(" Связь установлена по COM3 ");
const QString FILE_DONE = QStringLiteral("Файл прочитан.");
constexpr int LINK_TIMEOUT_MS = 30000;

template <class T> T* Child(const QObject& owner, const char* pszName) {
    return owner.findChild<T*>(QLatin1String(pszName));
}

QByteArray ReadAll(const QString& szPath) {
    QFile file(szPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestReaderDialog : public QObject {
    Q_OBJECT

    struct ShownBox {
        QWidget* pOwner;
        QString szText;
        QMessageBox::Icon icon;
    };
    QTemporaryDir m_dir;
    QList<ShownBox> m_boxes;
    int m_nStarts = 0;
    int m_nSaveDialogs = 0;
    std::optional<FileSizeLimit> m_sizeLimit; // over the first write when m_nFirstWriteLimit > 0
    unsigned long m_nFirstWriteLimit = 0;
    QString m_szProposed;

    // A shown dialog whose boxes go to m_boxes instead of the screen. Without
    // bRealLink its first tick only counts a start in m_nStarts.
    std::unique_ptr<ReaderDialog> MakeDialog(bool bRealLink = false) {
        m_boxes.clear();
        auto pDlg = std::make_unique<ReaderDialog>();
        pDlg->m_fnMessageBox = [this](QWidget* pOwner, const QString& sz, QMessageBox::Icon icon) {
            m_boxes.append({pOwner, sz, icon});
        };
        g_szStatusSuffix[0] = '\0';
        if (bRealLink)
            g_bFirstTick = 1; // each such dialog starts its own link
        else
            pDlg->Logic().m_fnStartLink = [this] { return ++m_nStarts, 1; };
        pDlg->show();
        return pDlg;
    }

    // Runs fnServe on the next modal or popup widget, and closes whatever is
    // still open after 5 s so a failed key cannot hang the run.
    void ServeModal(std::function<void(QWidget*)> fnServe) {
        QTimer::singleShot(0, this, [fnServe] {
            QWidget* pModal = QApplication::activeModalWidget();
            if (pModal != nullptr || (pModal = QApplication::activePopupWidget()) != nullptr)
                fnServe(pModal);
        });
        QTimer::singleShot(5000, this, [] {
            if (QWidget* pModal = QApplication::activeModalWidget())
                pModal->close();
        });
    }

    // Waits for the link, then reads nCount records with the save dialog
    // answered by szPath; returns once the path has been asked for.
    void StartDownload(ReaderDialog& dlg, int nCount, int bExcel, const QString& szPath) {
        StartDownload(dlg, nCount, bExcel, QStringList{szPath});
    }
    // The same with one answer for each time the save dialog is shown, and
    // cancel after the last; m_nSaveDialogs counts the times.
    void StartDownload(ReaderDialog& dlg, int nCount, int bExcel, const QStringList& answers) {
        m_szProposed.clear();
        m_nSaveDialogs = 0;
        dlg.m_fnChooseSavePath = [this, &dlg, answers](const QString& szName, int) {
            m_szProposed = szName;
            if (++m_nSaveDialogs > 1) {
                m_sizeLimit.reset(); // the limit is for the first write only
                return m_nSaveDialogs <= answers.size() ? answers[m_nSaveDialogs - 1] : QString();
            }
            // Hold the save dialog until the closing frame's reply is in, so it
            // arrives re-entrantly, as it does while a user picks a name.
            QDeadlineTimer deadline(10000);
            while (!deadline.hasExpired() &&
                   !(dlg.Logic().m_pLink->m_bTxRequest.load() == 0 &&
                     dlg.Logic().m_pLink->m_nLinkState.load() == LINK_READY))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QTest::qWait(100);
            if (m_nFirstWriteLimit > 0)
                m_sizeLimit.emplace(m_nFirstWriteLimit);
            return answers.value(0);
        };
        QTRY_COMPARE_WITH_TIMEOUT(dlg.StatusText(), CONNECTED, LINK_TIMEOUT_MS);
        Child<QLineEdit>(dlg, "IDC_RECORD_COUNT")->setText(QString::number(nCount));
        if (bExcel)
            QTest::mouseClick(Child<QCheckBox>(dlg, "IDC_EXCEL"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(dlg, "IDC_READ_ARCHIVE"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_szProposed.isEmpty(), LINK_TIMEOUT_MS);
    }

    // What the writer makes of the simulator's archive for this download.
    QByteArray ExpectedResults(int nPosition, int nCount, int bExcel) {
        const QString szArchive = m_dir.filePath("archive.bin"), szOut = m_dir.filePath("expected");
        QProcess::execute(TARVEX_SIM_PATH, {"--dump-archive", szArchive});
        const QByteArray archive = ReadAll(szArchive);
        if (archive.size() != 56 + 2000 * 32)
            return {};
        std::memcpy(g_emptyCells.bytes, archive.constData(), 56);
        for (int k = 0, nIndex = (nPosition - nCount + 2000) % 2000; k < nCount;
             ++k, nIndex = (nIndex + 1) % 2000)
            std::memcpy(g_records[k].bytes, archive.constData() + 56 + nIndex * 32, 32);
        WriteResultsToFile(QFile::encodeName(szOut).toStdString(), nCount, bExcel,
                           decimalSeparator());
        return ReadAll(szOut);
    }

private slots:
    void initTestCase() {
        // The settings path is fixed by the first dialog of a process.
        QVERIFY(QDir::setCurrent(m_dir.path()));
        // The program's own settings (the remembered results form) stay in here.
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toLocal8Bit());
        // Only COM3 leads anywhere; the other names the search tries do not exist.
        for (const char* pszName : {"TARVEX_COM1", "TARVEX_COM2", "TARVEX_COM4"})
            setenv(pszName, "/nonexistent/tarvex-port", 1);
    }

    void countEditAndArrows_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("spin");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("after");
        QTest::newRow("up from 100") << "100" << 100 << 100 << 1 << 101;
        QTest::newRow("up at 2000") << "2000" << 2000 << 2000 << 1 << 2000;
        QTest::newRow("down at 1") << "1" << 1 << 1 << -1 << 1;
        QTest::newRow("2500") << "2500" << 2500 << 2000 << 1 << 2000;
        QTest::newRow("low 16 bits") << "65836" << 65836 << 300 << -1 << 299;
        // Bad input reads as 0; the arrows stay at their lower bound.
        QTest::newRow("letters") << "abc" << 0 << 1 << -1 << 1;
        QTest::newRow("empty") << "" << 0 << 1 << 1 << 2;
        QTest::newRow("blanks") << "   " << 0 << 1 << 1 << 2;
        QTest::newRow("sign") << "-5" << 0 << 1 << -1 << 1;
        QTest::newRow("20 digits") << "12345678901234567890" << 0 << 1 << 1 << 2;
        QTest::newRow("above 2^32") << "4294967396" << 0 << 1 << -1 << 1;
    }
    void countEditAndArrows() {
        QFETCH(QString, typed);
        QFETCH(int, count);
        QFETCH(int, spin);
        QFETCH(int, step);
        QFETCH(int, after);
        auto pDlg = MakeDialog();
        auto* pEdit = Child<QLineEdit>(*pDlg, "IDC_RECORD_COUNT");
        auto* pRead = Child<QPushButton>(*pDlg, "IDC_READ_ARCHIVE");
        QCOMPARE(pEdit->text(), QStringLiteral("100"));
        QCOMPARE(pDlg->focusWidget(), pRead);
        pEdit->selectAll();
        QTest::keyClick(pEdit, Qt::Key_Backspace);
        QTest::keyClicks(pEdit, typed);
        QCOMPARE(pDlg->Logic().m_nRecordCount, count);
        QCOMPARE(pDlg->m_pRecordSpin->Pos(), spin);
        QCOMPARE(pEdit->text(), typed); // typing never rewrites the text

        // Enter on the button reads rather than closes; a count outside
        // 1..2000 is refused with a box.
        if (count < 1 || count > 2000) {
            pRead->setFocus();
            QTest::keyClick(pRead, Qt::Key_Return);
            QVERIFY(pDlg->isVisible());
            QCOMPARE(m_boxes.size(), 1);
            QCOMPARE(m_boxes[0].szText,
                     QStringLiteral("Неправильно введено количество записей (1...2000)"));
        }

        QSignalSpy textChanges(pEdit, &QLineEdit::textChanged);
        QToolButton* pArrow =
            pDlg->m_pRecordSpin->findChildren<QToolButton*>().value(step > 0 ? 0 : 1);
        QCOMPARE(pArrow->arrowType(), step > 0 ? Qt::UpArrow : Qt::DownArrow);
        QTest::mouseClick(pArrow, Qt::LeftButton);
        QCOMPARE(pDlg->Logic().m_nRecordCount, after);
        QCOMPARE(pDlg->m_pRecordSpin->Pos(), after);
        QCOMPARE(pEdit->text(), QString::number(after));
        // One change per click, not a ping-pong between edit and arrows.
        QCOMPARE(textChanges.count(), typed == pEdit->text() ? 0 : 1);
    }

    void checkBoxFlipsFormOnEachClick() {
        auto pDlg = MakeDialog();
        auto* pBox = Child<QCheckBox>(*pDlg, "IDC_EXCEL");
        QCOMPARE(pDlg->Logic().m_bExcelTable, 0);
        for (int nExpected : {1, 0, 1}) {
            QTest::mouseClick(pBox, Qt::LeftButton);
            QCOMPARE(pDlg->Logic().m_bExcelTable, nExpected);
            QCOMPARE(pBox->isChecked(), nExpected == 1);
        }
    }

    void statusLineShowsTextAndSuffix() {
        auto pDlg = MakeDialog();
        pDlg->Logic().PostLinkStatus(Utf8ToCp1251(" Ожидание ответа."));
        QTRY_COMPARE(pDlg->StatusText(), QStringLiteral(" Ожидание ответа."));
        std::snprintf(g_szStatusSuffix, sizeof g_szStatusSuffix, "%s",
                      Utf8ToCp1251("  Подождите идет чтение файла.").c_str());
        pDlg->Logic().PostLinkStatus(Utf8ToCp1251(" Ожидание ответа."));
        QTRY_COMPARE(pDlg->StatusText(),
                     QStringLiteral(" Ожидание ответа.  Подождите идет чтение файла."));
    }

    void firstTickStartsLinkOnceAndClockKeepsText() {
        auto pDlg = MakeDialog();
        auto* pClock = Child<ClockPanel>(*pDlg, "IDC_CLOCK");
        const QImage blank = pClock->grab().toImage();
        m_nStarts = 0;
        g_bFirstTick = 1;
        pDlg->Logic().OnTimer(2); // not the clock timer
        QCOMPARE(m_nStarts, 0);
        pDlg->Logic().OnTimer(1);
        pDlg->Logic().OnTimer(1);
        QCOMPARE(m_nStarts, 1);
        // A repaint from scratch (as after being uncovered) still shows text.
        QVERIFY(!pClock->TimeLine().isEmpty());
        QVERIFY(pClock->grab().toImage() != blank);
    }

    void aboutBoxClosesWithEnterAndEsc() {
        auto pDlg = MakeDialog();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QString szTitle;
            ServeModal([&](QWidget* pModal) {
                szTitle = pModal->windowTitle();
                QTest::keyClick(pModal->focusWidget() ? pModal->focusWidget() : pModal, key);
            });
            QElapsedTimer timer;
            timer.start();
            pDlg->Logic().OnSysCommand(IDM_ABOUTBOX); // modal: returns once the box is closed
            QVERIFY2(timer.elapsed() < 4000, qPrintable(QKeySequence(key).toString()));
            QCOMPARE(szTitle, QStringLiteral("About Вельмар-7К"));
            QVERIFY(pDlg->isVisible());
        }
    }

    void contextMenuEndsWithAboutEntry() {
        auto pDlg = MakeDialog();
        QStringList texts;
        ServeModal([&](QWidget* pMenu) {
            for (QAction* pAction : pMenu->actions())
                texts << (pAction->isSeparator() ? QStringLiteral("-") : pAction->text());
            pMenu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                pDlg->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(pDlg.get(), &event);
        QCOMPARE(texts.mid(texts.size() - 2),
                 QStringList({QStringLiteral("-"), QStringLiteral("&About Вельмар-7К")}));
    }

    // Finds the instrument on COM3, reads from it, and on closing (Esc, or
    // Enter passed on by the edit) saves the port found.
    void downloadWritesResultsFileAndSavesPort_data() {
        QTest::addColumn<int>("excel");
        QTest::addColumn<int>("closeKey");
        QTest::newRow("report, Esc") << 0 << int(Qt::Key_Escape);
        QTest::newRow("table, Enter") << 1 << int(Qt::Key_Return);
    }
    void downloadWritesResultsFileAndSavesPort() {
        QFETCH(int, excel);
        QFETCH(int, closeKey);
        QFile::remove("Vextar.ini");
        const int nPosition = 150, nCount = 20;
        SimProcess sim({"--no-pacing", "--position", std::to_string(nPosition)});
        QVERIFY(!sim.DevicePath().empty());
        ScopedComPort com3(3, sim.DevicePath());
        auto pDlg = MakeDialog(true);
        const QString szOut = m_dir.filePath(QStringLiteral("gui-results-%1").arg(excel));
        StartDownload(*pDlg, nCount, excel, szOut);
        QTRY_COMPARE_WITH_TIMEOUT(pDlg->StatusText(), FILE_DONE, LINK_TIMEOUT_MS);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0).szText));
        QVERIFY(m_szProposed.startsWith("results") &&
                m_szProposed.endsWith(excel ? ".xls" : ".doc"));
        QCOMPARE(Child<QProgressBar>(*pDlg, "IDC_PROGRESS")->value(), 0);
        QCOMPARE(QString::fromStdString(Cp1251ToUtf8(g_szStatusSuffix)), FILE_DONE);
        const QByteArray produced = ReadAll(szOut);
        auto* pEdit = Child<QLineEdit>(*pDlg, "IDC_RECORD_COUNT");
        pEdit->setFocus();
        QTest::keyClick(pEdit, Qt::Key(closeKey));
        QVERIFY(!pDlg->isVisible());
        pDlg.reset(); // stops the link
        QCOMPARE(ReadAll("Vextar.ini"), QByteArray("[Velmare - 7K]\nCOM Port 1_4= 3 \n"));
        const QByteArray expected = ExpectedResults(nPosition, nCount, excel);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(produced, expected);
    }

    // A file that cannot be written: a box that says why, the old file (if
    // any) as it was, no temporary file, nothing claimed; then the save
    // dialog again, and another place takes the records.
    // On a paced line, the third record's reply comes 3.1 s late, after the
    // repeat has gone out: the file is the one a fault-free download writes.
    void lateReplyLeavesTheFileAsWithoutIt() {
        const int nPosition = 150, nCount = 8;
        SimProcess sim({"--position", std::to_string(nPosition), "--delay-at", "6:3100"});
        QVERIFY(!sim.DevicePath().empty());
        ScopedComPort com3(3, sim.DevicePath());
        auto pDlg = MakeDialog(true);
        const QString szOut = m_dir.filePath(QStringLiteral("gui-late"));
        StartDownload(*pDlg, nCount, 0, szOut);
        QTRY_COMPARE_WITH_TIMEOUT(pDlg->StatusText(), FILE_DONE, LINK_TIMEOUT_MS);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0).szText));
        const QByteArray produced = ReadAll(szOut);
        const QByteArray expected = ExpectedResults(nPosition, nCount, 0);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(produced, expected);
    }

    // The instrument is killed mid-download: at once, without repeats, the
    // status line says it was disconnected and an error box tells what to do.
    void vanishedInstrumentIsReportedOnTheStatusLineAndInABox() {
        SimProcess sim({"--position", "600"}); // paced: 400 records take half a minute
        QVERIFY(!sim.DevicePath().empty());
        ScopedComPort com3(3, sim.DevicePath());
        auto pDlg = MakeDialog(true);
        pDlg->m_fnChooseSavePath = [](const QString&, int) { return QString(); };
        QTRY_COMPARE_WITH_TIMEOUT(pDlg->StatusText(), CONNECTED, LINK_TIMEOUT_MS);
        Child<QLineEdit>(*pDlg, "IDC_RECORD_COUNT")->setText(QStringLiteral("400"));
        QTest::mouseClick(Child<QPushButton>(*pDlg, "IDC_READ_ARCHIVE"), Qt::LeftButton);
        auto* pProgress = Child<QProgressBar>(*pDlg, "IDC_PROGRESS");
        QTRY_VERIFY_WITH_TIMEOUT(pProgress->value() >= 5, LINK_TIMEOUT_MS);
        sim.Kill(SIGKILL);
        QElapsedTimer timer;
        timer.start();
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, LINK_TIMEOUT_MS);
        QVERIFY2(timer.elapsed() < 2500, "the first repeat would be due after 3 s");
        QCOMPARE(m_boxes[0].icon, QMessageBox::Critical);
        QVERIFY2(m_boxes[0].szText.contains(QStringLiteral("прибор отключен")),
                 qPrintable(m_boxes[0].szText));
        QTRY_COMPARE(pDlg->StatusText(), QStringLiteral(" Прибор отключен."));
        QVERIFY(pProgress->value() < 400);
    }

    void fileErrorIsReportedAndTheSaveDialogComesAgain_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("sizeLimit"); // 0: none
        QTest::addColumn<QString>("boxText");
        QTest::newRow("missing folder, then another place")
            << "missing/results.doc"
            << "again.doc" << 0 << "Файл нельзя сохранить здесь";
        QTest::newRow("full disk keeps the old file") << "old.doc"
                                                      << "" << 100 << "Прежний файл не изменён";
        if (geteuid() != 0) // the superuser writes into any folder
            QTest::newRow("read-only folder") << "read-only/results.doc"
                                              << "" << 0 << "Файл нельзя сохранить здесь";
    }
    void fileErrorIsReportedAndTheSaveDialogComesAgain() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, sizeLimit);
        QFETCH(QString, boxText);
        const int nPosition = 40, nCount = 5;
        SimProcess sim({"--position", std::to_string(nPosition)}); // a paced line
        QVERIFY(!sim.DevicePath().empty());
        ScopedComPort com3(3, sim.DevicePath());
        const TempDir dir;
        const QString szFolder = QString::fromStdString(dir.Path());
        const QByteArray old(1000, 'o');
        QFile oldFile(szFolder + "/old.doc");
        QVERIFY(oldFile.open(QIODevice::WriteOnly) && oldFile.write(old) == old.size());
        oldFile.close();
        QVERIFY(QDir(szFolder).mkdir("read-only"));
        QVERIFY(QFile::setPermissions(szFolder + "/read-only", QFile::ReadOwner | QFile::ExeOwner));
        const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        const QStringList before = QDir(szFolder).entryList(all);

        auto pDlg = MakeDialog(true);
        pDlg->Logic().m_bNoHistory = true; // only the results file is written
        const QString szFirst = szFolder + "/" + first;
        {
            std::optional<FileSizeLimit> limit;
            if (sizeLimit > 0)
                limit.emplace(sizeLimit);
            StartDownload(
                *pDlg, nCount, 0,
                QStringList{szFirst, second.isEmpty() ? second : szFolder + "/" + second});
            QTRY_COMPARE_WITH_TIMEOUT(m_nSaveDialogs, 2, LINK_TIMEOUT_MS);
        }
        // A full disk stops the measurement history as well, which says so
        // in a box of its own after the file's.
        const auto nHistoryBoxes = std::count_if(m_boxes.begin(), m_boxes.end(), [](auto& box) {
            return box.szText.startsWith(QStringLiteral("История измерений не обновлена"));
        });
        QCOMPARE(m_boxes.size() - nHistoryBoxes, 1);
        QCOMPARE(m_boxes[0].icon, QMessageBox::Critical);
        QVERIFY2(m_boxes[0].szText.contains(szFirst) && m_boxes[0].szText.contains(boxText),
                 qPrintable(m_boxes[0].szText));
        QCOMPARE(ReadAll(szFolder + "/old.doc"), old);
        QStringList after = QDir(szFolder).entryList(all);
        if (!second.isEmpty()) {
            QVERIFY(after.removeOne(second));
            QTRY_COMPARE_WITH_TIMEOUT(pDlg->StatusText(), FILE_DONE, LINK_TIMEOUT_MS);
            QCOMPARE(Child<QProgressBar>(*pDlg, "IDC_PROGRESS")->value(), 0);
            const QByteArray produced = ReadAll(szFolder + "/" + second);
            QCOMPARE(produced, ExpectedResults(nPosition, nCount, 0));
        } else {
            // Cancelled after the failure: progress stays full, nothing claimed.
            QCOMPARE(Child<QProgressBar>(*pDlg, "IDC_PROGRESS")->value(), nCount);
            QVERIFY(!pDlg->StatusText().contains(FILE_DONE));
        }
        QCOMPARE(after, before);
        QCOMPARE(QDir(szFolder + "/read-only").entryList(all), QStringList());
    }

    void stopServesTheFailedSearchBox() {
        // No instrument anywhere: the search fails and the worker waits on its box.
        setenv("TARVEX_COM3", "/nonexistent/tarvex-port", 1);
        auto pDlg = MakeDialog(true);
        QTest::keyClick(pDlg.get(), Qt::Key_Escape); // the window is gone
        pDlg->Logic().OnTimer(1);                    // the first tick starts the link
        // Without running the event loop, wait until the worker asks for its box.
        QDeadlineTimer deadline(LINK_TIMEOUT_MS);
        while (!pDlg->Logic().HasPendingWorkerBox() && !deadline.hasExpired())
            QThread::msleep(10);
        QVERIFY(pDlg->Logic().HasPendingWorkerBox());
        pDlg.reset(); // Stop must show the box and return once it is dismissed
        unsetenv("TARVEX_COM3");
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].pOwner, nullptr);
        QVERIFY(m_boxes[0].szText.contains(QStringLiteral("Прибор не подключен к компьютеру")));
    }
};

QTEST_MAIN(TestReaderDialog)
#include "tst_reader_dialog.moc"
