// The dialog's side of the link: what the worker thread reports is posted to
// the view's thread and acted on there (status line, replies to the
// download, the worker's message boxes, the wait cursor).
#include "dialog/reader_logic.h"
#include "platform/codepage.h"

int ReaderLogic::OnLinkStatus(const std::string& textCp1251) {
    std::string szLine(textCp1251.c_str()); // the text ends at its NUL
    szLine += g_szStatusSuffix;
    SetStatus(Cp1251ToUtf8(szLine));
    return 0;
}

int ReaderLogic::OnLinkReply(unsigned nLength, const uint8_t* pBytes) {
    return m_sequence.OnLinkReply(nLength, pBytes);
}

// ---- Worker side: everything is posted to the view's thread ----

void ReaderLogic::PostLinkReply(std::vector<uint8_t> reply) {
    // The function owns the bytes; a nested call (the save dialog runs
    // inside a reply) gets its own.
    m_view.Post([this, reply = std::move(reply)] {
        if (!m_bClosing)
            OnLinkReply(static_cast<unsigned>(reply.size()),
                        reply.empty() ? nullptr : reply.data());
    });
}

void ReaderLogic::PostLinkStatus(std::string textCp1251) {
    m_view.Post([this, text = std::move(textCp1251)] {
        if (!m_bClosing)
            OnLinkStatus(text);
    });
}

void ReaderLogic::SetWaitCursor(bool bBusy) {
    m_view.Post([this, bBusy] { m_view.SetWaitCursor(bBusy); });
}

void ReaderLogic::RunMessageBox(std::string textCp1251, int style) {
    m_boxSlot.Request(std::move(textCp1251), style,
                      [this] { m_view.Post([this] { ServeWorkerBox(); }); });
}

void ReaderLogic::ServeWhileStopping() {
    ServeWorkerBox();
}

void ReaderLogic::ServeWorkerBox() {
    m_boxSlot.Serve([this](const std::string& textCp1251, int style) {
        m_view.ShowMessageBox(Cp1251ToUtf8(textCp1251.c_str()),
                              (style & MB_ICONERROR) != 0 ? BoxIcon::Error : BoxIcon::None);
    });
}
