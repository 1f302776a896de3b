// The program's own texts are Chinese; Qt's dialogs it opens (the open-file
// dialog, the folder chooser, the buttons of message boxes) speak English
// unless Qt's Chinese translations (Debian's qttranslations5-l10n) are
// loaded. Called once by the start-up, after the QApplication exists, on
// the GUI thread.
#pragma once

// The language of the program's texts, as Qt names its translations.
inline constexpr const char* kProgramTextLanguage = "zh_CN";

// Installs Qt's translations into kProgramTextLanguage for the rest of the
// application's life. False when they are not installed: the dialogs then
// stay English, and the program runs on.
bool InstallQtTranslations();
