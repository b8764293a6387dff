// What the desktop program sets up before its dialog: its name and version,
// and its texts in the user's language (Qt's own and the program's messages).
#pragma once

#include <QString>

// Names the application and loads the translations. No display name is set:
// Qt would add it to every window's caption (" — Tarvex"), and the dialog
// and the About box show their captions as they are.
void SetUpApplication();

// The caption of the program's message boxes.
QString BoxTitle();
