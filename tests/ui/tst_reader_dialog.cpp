// The main dialog on its own: record count edit and arrows, form check box,
// status line, clock, first tick, closing, and the worker's message boxes.
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <thread>

#include "platform/codepage.h"
#include "tests/ui/dialog_fixture.h"
#include "ui/clock_panel.h"
#include "ui/clock_text.h"
#include "ui/reader_dialog.h"
#include "ui/record_count_text.h"
#include "ui/record_spin.h"
#include "ui/resource_ids.h"

class TestReaderDialog : public QObject {
    Q_OBJECT

    ScratchFolder m_folder;

    // A shown dialog whose boxes are recorded and whose link is never started.
    std::unique_ptr<ReaderDialog> MakeDialog(QList<ShownBox>* pBoxes = nullptr,
                                             int* pStarts = nullptr) {
        auto pDialog = std::make_unique<ReaderDialog>();
        RecordBoxes(*pDialog, pBoxes);
        pDialog->m_fnStartLink = [pStarts] {
            if (pStarts)
                ++*pStarts;
            return 1;
        };
        pDialog->show();
        return pDialog;
    }

    static QLineEdit* Edit(ReaderDialog& dlg) {
        return dlg.findChild<QLineEdit*>(QStringLiteral("IDC_RECORD_COUNT"));
    }

private slots:
    void initTestCase() { QVERIFY(m_folder.Enter()); }
    void cleanupTestCase() { m_folder.Leave(); }

