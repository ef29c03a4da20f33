#pragma once
// The language the windows speak. Chinese is the program's own: its texts are
// shown exactly as written. English comes from the catalogue built into the
// program (ui/translations) and is chosen on the command line or in the menu.
#include <optional>

#include <QString>

class QCoreApplication;

enum class DisplayLanguage { Chinese, English };

// "zh" or "en" (as --language takes them); nothing for anything else.
std::optional<DisplayLanguage> ParseDisplayLanguage(const QString& code);
QString DisplayLanguageCode(DisplayLanguage language);

// The operator's choice, kept with the other console settings (Data/console.ini).
DisplayLanguage RememberedDisplayLanguage(const QString& settingsPath);
void RememberDisplayLanguage(const QString& settingsPath, DisplayLanguage language);

// Puts the language into effect for the application's life; call before the
// first window is made. False when the English catalogue cannot be loaded.
bool InstallDisplayLanguage(QCoreApplication& app, DisplayLanguage language);
DisplayLanguage CurrentDisplayLanguage();

// A text of the program (its own, or one the engines produced) as the operator
// reads it: unchanged in Chinese, its English otherwise.
QString Shown(const QString& text);
