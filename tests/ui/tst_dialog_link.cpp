// The dialog with its real link: finding the simulated instrument, saving the
// port found, a whole download into a results file, a file error, and a
// worker's box that Stop has to serve while the dialog is being destroyed.
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <cstdlib>
#include <cstring>

#include "archive/archive_record.h"
#include "archive/download_sequence.h"
#include "archive/results_writer.h"
#include "platform/codepage.h"
#include "tests/support/sim_process.h"
#include "tests/ui/dialog_fixture.h"
#include "ui/reader_dialog.h"

namespace {
const QString CONNECTED = QStringLiteral(" Связь установлена по COM3 ");
const QString FILE_DONE = QStringLiteral("Файл прочитан.");
constexpr int LINK_TIMEOUT_MS = 30000;

QByteArray ReadAll(const QString& szPath) {
    QFile file(szPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestDialogLink : public QObject {
    Q_OBJECT

    ScratchFolder m_folder;

    std::unique_ptr<ReaderDialog> MakeDialog(QList<ShownBox>* pBoxes) {
        g_bFirstTick = 1; // each dialog here starts its own link
        auto pDialog = std::make_unique<ReaderDialog>();
        RecordBoxes(*pDialog, pBoxes);
        return pDialog;
    }

    // Runs a download of nCount records with the save dialog answered by szPath.
    void Download(ReaderDialog& dlg, int nCount, int bExcel, const QString& szPath,
                  QString* pProposed) {
        dlg.m_fnChooseSavePath = [&dlg, szPath, pProposed](const QString& szName, int) {
            *pProposed = szName;
            // Hold the save dialog until the closing frame's reply is in, so it
            // arrives re-entrantly, as it does while a user picks a name.
            QDeadlineTimer deadline(10000);
            while (!deadline.hasExpired() && !(dlg.m_pLink->m_bTxRequest.load() == 0 &&
                                               dlg.m_pLink->m_nLinkState.load() == LINK_READY))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QTest::qWait(100);
            return szPath;
        };
        dlg.show();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.StatusText().startsWith(CONNECTED), LINK_TIMEOUT_MS);
        auto* pEdit = dlg.findChild<QLineEdit*>(QStringLiteral("IDC_RECORD_COUNT"));
        pEdit->setText(QString::number(nCount));
        if (bExcel)
            QTest::mouseClick(dlg.findChild<QCheckBox*>(QStringLiteral("IDC_EXCEL")),
                              Qt::LeftButton);
        QCOMPARE(dlg.m_bExcelTable, bExcel);
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("IDC_READ_ARCHIVE")),
                          Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!pProposed->isEmpty(), LINK_TIMEOUT_MS);
    }

    // What the writer makes of the simulator's archive for this download.
    static QByteArray ExpectedResults(const QString& szArchive, int nPosition, int nCount,
                                      int bExcel, const QString& szOut) {
        const QByteArray archive = ReadAll(szArchive);
        if (archive.size() != 56 + 2000 * 32)
            return {};
        std::memcpy(g_emptyCells.bytes, archive.constData(), 56);
        int nIndex = nPosition - nCount;
        if (nIndex < 0)
            nIndex += 2000;
        for (int k = 0; k < nCount; ++k, nIndex = (nIndex + 1) % 2000)
            std::memcpy(g_records[k].bytes, archive.constData() + 56 + nIndex * 32, 32);
        if (!WriteResultsToFile(QFile::encodeName(szOut).toStdString(), nCount, bExcel,
                                decimalSeparator())
                 .ok)
            return {};
        return ReadAll(szOut);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_folder.Enter());
        QFile ini(QStringLiteral("Vextar.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Velmare - 7K]\nCOM Port 1_4= 2 \n");
        ini.close();
        // Only COM3 leads anywhere; the other names the search tries do not exist.
        for (const char* pszName : {"TARVEX_COM1", "TARVEX_COM2", "TARVEX_COM4"})
            setenv(pszName, "/nonexistent/tarvex-port", 1);
    }

    void cleanupTestCase() { m_folder.Leave(); }

    void findsInstrumentAndSavesItsPort() {
        SimProcess sim;
        QVERIFY(!sim.DevicePath().empty());
        ScopedComPort com3(3, sim.DevicePath());
        QList<ShownBox> boxes;
        auto pDlg = MakeDialog(&boxes);
        pDlg->show();
        QCOMPARE(pDlg->m_nPortNumber, 2);
        QTRY_COMPARE_WITH_TIMEOUT(pDlg->StatusText(), CONNECTED, LINK_TIMEOUT_MS);
        QTest::keyClick(pDlg.get(), Qt::Key_Escape);
        QVERIFY(!pDlg->isVisible());
        pDlg.reset(); // stops the link
        QVERIFY(boxes.isEmpty());
        const QByteArray ini = ReadAll(QStringLiteral("Vextar.ini"));
        QVERIFY2(ini.contains("COM Port 1_4= 3 "), ini.constData());
    }

