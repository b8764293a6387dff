// The main dialog's finer behaviour: where the focus stays and what Enter
// does, the progress bar when the count is lowered during a download, the
// status line's long texts, the question before a results file is replaced,
// Qt's texts in the user's language and a port setting that cannot be saved.
#include <QCheckBox>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

#include <vector>

#include "archive/download_sequence.h"
#include "link/frame.h"
#include "ui/qt_translations.h"
#include "ui/reader_dialog.h"
#include "ui/record_spin.h"
#include "ui/status_line.h"

namespace {
template <class T> T* Child(const QObject& owner, const char* pszName) {
    return owner.findChild<T*>(QLatin1String(pszName));
}

// A reply as the link hands it over: lead byte, length, code, then payload.
std::vector<uint8_t> Reply(int nCode, unsigned nLength) {
    std::vector<uint8_t> reply(nLength, 0);
    reply[0] = 1;
    reply[1] = static_cast<uint8_t>(nLength);
    reply[2] = static_cast<uint8_t>(nCode);
    return reply;
}
} // namespace

class TestDialogEdges : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QList<QString> m_boxes;

    std::unique_ptr<ReaderDialog> MakeDialog() {
        m_boxes.clear();
        auto pDlg = std::make_unique<ReaderDialog>();
        pDlg->m_fnMessageBox = [this](QWidget*, const QString& sz, QMessageBox::Icon) {
            m_boxes.append(sz);
        };
        pDlg->Logic().m_fnStartLink = [] { return 1; }; // no worker: replies come from the test
        pDlg->show();
        QApplication::setActiveWindow(pDlg.get());
        return pDlg;
    }

    // Serves the modal windows that open one after another, in order; what is
    // left open after 10 s is closed so that a wrong turn cannot hang the run.
    void ServeModals(QList<std::function<void(QWidget*)>> actions) {
        auto* pTimer = new QTimer(this);
        auto pLast = std::make_shared<QPointer<QWidget>>();
        connect(pTimer, &QTimer::timeout, this, [pTimer, pLast, actions]() mutable {
            QWidget* pModal = QApplication::activeModalWidget();
            if (pModal == nullptr || pModal == *pLast || !pModal->isVisible())
                return;
            *pLast = pModal;
            actions.takeFirst()(pModal);
            if (actions.isEmpty())
                pTimer->deleteLater();
        });
        pTimer->start(20);
        QTimer::singleShot(10000, this, [] {
            while (QWidget* pModal = QApplication::activeModalWidget())
                pModal->close();
        });
    }

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }

    // An arrow click leaves the focus where it was; Enter then presses the
    // button that has it (drawn as default only then) or ends the dialog.
    void arrowsLeaveFocusAndEnterFollowsIt_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("arrow");
        QTest::newRow("button, up") << "IDC_READ_ARCHIVE" << 0;
        QTest::newRow("button, down") << "IDC_READ_ARCHIVE" << 1;
        QTest::newRow("count edit, up") << "IDC_RECORD_COUNT" << 0;
        QTest::newRow("check box, down") << "IDC_EXCEL" << 1;
    }
    void arrowsLeaveFocusAndEnterFollowsIt() {
        QFETCH(QString, focus);
        QFETCH(int, arrow);
        auto pDlg = MakeDialog();
        auto* pRead = Child<QPushButton>(*pDlg, "IDC_READ_ARCHIVE");
        auto* pFocus = pDlg->findChild<QWidget*>(focus);
        QVERIFY(QTest::qWaitForWindowActive(pDlg.get()));
        QVERIFY(pRead->isDefault());
        // Focus moved while another window is active (as by a click that also
        // activates the dialog): the look follows once the dialog is active.
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(QTest::qWaitForWindowActive(&other));
        pFocus->setFocus(Qt::MouseFocusReason);
        QApplication::setActiveWindow(pDlg.get());
        QVERIFY(QTest::qWaitForWindowActive(pDlg.get()));
        const bool bOnButton = pFocus == pRead;
        QCOMPARE(pRead->isDefault(), bOnButton);
        QTest::mouseClick(pDlg->m_pRecordSpin->findChildren<QToolButton*>().value(arrow),
                          Qt::LeftButton);
        QCOMPARE(pDlg->Logic().m_nRecordCount, arrow == 0 ? 101 : 99);
        QCOMPARE(pDlg->focusWidget(), pFocus);
        QCOMPARE(pRead->isDefault(), bOnButton);
        QSignalSpy clicks(pRead, &QPushButton::clicked);
        QTest::keyClick(pDlg->focusWidget(), Qt::Key_Return);
        QCOMPARE(clicks.count(), bOnButton ? 1 : 0);
        QCOMPARE(pDlg->isVisible(), bOnButton);
    }

    // The count changed after nAfter records: the bar ends full whatever the
    // new count, also when it is below the records already read.
    void progressEndsFullWhenCountChanges_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("newCount");
        QTest::newRow("unchanged") << 12 << 0 << 12;
        QTest::newRow("lowered below the records read") << 100 << 50 << 20;
        QTest::newRow("lowered to the records read") << 100 << 40 << 40;
        QTest::newRow("lowered, more to read") << 100 << 10 << 30;
    }
    void progressEndsFullWhenCountChanges() {
        QFETCH(int, count);
        QFETCH(int, after);
        QFETCH(int, newCount);
        auto pDlg = MakeDialog();
        auto* pBar = Child<QProgressBar>(*pDlg, "IDC_PROGRESS");
        auto* pEdit = Child<QLineEdit>(*pDlg, "IDC_RECORD_COUNT");
        QPoint atSave(-1, -1);
        pDlg->m_fnChooseSavePath = [&](const QString&, int) {
            atSave = {pBar->value(), pBar->maximum()};
            return QString(); // cancelled: the bar keeps its position
        };
        pDlg->Logic().m_pLink->m_nLinkState = LINK_READY;
        pEdit->setText(QString::number(count));
        pDlg->Logic().OnReadArchive();
        auto feed = [&](const std::vector<uint8_t>& reply) {
            pDlg->Logic().m_pLink->m_bTxRequest = 0; // the worker has sent the request
            pDlg->Logic().OnLinkReply(static_cast<unsigned>(reply.size()), reply.data());
        };
        feed(Reply(CMD_READ_POSITION, 5));
        feed(Reply(CMD_READ_EMPTY_CELLS, 56));
        for (int k = 1; atSave.x() < 0 && k <= 2000; ++k) {
            feed(Reply(CMD_READ_RECORD, 36));
            if (k == after)
                pEdit->setText(QString::number(newCount));
        }
        QCOMPARE(atSave, QPoint(newCount, newCount));
        QCOMPARE(pBar->value(), newCount);
    }

    // A long text is cut after a whole word, with "…", and is whole in the
    // tooltip; the control keeps its size. An adapter's path gives way to
    // its stable name, cut from the left when even that is too long.
    void statusLineCutsAtAWord() {
        auto pDlg = MakeDialog();
        auto* pLine = Child<StatusLine>(*pDlg, "IDC_STATUS");
        const QSize size = pLine->size();
        const QString szLong =
            QStringLiteral(" Ответ получен, идет чтение файла, записей прочитано "
                           "немало, подождите ещё немного.");
        pLine->setText(szLong);
        const QString szHead = pLine->text().chopped(1);
        QVERIFY2(pLine->text().endsWith(QStringLiteral("…")) && szLong.startsWith(szHead) &&
                     szLong.at(szHead.size()) == ' ',
                 qPrintable(pLine->text()));
        QCOMPARE(pLine->toolTip() + pDlg->StatusText(), szLong + szLong);
        QCOMPARE(pLine->size(), size);
        pLine->setText(QStringLiteral(" Oтвет получен."));
        QCOMPARE(pLine->text() + pLine->toolTip(), QStringLiteral(" Oтвет получен."));
        // The longest head of whole words that fits; mid-word for one word.
        const QFontMetrics fm(pLine->font());
        QCOMPARE(ElideAtWord("aaa bbb ccc", fm, fm.horizontalAdvance("aaa bbb…") - 1), "aaa…");
        QCOMPARE(ElideAtWord(" aaaaaaaa", fm, fm.horizontalAdvance(" aaa…")), " aaa…");

        const QString szName = QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        const QString szFound = QStringLiteral(" Связь установлена по /dev/serial/by-id/") +
                                szName + QStringLiteral("  Файл прочитан.");
        pLine->setText(szFound);
        QVERIFY2(pLine->text().contains(QStringLiteral("A50285BI-if00-port0")),
                 qPrintable(pLine->text()));
        QCOMPARE(pLine->toolTip(), szFound);
        const QString szHeadOnly = QStringLiteral(" Связь установлена по ");
        QCOMPARE(FitStatusText(szFound, fm, fm.horizontalAdvance(szHeadOnly + szName + "…")),
                 szHeadOnly + szName + "…");
        QCOMPARE(
            FitStatusText(szFound, fm, fm.horizontalAdvance(szHeadOnly + "…A50285BI-if00-port0")),
            szHeadOnly + "…A50285BI-if00-port0");
    }

    // Every tab stop shows that it has the focus: the clock panel too.
    void clockPanelShowsTheFocus() {
        auto pDlg = MakeDialog();
        QVERIFY(QTest::qWaitForWindowActive(pDlg.get()));
        auto* pClock = Child<QWidget>(*pDlg, "IDC_CLOCK");
        pDlg->Logic().OnTimer(1);
        const QImage unfocused = pClock->grab().toImage();
        QTest::keyClick(pDlg->focusWidget(), Qt::Key_Tab);
        QCOMPARE(pDlg->focusWidget(), pClock);
        QVERIFY(pClock->grab().toImage() != unfocused);
    }

    // Typed without its type, an existing results.doc is asked about by its
    // full name; "no" opens the save dialog again.
    void replaceQuestionNamesTheFinalFile() {
        auto pDlg = MakeDialog();
        QFile existing(m_dir.filePath("results.doc"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        QStringList questions;
        auto typeName = [](QWidget* pModal) {
            auto* pSave = qobject_cast<QFileDialog*>(pModal);
            QVERIFY(pSave != nullptr);
            pSave->findChild<QLineEdit*>("fileNameEdit")->setText("results");
            QTest::keyClick(pSave->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
        };
        auto answer = [&](QMessageBox::StandardButton button) {
            return [&questions, button](QWidget* pModal) {
                auto* pBox = qobject_cast<QMessageBox*>(pModal);
                QVERIFY(pBox != nullptr);
                questions << pBox->text();
                pBox->button(button)->click();
            };
        };
        ServeModals({typeName, answer(QMessageBox::No), typeName, answer(QMessageBox::Yes)});
        const QString szPath = pDlg->m_fnChooseSavePath(QStringLiteral("results07_12_26.doc"), 0);
        QCOMPARE(szPath, m_dir.filePath("results.doc"));
        QCOMPARE(questions.size(), 2);
        QVERIFY2(questions[0].startsWith(QStringLiteral("Файл results.doc уже существует")),
                 qPrintable(questions[0]));
    }

    void qtTextsInTheUserLanguage() {
        // The save dialog's type column too (Qt 6 asks for it under a context
        // its catalogue lacks).
        const char* rows[][4] = {{"ru_RU", "&Да", "Сохранить как", "Папка"},
                                 {"en_US", "&Yes", "Save As", "Folder"}};
        for (const auto& row : rows) {
            qDeleteAll(qApp->findChildren<QTranslator*>()); // those of the row before
            QVERIFY(InstallQtTranslations(QLocale(row[0])));
            QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes);
            QFileDialog save;
            save.setAcceptMode(QFileDialog::AcceptSave);
            QCOMPARE(box.button(QMessageBox::Yes)->text() + save.windowTitle(),
                     QString::fromUtf8(row[1]) + QString::fromUtf8(row[2]));
            QCOMPARE(QFileIconProvider().type(QFileInfo(m_dir.path())), QString::fromUtf8(row[3]));
        }
    }

    // A port setting that cannot be saved (a folder in the file's place) is
    // reported on closing, with the file and the reason.
    void unsavedPortSettingIsReported() {
        QFile::remove(m_dir.filePath("Vextar.ini")); // saved by the dialogs before
        QVERIFY(QDir(m_dir.path()).mkdir("Vextar.ini"));
        auto pDlg = MakeDialog();
        pDlg->reject();
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY2(m_boxes[0].startsWith(QStringLiteral("Не удалось сохранить")) &&
                     m_boxes[0].contains(m_dir.filePath("Vextar.ini")),
                 qPrintable(m_boxes[0]));
        QDir(m_dir.path()).rmdir("Vextar.ini");
    }
};

QTEST_MAIN(TestDialogEdges)
#include "tst_dialog_edges.moc"
