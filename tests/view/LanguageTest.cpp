// The window in English: every text a user reads, and nothing left in
// Japanese; the language menu; Japanese again exactly as before.
#include "ViewTestSupport.h"

#include "platform/ProgramSettings.h"
#include "platform/Translation.h"
#include "song/Messages.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vako::test {
namespace {

// Kana, kanji and the full-width forms (full-width blanks and signs such as
// "■" read the same in any language).
bool hasJapanese(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        uint32_t cp = b;
        int length = 1;
        if (b >= 0xF0) cp = b & 0x07, length = 4;
        else if (b >= 0xE0) cp = b & 0x0F, length = 3;
        else if (b >= 0xC0) cp = b & 0x1F, length = 2;
        for (int k = 1; k < length && i + k < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if ((cp >= 0x3040 && cp <= 0x30FF) || (cp >= 0x4E00 && cp <= 0x9FFF) ||
            (cp >= 0xFF00 && cp <= 0xFFEF))
            return true;
        i += length;
    }
    return false;
}

void collectMenu(const MenuItem& item, std::vector<std::string>& out) {
    out.push_back("menu " + item.name + ": " + item.caption);
    for (const MenuItem* child : item.children) collectMenu(*child, out);
}

// Everything the main window shows as text: its caption, every control's
// caption and list items, every menu, the texts drawn on the score, and the
// message boxes and questions it asked.
std::vector<std::string> textsOnScreen(Window& w) {
    MainWindowModel& f = *w.form;
    std::vector<std::string> out{"caption: " + f.caption};
    for (const Control* c : f.controls()) {
        out.push_back(c->name + ": " + c->caption);
        for (const std::string& item : c->items) out.push_back(c->name + " item: " + item);
    }
    for (const MenuItem* top : f.menuBar()) {
        f.openDeviceMenu();
        f.keyboard.openMenu();
        collectMenu(*top, out);
    }
    for (const DrawOp& op : w.canvas.texts()) out.push_back("drawn: " + op.text);
    for (const std::string& m : w.ui.messages) out.push_back("message: " + m);
    for (const std::string& q : w.ui.questions) out.push_back("question: " + q);
    for (const auto& input : w.ui.inputs)
        out.push_back("input box: " + input.prompt + " / " + input.title);
    return out;
}

// A window put through what the tests can reach: the device message, a
// song with notes and control changes drawn with their names, both panels,
// the status line, a failed read, a refused save name and the closing question.
std::vector<std::string> tourTexts(Window& w) {
    MainWindowModel& f = *w.form;
    w.load((w.folder / "missing.txt").string());
    w.setNotes({note(3, 60, 12, 0), note(6, 62, 12, 0), note(9, 65, 12, 9)});
    f.showChangesMenu.click();
    f.editor.setChange(0, ControlChange{30, 150, kTempoChange});
    f.editor.setChange(0, ControlChange{33, 4 * 16, kInstrumentChange});
    f.editor.setChange(0, ControlChange{36, 3 * 16, kVolumeChange});
    f.redrawScore();
    f.scoreMouseMove(0, 0, xAt(3), yAt(0, 35));
    w.rightPress(xAt(3), yAt(0, 35)); // the note panel
    std::vector<std::string> texts = textsOnScreen(w);
    f.notePanel.closeButton.click();
    w.rightPress(xAt(30), yAt(0, 38)); // the position panel
    f.positionPanel.setButton.click();  // nothing chosen yet: its message
    for (const std::string& t : textsOnScreen(w)) texts.push_back(t);
    f.positionPanel.closeButton.click();
    w.ui.inputAnswer = "a/b";
    f.saveAsMenu.click();
    w.markChanged();
    f.files.queryClose();
    f.showSavedConfirmation("song");
    for (const std::string& t : textsOnScreen(w)) texts.push_back(t);
    return texts;
}

class WindowLanguage : public ::testing::Test {
protected:
    void TearDown() override { useLanguage("ja"); }
};

TEST_F(WindowLanguage, InEnglishNoJapaneseIsLeftOnScreen) {
    useLanguage("en");
    Window w(DeviceCase::Busy);
    std::vector<std::string> japanese;
    for (const std::string& t : tourTexts(w)) {
        // The language menu names each language in its own words.
        if (t.rfind("menu language", 0) == 0) continue;
        // What stands before ": " says where the text is (a control's name).
        if (hasJapanese(t.substr(t.find(": ") + 2))) japanese.push_back(t);
    }
    std::string all;
    for (const std::string& t : japanese) all += "\n  " + t;
    EXPECT_TRUE(japanese.empty()) << all;
    // What was shown, in English words.
    MainWindowModel& f = *w.form;
    EXPECT_EQ(f.fileMenu.caption, "File");
    EXPECT_EQ(f.fieldCaptions[2].caption, "Tempo");
    EXPECT_EQ(f.bandInstrumentLists[0].items[0], "1: Acoustic Grand Piano");
    EXPECT_EQ(f.bandInstrumentLists[0].items[127], "128: Gunshot");
    EXPECT_EQ(f.majorChordMenu.caption, "Major chord: bright");
    EXPECT_EQ(f.copyrightBox.caption, "Copyright") << "a new song's starting text";
    EXPECT_EQ(w.ui.messages.front(), translated(msg::kMidiInUse));
    EXPECT_NE(w.ui.questions.back().find("Save it?"), std::string::npos);
}

TEST_F(WindowLanguage, NoteNamesUnderTheStaffAndBesideTheCursorAreLetters) {
    useLanguage("en");
    Window w;
    w.load();
    // C, E, F and B of the upper band, drawn with their names under the staff.
    w.setNotes({note(3, 60, 12, 0), note(6, 64, 12, 0), note(9, 66, 12, 0), note(12, 71, 12, 0)});
    w.canvas.forget();
    w.form->redrawScore();
    std::vector<std::string> names;
    for (const DrawOp& op : w.canvas.texts())
        if (op.text.size() == 1) names.push_back(op.text);
    EXPECT_EQ(names, (std::vector<std::string>{"C", "E", "F", "B"}));
    w.form->scoreMouseMove(0, 0, xAt(30), yAt(0, 38));
    EXPECT_EQ(w.form->pitchNameLabel.caption, "F");
}

TEST_F(WindowLanguage, JapaneseAfterEnglishIsExactlyWhatItWasBefore) {
    // Lists and names looked up once for each language must not keep English.
    std::vector<std::string> before;
    {
        Window w(DeviceCase::Busy);
        before = tourTexts(w);
    }
    useLanguage("en");
    {
        Window w(DeviceCase::Busy);
        tourTexts(w);
    }
    useLanguage("ja");
    Window w(DeviceCase::Busy);
    std::vector<std::string> after = tourTexts(w);
    // The temporary folder's name differs from window to window.
    auto withoutFolder = [](std::vector<std::string> texts, const Window& win) {
        for (std::string& t : texts)
            for (size_t at; (at = t.find(win.folder.string())) != std::string::npos;)
                t.replace(at, win.folder.string().size(), "FOLDER");
        return texts;
    };
    EXPECT_EQ(withoutFolder(after, w).size(), before.size());
    EXPECT_TRUE(std::none_of(after.begin(), after.end(), [](const std::string& t) {
        return t.find("Tempo") != std::string::npos || t.find("Upper") != std::string::npos;
    }));
    EXPECT_EQ(w.form->bandInstrumentLists[0].items[0], "1: グランドピアノ");
    EXPECT_EQ(w.form->fieldCaptions[0].caption, "上段のパートの楽器と音量");
}

TEST_F(WindowLanguage, MenuKeepsTheChoiceForTheNextStartAndSaysSoInThatLanguage) {
    Window w;
    w.load();
    MainWindowModel& f = *w.form;
    w.form->settingsFile = w.folder / "config" / "vakomidi.conf";
    EXPECT_EQ(f.languageMenu.caption, "言語 / Language");
    ASSERT_EQ(f.languageItems.size(), 2u);
    EXPECT_EQ(f.languageItems[0].caption, "日本語");
    EXPECT_EQ(f.languageItems[1].caption, "English");
    EXPECT_TRUE(f.languageItems[0].checked);
    EXPECT_EQ(f.menuBar().back(), &f.languageMenu);

    f.languageItems[1].click();
    EXPECT_EQ(readProgramSetting(f.settingsFile, kLanguageSetting), "en");
    EXPECT_TRUE(f.languageItems[1].checked);
    EXPECT_FALSE(f.languageItems[0].checked);
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_EQ(w.ui.messages[0], "The window shows the new language from the next start on.");
    EXPECT_EQ(languageInUse(), "ja") << "this window stays as it is";
    EXPECT_EQ(f.fileMenu.caption, "ファイル");

    f.languageItems[0].click();
    EXPECT_EQ(readProgramSetting(f.settingsFile, kLanguageSetting), "ja");
    EXPECT_EQ(w.ui.messages.back(), "表示の言語は次の起動から切り替わります。");
}

TEST_F(WindowLanguage, ChoiceThatCannotBeKeptSaysSoAndChangesNothing) {
    Window w;
    w.load();
    MainWindowModel& f = *w.form;
    // Its folder cannot be made: a file of that name is in the way.
    std::ofstream(w.folder / "vakomidi") << "a file";
    f.settingsFile = w.folder / "vakomidi" / "vakomidi.conf";
    f.languageItems[1].click();
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_NE(w.ui.messages[0].find("に保存できませんでした"), std::string::npos);
    EXPECT_TRUE(f.languageItems[0].checked);
    EXPECT_FALSE(f.languageItems[1].checked);
}

} // namespace
} // namespace vako::test