    void downloadWritesResultsFile_data() {
        QTest::addColumn<int>("excel");
        QTest::newRow("report") << 0;
        QTest::newRow("table") << 1;
    }
    void downloadWritesResultsFile() {
        QFETCH(int, excel);
        const int nPosition = 150, nCount = 20;
        SimProcess sim({"--no-pacing", "--position", std::to_string(nPosition)});
        QVERIFY(!sim.DevicePath().empty());
        ScopedComPort com3(3, sim.DevicePath());
        QList<ShownBox> boxes;
        auto pDlg = MakeDialog(&boxes);
        const QString szOut = m_folder.File(QStringLiteral("gui-results-%1").arg(excel));
        QString szProposed;
        Download(*pDlg, nCount, excel, szOut, &szProposed);
        QTRY_COMPARE_WITH_TIMEOUT(pDlg->StatusText(), FILE_DONE, LINK_TIMEOUT_MS);

        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.value(0).szText));
        QVERIFY(szProposed.startsWith(QStringLiteral("results")));
        QVERIFY(szProposed.endsWith(excel ? QStringLiteral(".xls") : QStringLiteral(".doc")));
        QCOMPARE(pDlg->findChild<QProgressBar*>(QStringLiteral("IDC_PROGRESS"))->value(), 0);
        QCOMPARE(QString::fromStdString(Cp1251ToUtf8(g_szStatusSuffix)), FILE_DONE);
        const QByteArray produced = ReadAll(szOut);
        pDlg.reset();

        const QString szArchive = m_folder.File(QStringLiteral("archive.bin"));
        QCOMPARE(QProcess::execute(QStringLiteral(TARVEX_SIM_PATH),
                                   {QStringLiteral("--dump-archive"), szArchive}),
                 0);
        const QByteArray expected = ExpectedResults(szArchive, nPosition, nCount, excel,
                                                    m_folder.File(QStringLiteral("expected")));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(produced, expected);
    }

    void fileErrorIsReportedAndNothingClaimed() {
        SimProcess sim({"--no-pacing", "--position", "40"});
        QVERIFY(!sim.DevicePath().empty());
        ScopedComPort com3(3, sim.DevicePath());
        QList<ShownBox> boxes;
        auto pDlg = MakeDialog(&boxes);
        const QString szOut = m_folder.File(QStringLiteral("missing/results.xls"));
        QString szProposed;
        Download(*pDlg, 5, 0, szOut, &szProposed);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, LINK_TIMEOUT_MS);
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QVERIFY2(boxes[0].szText.contains(szOut), qPrintable(boxes[0].szText));
        QVERIFY(!QFile::exists(szOut));
        // Progress stays full and the status line claims nothing.
        QCOMPARE(pDlg->findChild<QProgressBar*>(QStringLiteral("IDC_PROGRESS"))->value(), 5);
        QVERIFY(!pDlg->StatusText().contains(FILE_DONE));
        QCOMPARE(QString::fromStdString(Cp1251ToUtf8(g_szStatusSuffix)),
                 QStringLiteral("  Подождите идет чтение файла."));
    }

    void stopServesTheFailedSearchBox() {
        // No instrument anywhere: the search fails and the worker waits on its box.
        setenv("TARVEX_COM3", "/nonexistent/tarvex-port", 1);
        QList<ShownBox> boxes;
        auto pDlg = MakeDialog(&boxes);
        pDlg->show();
        QTest::keyClick(pDlg.get(), Qt::Key_Escape); // the window is gone
        pDlg->OnTimer(1);                            // the first tick starts the link
        // Without running the event loop, wait until the worker asks for its box.
        QDeadlineTimer deadline(LINK_TIMEOUT_MS);
        while (!pDlg->HasPendingWorkerBox() && !deadline.hasExpired())
            QThread::msleep(10);
        QVERIFY(pDlg->HasPendingWorkerBox());
        pDlg.reset(); // Stop must show the box and return once it is dismissed
        unsetenv("TARVEX_COM3");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].pOwner, nullptr);
        QVERIFY(boxes[0].szText.contains(QStringLiteral("Прибор не подключен к компьютеру")));
    }
};

QTEST_MAIN(TestDialogLink)
#include "tst_dialog_link.moc"
