#include "ui/DisplayLanguage.h"

#include <QCoreApplication>
#include <QSettings>

#include "ui/TextCatalogue.h"

namespace {
const QString kLanguageKey = QStringLiteral("ui/language");
// Set once, before the first window, and never changed while the program runs.
constexpr const char* kLanguageProperty = "ht6630DisplayLanguage";
}  // namespace

std::optional<DisplayLanguage> ParseDisplayLanguage(const QString& code) {
    const QString c = code.trimmed().toLower();
    if (c == QLatin1String("zh") || c == QLatin1String("zh_cn") || c == QLatin1String("chinese"))
        return DisplayLanguage::Chinese;
    if (c == QLatin1String("en") || c == QLatin1String("english")) return DisplayLanguage::English;
    return std::nullopt;
}

QString DisplayLanguageCode(DisplayLanguage language) {
    return language == DisplayLanguage::English ? QStringLiteral("en") : QStringLiteral("zh");
}

DisplayLanguage RememberedDisplayLanguage(const QString& settingsPath) {
    const QString code = QSettings(settingsPath, QSettings::IniFormat).value(kLanguageKey).toString();
    return ParseDisplayLanguage(code).value_or(DisplayLanguage::Chinese);
}

void RememberDisplayLanguage(const QString& settingsPath, DisplayLanguage language) {
    QSettings(settingsPath, QSettings::IniFormat).setValue(kLanguageKey, DisplayLanguageCode(language));
}

bool InstallDisplayLanguage(QCoreApplication& app, DisplayLanguage language) {
    if (language == DisplayLanguage::Chinese) return true;
    auto* catalogue = new TextCatalogue;
    catalogue->setParent(&app);
    if (!catalogue->load(QStringLiteral(":/translations/ht6630_en.qm"))) {
        delete catalogue;
        return false;
    }
    QCoreApplication::installTranslator(catalogue);
    app.setProperty(kLanguageProperty, true);
    return true;
}

DisplayLanguage CurrentDisplayLanguage() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->property(kLanguageProperty).toBool() ? DisplayLanguage::English : DisplayLanguage::Chinese;
}

QString Shown(const QString& text) {
    if (CurrentDisplayLanguage() == DisplayLanguage::Chinese || text.isEmpty()) return text;
    return QCoreApplication::translate(TextCatalogue::kTexts, text.toUtf8().constData());
}
