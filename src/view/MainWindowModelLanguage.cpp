// The menu "言語 / Language": the languages the window can speak, the choice
// kept in the program's settings for the next start.
#include "platform/ProgramSettings.h"
#include "platform/Translation.h"
#include "song/Messages.h"
#include "view/MainWindowModel.h"

namespace vako {
namespace {

// Each language by its own name, as a reader of that language looks for it.
// These stay as written whatever the language in use.
std::string ownNameOfLanguage(const std::string& language) {
    if (language == "ja") return "日本語";
    if (language == "en") return "English";
    return language;
}

} // namespace

void MainWindowModel::buildLanguageMenu() {
    languageMenu.name = "language";
    // Both languages, so that a user who cannot read the one shown finds it.
    languageMenu.caption = "言語 / Language";
    for (const std::string& language : availableLanguages()) {
        MenuItem& item = languageItems.emplace_back();
        item.name = "language:" + language;
        item.caption = ownNameOfLanguage(language);
        item.checked = language == languageInUse();
        item.onClick = [this, language] { chooseLanguage(language); };
        languageMenu.children.push_back(&item);
    }
    m_menuBar.push_back(&languageMenu);
    m_allMenus.push_back(&languageMenu);
}

void MainWindowModel::chooseLanguage(const std::string& language) {
    if (!settingsFile.empty() &&
        !writeProgramSetting(settingsFile, kLanguageSetting, language)) {
        showMessage(msg::cannotWrite(settingsFile.string(),
                                     translated(msg::kReasonNoWritePermission)));
        return;
    }
    for (MenuItem& item : languageItems) item.checked = item.name == "language:" + language;
    const std::string current = languageInUse();
    useLanguage(language);
    const std::string notice = translated("表示の言語は次の起動から切り替わります。");
    useLanguage(current);
    showMessage(notice);
}

} // namespace vako
