// "MusicXMLに書き出す" in the file menu: the save box, the question before
// another file is replaced, the spelling the window's choice asks for, and
// what the window says when the score cannot be written.
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vako::test {
namespace {

using Answer = WindowSystem::Answer;

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScoreExport : public ::testing::Test {
protected:
    void SetUp() override { w.load(); }
    MainWindowModel& f() { return *w.form; }
    Window w;
};

TEST_F(ScoreExport, TheMenuWritesWhereTheSaveBoxSaysAndAsksBeforeReplacingAnotherFile) {
    w.setNotes({note(3, 61, 12, 0), note(15, 64, 6, 0)});
    const auto menu = std::find(f().fileMenu.children.begin(), f().fileMenu.children.end(),
                                &f().exportMusicXmlMenu);
    ASSERT_NE(menu, f().fileMenu.children.end());
    EXPECT_EQ(f().exportMusicXmlMenu.caption, "MusicXMLに書き出す");

    // Cancelled: nothing written, nothing asked.
    f().exportMusicXmlMenu.click();
    ASSERT_EQ(w.ui.saveBoxes.size(), 1u);
    // Recorded as (title, suggested path, filter).
    EXPECT_EQ(w.ui.saveBoxes[0].prompt, "MusicXMLに書き出す");
    EXPECT_EQ(std::filesystem::path(w.ui.saveBoxes[0].title).extension(), ".musicxml");
    EXPECT_EQ(w.ui.saveBoxes[0].defaultText, "MusicXML (*.musicxml *.mxl)");

    // A name without its extension gets it; the black key as the fixed rule spells it.
    w.ui.saveFileAnswer = (w.folder / "tune").string();
    f().exportMusicXmlMenu.click();
    const std::filesystem::path written = w.folder / "tune.musicxml";
    ASSERT_TRUE(std::filesystem::exists(written));
    EXPECT_NE(fileText(written).find("<step>C</step><alter>1</alter><octave>4</octave>"),
              std::string::npos);
    EXPECT_TRUE(w.ui.questions.empty());

    // The window's own file is replaced without a question; with "b" chosen
    // the key is spelled with a flat.
    f().accidentalOptions[2].checked = true;
    f().exportMusicXmlMenu.click();
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_NE(fileText(written).find("<step>D</step><alter>-1</alter>"), std::string::npos);

    // Another file of the name: No keeps it.
    std::ofstream(w.folder / "other.musicxml") << "the user's own";
    w.ui.saveFileAnswer = (w.folder / "other.musicxml").string();
    w.ui.answers = {Answer::No};
    f().exportMusicXmlMenu.click();
    EXPECT_EQ(w.ui.questions.size(), 1u);
    EXPECT_EQ(fileText(w.folder / "other.musicxml"), "the user's own");
    w.ui.answers = {Answer::Yes};
    f().exportMusicXmlMenu.click();
    EXPECT_NE(fileText(w.folder / "other.musicxml").find("<score-partwise"), std::string::npos);
    EXPECT_TRUE(w.ui.messages.empty());
}

TEST_F(ScoreExport, WhatCannotBeWrittenIsSaidAndTheSongStays) {
    w.setNotes({note(3, 60, 12, 0), note(15, 2, 12, 0)});
    const Song before = w.song;
    // A folder that is not there.
    w.ui.saveFileAnswer = (w.folder / "missing" / "x.musicxml").string();
    f().exportMusicXmlMenu.click();
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_NE(w.ui.messages[0].find("x.musicxml"), std::string::npos);

    // Transposed down, one note falls out of the keys: said under the staff.
    f().transposeScrollBar.setValue(5);
    w.ui.saveFileAnswer = (w.folder / "low.musicxml").string();
    f().exportMusicXmlMenu.click();
    EXPECT_EQ(f().statusLine.caption, "移調で音域（0～127）を外れた音符 1 個は書き出していません");
    EXPECT_EQ(w.song.notes, before.notes);
    EXPECT_FALSE(w.modified());
}

} // namespace
} // namespace vako::test
