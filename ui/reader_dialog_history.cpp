// The measurement history's window, opened from the main dialog.
#include <QKeySequence>
#include <QShortcut>

#include "ui/history_window.h"
#include "ui/reader_dialog.h"

void ReaderDialog::InstallHistoryShortcut() {
    auto* pShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(pShortcut, &QShortcut::activated, this, [this] { OnHistoryWindow(); });
}

void ReaderDialog::OnHistoryWindow() {
    // One window, kept while the dialog lives; shown again when asked.
    auto* pWindow = findChild<HistoryWindow*>();
    if (pWindow == nullptr)
        pWindow = new HistoryWindow(m_logic.HistoryPath(), this);
    else
        pWindow->Reload(); // downloads may have added records
    pWindow->show();
    pWindow->raise();
    pWindow->activateWindow();
}
