// The dialog's side of the link: what the worker thread posts is queued to
// the GUI thread as events, and acted on there (status line, replies to the
// download, the worker's message boxes, the wait cursor).
#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>

#include "platform/codepage.h"
#include "ui/link_events.h"
#include "ui/reader_dialog.h"
#include "ui/status_line.h"

int ReaderDialog::OnLinkStatus(const std::string& textCp1251) {
    std::string szLine(textCp1251.c_str()); // the text ends at its NUL
    szLine += g_szStatusSuffix;
    m_pStatus->setText(FromCp1251(szLine));
    if (m_bTraceStatus)
        std::fprintf(stderr, "status: %s\n", Cp1251ToUtf8(szLine).c_str());
    return 0;
}

int ReaderDialog::OnLinkReply(unsigned nLength, const uint8_t* pBytes) {
    return m_sequence.OnLinkReply(nLength, pBytes);
}

// ---- Worker side: everything is queued to the GUI thread ----

void ReaderDialog::PostLinkReply(std::vector<uint8_t> reply) {
    QCoreApplication::postEvent(this, new LinkReplyEvent(std::move(reply)));
}

void ReaderDialog::PostLinkStatus(std::string textCp1251) {
    QCoreApplication::postEvent(this, new LinkStatusEvent(std::move(textCp1251)));
}

void ReaderDialog::SetWaitCursor(bool bBusy) {
    QCoreApplication::postEvent(this, new WaitCursorEvent(bBusy));
}

void ReaderDialog::RunMessageBox(std::string textCp1251, int style) {
    m_boxSlot.Request(std::move(textCp1251), style,
                      [this] { QCoreApplication::postEvent(this, new WorkerBoxEvent); });
}

void ReaderDialog::ServeWhileStopping() {
    ServeWorkerBox();
}

void ReaderDialog::ServeWorkerBox() {
    m_boxSlot.Serve([this](const std::string& textCp1251, int style) {
        ShowBox(FromCp1251(textCp1251),
                (style & MB_ICONERROR) != 0 ? QMessageBox::Critical : QMessageBox::NoIcon);
    });
}

bool ReaderDialog::event(QEvent* pEvent) {
    const QEvent::Type type = pEvent->type();
    if (type == LinkEventTypes::Reply()) {
        if (!m_bClosing) {
            // The event owns the bytes; a nested call (the save dialog runs
            // inside a reply) gets its own event.
            const auto& reply = static_cast<LinkReplyEvent*>(pEvent)->m_reply;
            OnLinkReply(static_cast<unsigned>(reply.size()),
                        reply.empty() ? nullptr : reply.data());
        }
        return true;
    }
    if (type == LinkEventTypes::Status()) {
        if (!m_bClosing)
            OnLinkStatus(static_cast<LinkStatusEvent*>(pEvent)->m_szText);
        return true;
    }
    if (type == LinkEventTypes::Box()) {
        ServeWorkerBox();
        return true;
    }
    if (type == LinkEventTypes::Cursor()) {
        const bool bBusy = static_cast<WaitCursorEvent*>(pEvent)->m_bBusy;
        if (bBusy && !m_bWaitCursor)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else if (!bBusy && m_bWaitCursor)
            QGuiApplication::restoreOverrideCursor();
        m_bWaitCursor = bBusy;
        return true;
    }
    return QDialog::event(pEvent);
}
