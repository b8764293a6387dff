// The damaged-history box of the main dialog (its texts are the logic's,
// dialog/dialog_texts.h).
#pragma once

#include <QString>

class QWidget;
// The damaged-history box with its way out: true when the user chose to
// set the damaged file aside and start a new history.
bool AskSetAsideDamagedHistory(QWidget* pParent, const QString& szText);
