// Qt's own texts (message box buttons, the save dialog and its questions) in
// the user's language, from the translations that come with Qt.
#pragma once

#include <QLocale>

// Installs Qt's translations for locale into the running application.
// Returns true when a catalogue for one of its languages was found.
bool InstallQtTranslations(const QLocale& locale = QLocale::system());
