// The interface language: the English translation of the terminal's texts, chosen at start.
//
// Principles of operation:
// - The Chinese texts in the code are the source and the default. English comes from the
//   translation compiled from i18n/talyx_en.ts into the program's resources at build time, so
//   the installed program needs no file beside it.
// - The language is set once at start, from the settings file, before any window is created:
//   the windows take their texts when they are made and do not change them later, so a language
//   chosen in the options dialog shows from the next start.
// - Qt's own texts (standard buttons, the edit boxes' context menus, the file dialogs Qt draws)
//   follow: with a Chinese interface, Qt's Chinese catalogue from Qt's translations folder
//   (Debian qt6-translations-l10n) is installed; without it they stay English, and the start
//   goes on. With an English interface they are Qt's own English.
// - Main thread only, after the application exists.
#pragma once

#include <QLocale>

#include "app/settings/appoptions.h"

namespace talyx::app {

// Whether the interface is English: lgEnglish, or lgSystem with a locale that is not Chinese.
bool IsEnglishInterface(TLanguage language, const QLocale& locale = QLocale());

// Installs the English translation when the language calls for it, else Qt's Chinese one.
// False, with the interface left Chinese, when the English translation cannot be loaded.
bool SetInterfaceLanguage(TLanguage language);

}  // namespace talyx::app