    void parsesCountLikeADialogItem_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<unsigned>("value");
        QTest::newRow("leading blanks") << "   42" << 42u;
        QTest::newRow("stops at letter") << "12ab" << 12u;
        QTest::newRow("sign refused") << "-5" << 0u;
        QTest::newRow("largest unsigned") << "4294967295" << 4294967295u;
        QTest::newRow("beyond 32 bits") << "4294967296" << 0u;
    }
    void parsesCountLikeADialogItem() {
        QFETCH(QString, text);
        QFETCH(unsigned, value);
        QCOMPARE(ParseUnsignedItemText(text.toStdString()), value);
    }

    void typedCountReachesCountAndArrows_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("spin");
        QTest::newRow("2500") << "2500" << 2500 << 2000;
        QTest::newRow("letters") << "abc" << 0 << 1;
        QTest::newRow("cleared") << "" << 0 << 1;
        QTest::newRow("2000") << "2000" << 2000 << 2000;
        QTest::newRow("low 16 bits") << "65836" << 65836 << 300;
    }
    void typedCountReachesCountAndArrows() {
        QFETCH(QString, typed);
        QFETCH(int, count);
        QFETCH(int, spin);
        auto pDlg = MakeDialog();
        QCOMPARE(pDlg->m_nRecordCount, 100);
        QCOMPARE(Edit(*pDlg)->text(), QStringLiteral("100"));
        QCOMPARE(pDlg->focusWidget(),
                 pDlg->findChild<QPushButton*>(QStringLiteral("IDC_READ_ARCHIVE")));
        Edit(*pDlg)->selectAll();
        QTest::keyClick(Edit(*pDlg), Qt::Key_Backspace);
        QTest::keyClicks(Edit(*pDlg), typed);
        QCOMPARE(pDlg->m_nRecordCount, count);
        QCOMPARE(pDlg->m_pRecordSpin->Pos(), spin);
        QCOMPARE(Edit(*pDlg)->text(), typed); // the arrows never rewrite the text
    }

    void arrowsStepOnceAndStopAtBounds_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("count");
        QTest::newRow("up from 100") << "100" << true << 101;
        QTest::newRow("down from 100") << "100" << false << 99;
        QTest::newRow("up at 2000") << "2000" << true << 2000;
        QTest::newRow("down at 1") << "1" << false << 1;
        QTest::newRow("up after 2500 typed") << "2500" << true << 2000;
        QTest::newRow("down after 0 typed") << "0" << false << 1;
    }
    void arrowsStepOnceAndStopAtBounds() {
        QFETCH(QString, start);
        QFETCH(bool, up);
        QFETCH(int, count);
        auto pDlg = MakeDialog();
        Edit(*pDlg)->setText(start);
        QSignalSpy textChanges(Edit(*pDlg), &QLineEdit::textChanged);
        const auto arrows = pDlg->m_pRecordSpin->findChildren<QToolButton*>();
        QCOMPARE(arrows.size(), 2);
        QToolButton* pArrow = arrows[up ? 0 : 1];
        QCOMPARE(pArrow->arrowType(), up ? Qt::UpArrow : Qt::DownArrow);
        QTest::mouseClick(pArrow, Qt::LeftButton);
        QCOMPARE(pDlg->m_nRecordCount, count);
        QCOMPARE(pDlg->m_pRecordSpin->Pos(), count);
        QCOMPARE(Edit(*pDlg)->text(), QString::number(count));
        QVERIFY(textChanges.count() <= 1); // one change per click, not a ping-pong
    }

    void checkBoxFlipsForm() {
        auto pDlg = MakeDialog();
        auto* pBox = pDlg->findChild<QCheckBox*>(QStringLiteral("IDC_EXCEL"));
        QCOMPARE(pDlg->m_bExcelTable, 0);
        QVERIFY(!pBox->isChecked());
        const int expected[] = {1, 0, 1};
        for (int nExpected : expected) {
            QTest::mouseClick(pBox, Qt::LeftButton);
            QCOMPARE(pDlg->m_bExcelTable, nExpected);
            QCOMPARE(pBox->isChecked(), nExpected == 1);
        }
    }

    void statusLineShowsTextAndSuffix() {
        auto pDlg = MakeDialog();
        g_szStatusSuffix[0] = '\0';
        pDlg->PostLinkStatus(Utf8ToCp1251(" Ожидание ответа."));
        QTRY_COMPARE(pDlg->StatusText(), QStringLiteral(" Ожидание ответа."));

        const std::string szWait = Utf8ToCp1251("  Подождите идет чтение файла.");
        std::snprintf(g_szStatusSuffix, sizeof g_szStatusSuffix, "%s", szWait.c_str());
        pDlg->PostLinkStatus(Utf8ToCp1251(" Ожидание ответа."));
        QTRY_COMPARE(pDlg->StatusText(),
                     QStringLiteral(" Ожидание ответа.  Подождите идет чтение файла."));
        g_szStatusSuffix[0] = '\0';
    }

    void clockLines_data() {
        QTest::addColumn<bool>("converted");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("date");
        QTest::newRow("3 March") << true << 14 << 5 << 9 << 3 << 3 << "  14:05:09"
                                 << " 3 марта";
        QTest::newRow("midnight") << true << 0 << 0 << 0 << 31 << 12 << "  0:00:00"
                                  << " 31 декабря";
        QTest::newRow("failed") << false << 0 << 0 << 0 << 0 << 0 << "  -1:-1:-1"
                                << " 0 ii";
    }
    void clockLines() {
        QFETCH(bool, converted);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(int, second);
        QFETCH(int, day);
        QFETCH(int, month);
        QFETCH(QString, time);
        QFETCH(QString, date);
        std::tm tm{};
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        tm.tm_mday = day;
        tm.tm_mon = month - 1;
        const ClockLines lines = FormatClockLines(converted ? &tm : nullptr);
        QCOMPARE(QString::fromStdString(lines.time), time);
        QCOMPARE(QString::fromStdString(lines.date), date);
    }

    void clockKeepsItsTextWhenRepainted() {
        auto pDlg = MakeDialog();
        auto* pClock = pDlg->findChild<ClockPanel*>(QStringLiteral("IDC_CLOCK"));
        const QImage blank = pClock->grab().toImage();
        pDlg->OnTimer(1);
        QVERIFY(!pClock->TimeLine().isEmpty());
        // A repaint from scratch (as after being uncovered) still shows text.
        const QImage drawn = pClock->grab().toImage();
        QVERIFY(drawn != blank);
    }

    void onlyTheFirstTickStartsTheLink() {
        int nStarts = 0;
        auto pDlg = MakeDialog(nullptr, &nStarts);
        g_bFirstTick = 1;
        pDlg->OnTimer(2); // not the clock timer
        QCOMPARE(nStarts, 0);
        pDlg->OnTimer(1);
        QCOMPARE(nStarts, 1);
        QCOMPARE(g_bFirstTick, 0);
        pDlg->OnTimer(1);
        QCOMPARE(nStarts, 1);
    }

    void closingSavesTheLinksPort_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("port");
        QTest::newRow("Esc") << int(Qt::Key_Escape) << 3;
        QTest::newRow("Enter in the edit") << int(Qt::Key_Return) << 4;
    }
    void closingSavesTheLinksPort() {
        QFETCH(int, key);
        QFETCH(int, port);
        auto pDlg = MakeDialog();
        QCOMPARE(pDlg->m_pLink->PortNumber(-1), pDlg->m_nPortNumber);
        pDlg->m_pLink->PortNumber(port); // as the search leaves it
        Edit(*pDlg)->setFocus();
        QTest::keyClick(Edit(*pDlg), Qt::Key(key)); // the edit passes both keys on
        QVERIFY(!pDlg->isVisible());
        QFile ini(m_folder.File(QStringLiteral("Vextar.ini")));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray content = ini.readAll();
        QVERIFY2(content.contains("[Velmare - 7K]"), content.constData());
        QVERIFY2(content.contains(QByteArray("COM Port 1_4= ") + QByteArray::number(port) + " "),
                 content.constData());
    }

    void enterOnTheButtonReadsInsteadOfClosing() {
        QList<ShownBox> boxes;
        auto pDlg = MakeDialog(&boxes);
        Edit(*pDlg)->setText(QStringLiteral("0")); // refused, so the click shows a box
        auto* pButton = pDlg->findChild<QPushButton*>(QStringLiteral("IDC_READ_ARCHIVE"));
        pButton->setFocus();
        QTest::keyClick(pButton, Qt::Key_Return);
        QVERIFY(pDlg->isVisible());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].szText,
                 QStringLiteral("Неправильно введено количество записей (1...2000)"));
    }

    void aboutBoxClosesWithEnterAndEsc_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }
    void aboutBoxClosesWithEnterAndEsc() {
        QFETCH(int, key);
        auto pDlg = MakeDialog();
        QString szTitle;
        QTimer::singleShot(0, this, [&] {
            QWidget* pModal = QApplication::activeModalWidget();
            if (pModal == nullptr)
                return;
            szTitle = pModal->windowTitle();
            QWidget* pTarget = pModal->focusWidget() ? pModal->focusWidget() : pModal;
            QTest::keyClick(pTarget, Qt::Key(key));
        });
        QTimer::singleShot(5000, this, [] {
            if (QWidget* pModal = QApplication::activeModalWidget())
                pModal->close(); // a key that failed must not hang the run
        });
        QElapsedTimer timer;
        timer.start();
        pDlg->OnSysCommand(IDM_ABOUTBOX); // modal: returns once the box is closed
        QCOMPARE(szTitle, QStringLiteral("About Вельмар-7К"));
        QVERIFY(timer.elapsed() < 4000);
        QVERIFY(pDlg->isVisible());
    }

    void contextMenuEndsWithAboutEntry() {
        auto pDlg = MakeDialog();
        QStringList texts;
        QTimer::singleShot(0, this, [&] {
            auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (pMenu == nullptr)
                return;
            for (QAction* pAction : pMenu->actions())
                texts << (pAction->isSeparator() ? QStringLiteral("-") : pAction->text());
            pMenu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                pDlg->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(pDlg.get(), &event);
        QVERIFY(texts.size() >= 2);
        QCOMPARE(texts.last(), QStringLiteral("&About Вельмар-7К"));
        QCOMPARE(texts[texts.size() - 2], QStringLiteral("-"));
    }

    void saveDialogProposesNameAndAppendsSuffix() {
        auto pDlg = MakeDialog();
        QStringList proposed;
        QTimer::singleShot(0, this, [&] {
            auto* pFiles = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (pFiles == nullptr)
                return;
            proposed = pFiles->selectedFiles();
            pFiles->selectFile(QStringLiteral("mine")); // typed without a suffix
            static_cast<QDialog*>(pFiles)->accept();    // as the Save button does
        });
        const QString szPath = pDlg->m_fnChooseSavePath(QStringLiteral("results03_03_26.xls"), 1);
        QCOMPARE(proposed.size(), 1);
        QVERIFY(proposed[0].endsWith(QStringLiteral("/results03_03_26.xls")));
        QCOMPARE(szPath, m_folder.File(QStringLiteral("mine.xls")));
    }

    void workerBoxIsShownOnTheGuiThread() {
        QList<ShownBox> boxes;
        auto pDlg = MakeDialog(&boxes);
        std::atomic<bool> bReturned{false};
        std::thread worker([&] {
            pDlg->RunMessageBox(Utf8ToCp1251("Ошибка интерфейса"), MB_ICONERROR);
            bReturned = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(bReturned, 10000);
        worker.join();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].pOwner, pDlg.get());
        QCOMPARE(boxes[0].szText, QStringLiteral("Ошибка интерфейса"));
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    }

    void workerBoxWhileClosingIsServedByStop() {
        QList<ShownBox> boxes;
        auto pDlg = MakeDialog(&boxes);
        QTest::keyClick(pDlg.get(), Qt::Key_Escape);
        QVERIFY(!pDlg->isVisible());
        // The event loop is blocked, as in Stop; only ServeWhileStopping runs.
        std::atomic<bool> bReturned{false};
        std::thread worker([&] {
            pDlg->RunMessageBox(Utf8ToCp1251("Прибор не подключен"), MB_OK);
            bReturned = true;
        });
        QDeadlineTimer deadline(10000);
        while (!bReturned && !deadline.hasExpired()) {
            pDlg->ServeWhileStopping();
            std::this_thread::yield();
        }
        worker.join();
        QVERIFY(bReturned);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].pOwner, nullptr); // the window is gone
        QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
        // The wake-up posted for that box finds nothing left to show.
        QCoreApplication::processEvents();
        QCOMPARE(boxes.size(), 1);
    }
};

QTEST_MAIN(TestReaderDialog)
#include "tst_reader_dialog.moc"
