// The file commands of the main window with scripted message and input boxes:
// the file list, drops, New, Save, Overwrite save, the desktop option, merge,
// Exit, closing the window and the export button.
#include "ViewTestSupport.h"

#include "midi/MidiImport.h"
#include "song/Messages.h"
#include "song/OpenF.h"
#include "song/SongWriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vako::test {
namespace {

using Answer = WindowSystem::Answer;

const std::string kPrefix = "ヴァコヴァコMIDI ～ ";
const std::string kAskSave = "今編集中のデータは保存しますか？";

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class FileCommands : public ::testing::Test {
protected:
    void SetUp() override { w.load(); }
    Formmain& f() { return *w.form; }

    // A song file in the song folder with notes at the given positions, on part 0.
    void writeSong(const std::string& fileName, std::vector<int32_t> positions, int program = 0) {
        Song other;
        for (int32_t pos : positions) other.udtNotes.push_back(note(pos, 64, 12, 0));
        other.varNoteCountX2 = static_cast<int32_t>(positions.size() * 2);
        other.bytPartInstrument[0] = static_cast<uint8_t>(program);
        ASSERT_TRUE(saveSongTo(other, w.folder / fileName).empty());
        f().refreshFileList();
    }
    void clickListed(const std::string& fileName) {
        const auto& items = f().File1.items;
        const auto it = std::find(items.begin(), items.end(), fileName);
        ASSERT_NE(it, items.end()) << fileName << " is not listed";
        f().File1.setListIndex(static_cast<int>(it - items.begin()));
    }
    // The song being edited has unsaved notes at 1 and 13.
    void editedSong() {
        w.setNotes({note(1, 60, 12, 0), note(13, 62, 12, 0)});
        w.song.bytModified = 1;
    }
    std::vector<int32_t> positions() const {
        std::vector<int32_t> out;
        for (int i = 1; i <= w.song.noteCount(); ++i) out.push_back(w.song.udtNotes[i].lngPos);
        return out;
    }

    Window w;
};

TEST_F(FileCommands, ClickingAListedSongOpensItNamesItAndResetsTheWindow) {
    writeSong("song.txt", {1, 200}, 40);
    f().データを逆再生.checked = true;
    f().やり直し.enabled = true;
    f().HScroll2.setValue(1);
    w.midi->clear();
    clickListed("song.txt");

    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_TRUE(w.ui.questions.empty()) << "an unchanged song is replaced without a question";
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 200}));
    EXPECT_EQ(f().caption, kPrefix + "song.txt");
    EXPECT_EQ(w.song.varSongName, "song");
    EXPECT_FALSE(f().やり直し.enabled);
    EXPECT_FALSE(f().データを逆再生.checked);
    EXPECT_EQ(f().view.intPage, 0);
    EXPECT_EQ(f().HScroll2.value, 0);
    EXPECT_EQ(f().Label2[1].caption, "1 / 2 ページ");
    // The upper band shows part 0's instrument, and every part's program was sent.
    EXPECT_EQ(f().Combo1[0].listIndex, 40);
    const auto sent = w.sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), 0xC0u + 40 * 256), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), 0xCFu), sent.end());
}

TEST_F(FileCommands, AnUnreadableListedFileSaysSoAndKeepsTheNotes) {
    std::ofstream(w.folder / "broken.txt") << "vako6\r\n";
    f().refreshFileList();
    editedSong();
    w.ui.answers = {Answer::No};
    clickListed("broken.txt");
    // The long-standing text, then the file and why.
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{msg::cannotRead(
                                 (w.folder / "broken.txt").string(), msg::reasonEndsAtLine(1))});
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_EQ(w.song.bytModified, 1);
}

TEST_F(FileCommands, AListedMidiFileSetsTheMeterAndTellsOfALimitedTempoInTheStatusLine) {
    // 3/4 at tick 0, a start tempo of 20 BPM (3,000,000 µs), one note.
    const std::string track("\x00\xFF\x58\x04\x03\x02\x18\x08"
                            "\x00\xFF\x51\x03\x2D\xC6\xC0"
                            "\x00\x90\x3C\x64\x83\x60\x80\x3C\x00"
                            "\x00\xFF\x2F\x00",
                            28);
    std::string image("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xE0MTrk\x00\x00\x00", 21);
    image += static_cast<char>(track.size());
    std::ofstream(w.folder / "minuet.mid", std::ios::binary) << image + track;
    f().refreshFileList();
    clickListed("minuet.mid");

    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_EQ(positions(), (std::vector<int32_t>{0}));
    EXPECT_TRUE(f().h3.checked);
    EXPECT_FALSE(f().h4.checked);
    EXPECT_EQ(f().Text1.caption, "30");
    EXPECT_EQ(f().Label1.caption, "テンポを30から600の間に収めました。");
}

TEST_F(FileCommands, OpeningOverUnsavedChangesAsksFirst) {
    writeSong("other.txt", {50});
    editedSong();
    w.song.varSongName = "mine";

    // Cancel: the song stays, nothing is opened.
    w.ui.answers = {Answer::Cancel};
    clickListed("other.txt");
    EXPECT_EQ(w.ui.questions, std::vector<std::string>{"mine は変更されています。保存しますか？"});
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_EQ(w.song.varSongName, "mine");

    // Yes, then the save is cancelled: still nothing is lost.
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {""};
    clickListed("other.txt");
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_FALSE(std::filesystem::exists(w.folder / "mine.txt"));

    // Yes and a name: saved, then opened.
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {"mine"};
    clickListed("other.txt");
    EXPECT_TRUE(std::filesystem::exists(w.folder / "mine.txt"));
    EXPECT_EQ(positions(), (std::vector<int32_t>{50}));
    EXPECT_EQ(w.song.varSongName, "other");
    EXPECT_EQ(w.song.bytModified, 0) << "the opened song is unchanged";

    // No: discarded without saving.
    editedSong();
    w.ui.questions.clear();
    w.ui.answers = {Answer::No};
    clickListed("mine.txt");
    EXPECT_EQ(w.ui.questions.size(), 1u);
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));
}

TEST_F(FileCommands, AnUnnamedChangedSongIsAskedAboutLikeNew) {
    writeSong("other.txt", {50});
    editedSong();
    w.ui.answers = {Answer::Cancel};
    clickListed("other.txt");
    EXPECT_EQ(w.ui.questions, std::vector<std::string>{kAskSave});
}

TEST_F(FileCommands, MergeAsksNothingAndKeepsTheOpenSong) {
    writeSong("other.txt", {13, 25});
    editedSong();
    f().曲の合成.click();
    EXPECT_TRUE(f().曲の合成.checked);
    clickListed("other.txt");
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13, 13, 25}));
    EXPECT_EQ(w.song.bytModified, 1) << "the merged song is saved nowhere yet";
    f().曲の合成.click();
    EXPECT_FALSE(f().曲の合成.checked);
}

TEST_F(FileCommands, DroppingASongOpensTheFirstFileByItsFullPath) {
    writeSong("a b.txt", {7});
    writeSong("second.txt", {9});
    f().やり直し.enabled = true;
    const std::string path = (w.folder / "a b.txt").string();
    f().Picture1_OLEDragDrop({path, (w.folder / "second.txt").string()});
    EXPECT_EQ(positions(), (std::vector<int32_t>{7}));
    EXPECT_EQ(f().caption, kPrefix + path);
    EXPECT_EQ(w.song.varSongName, "a b");
    EXPECT_TRUE(f().やり直し.enabled) << "a drop leaves the undo item alone";

    f().Picture1_OLEDragDrop({});
    EXPECT_EQ(positions(), (std::vector<int32_t>{7}));
}

TEST_F(FileCommands, ADroppedPictureBecomesTheBackgroundAndTheButtonRemovesIt) {
    editedSong();
    w.canvas.pictures["/pics/wall.JPG"] = {400, 500};
    EXPECT_FALSE(f().Command2.visible);
    EXPECT_EQ(f().Command2.caption, "壁紙を消す");
    const int clears = w.canvas.clearCount;
    f().Picture1_OLEDragDrop({"/pics/wall.JPG"});
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_TRUE(w.canvas.hasPersistentPicture);
    EXPECT_TRUE(f().Command2.visible);
    EXPECT_EQ(w.canvas.clearCount, clears + 1);

    f().Command2.click();
    EXPECT_FALSE(w.canvas.hasPersistentPicture);
    EXPECT_FALSE(f().Command2.visible);
    EXPECT_EQ(w.canvas.clearCount, clears + 2);

    // A picture that cannot be loaded says so and changes nothing.
    f().Picture1_OLEDragDrop({"/pics/missing.bmp"});
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{
                                 msg::cannotRead("/pics/missing.bmp", msg::kReasonNotPicture)});
    EXPECT_FALSE(f().Command2.visible);
}

TEST_F(FileCommands, NewAsksAndClearsOnlyTheNotes) {
    editedSong();
    w.song.varSongName = "tune";
    f().caption = kPrefix + "tune";
    f().Text1.setText("90");

    w.ui.answers = {Answer::Cancel};
    f().新規作成.click();
    EXPECT_EQ(w.ui.questions, std::vector<std::string>{kAskSave});
    EXPECT_EQ(f().caption, "ヴァコヴァコMIDI ～ 新規作成");
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));

    // Yes with a cancelled save: the notes stay.
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {""};
    f().新規作成.click();
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));

    f().やり直し.enabled = true;
    w.ui.answers = {Answer::No};
    f().新規作成.click();
    EXPECT_EQ(w.song.varNoteCountX2, 0);
    for (const NoteRec& r : w.song.udtNotes) EXPECT_EQ(r, NoteRec{});
    EXPECT_FALSE(f().やり直し.enabled);
    EXPECT_EQ(f().Label2[1].caption, "1 / 1 ページ");
    // Everything but the notes stays.
    EXPECT_EQ(w.song.tempoText, "90");
    EXPECT_EQ(w.song.varSongName, "tune");
    EXPECT_EQ(w.song.bytModified, 1);

    // Yes with a name: saved first, then cleared.
    editedSong();
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {"before-new"};
    f().新規作成.click();
    EXPECT_TRUE(std::filesystem::exists(w.folder / "before-new.txt"));
    EXPECT_EQ(w.song.varNoteCountX2, 0);
    EXPECT_EQ(f().caption, "ヴァコヴァコMIDI ～ 新規作成");
}

TEST_F(FileCommands, SaveAsksForANameAndWritesTheSong) {
    editedSong();
    w.ui.inputAnswer = "first";
    f().保存.click();
    ASSERT_EQ(w.ui.inputs.size(), 1u);
    EXPECT_EQ(w.ui.inputs[0].prompt,
              "ファイル名を入れてください。拡張子は不要。データはテキスト形式で保存されます。");
    EXPECT_EQ(w.ui.inputs[0].title, "保存");
    EXPECT_EQ(w.ui.inputs[0].defaultText, "");
    EXPECT_TRUE(std::filesystem::exists(w.folder / "first.txt"));
    EXPECT_EQ(f().caption, kPrefix + "first");
    EXPECT_EQ(w.song.varSongName, "first");
    EXPECT_EQ(w.song.bytModified, 0);
    EXPECT_NE(std::find(f().File1.items.begin(), f().File1.items.end(), "first.txt"),
              f().File1.items.end());

    // The next save offers the name; a cancelled box keeps name and caption.
    w.ui.inputAnswer = "";
    f().保存.click();
    EXPECT_EQ(w.ui.inputs[1].defaultText, "first");
    EXPECT_EQ(w.song.varSongName, "first");
    EXPECT_EQ(f().caption, kPrefix + "first");
}

TEST_F(FileCommands, OverwriteSaveAsksOnlyWhileTheSongHasNoName) {
    editedSong();
    w.ui.inputAnswer = "";
    f().上書き保存.click(); // right after start-up: asks, and the cancel writes nothing
    EXPECT_EQ(w.ui.inputs.size(), 1u);
    f().上書き保存.click(); // the cancel gave no name: asks again
    EXPECT_EQ(w.ui.inputs.size(), 2u);
    EXPECT_EQ(w.song.bytModified, 1);

    writeSong("listed.txt", {5});
    w.ui.answers = {Answer::No};
    clickListed("listed.txt");
    w.song.udtNotes[1].bytNote = 70;
    const std::string before = readFile(w.folder / "listed.txt");
    f().上書き保存.click();
    EXPECT_EQ(w.ui.inputs.size(), 2u) << "no question once the list named the song";
    EXPECT_NE(readFile(w.folder / "listed.txt"), before);
    EXPECT_EQ(w.song.strFileName, "listed");
}

TEST_F(FileCommands, ARefusedSaveNameIsNeverTaken) {
    editedSong();
    w.ui.inputAnswer = "tune";
    f().保存.click();
    ASSERT_TRUE(std::filesystem::exists(w.folder / "tune.txt"));
    w.song.bytModified = 1;

    for (const std::string refused : {"a/b", "..", "say \"hi\""}) {
        w.ui.messages.clear();
        w.ui.inputAnswer = refused;
        EXPECT_FALSE(f().保存_Click());
        EXPECT_EQ(w.ui.messages.size(), 1u) << refused;
        EXPECT_EQ(w.song.varSongName, "tune") << refused;
        EXPECT_EQ(f().caption, kPrefix + "tune") << refused;
    }
    // The overwrite save writes under the kept name without asking.
    w.ui.messages.clear();
    const size_t asked = w.ui.inputs.size();
    f().上書き保存.click();
    EXPECT_EQ(w.ui.inputs.size(), asked);
    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_EQ(w.song.bytModified, 0);
}

TEST_F(FileCommands, OverwriteSaveOfASongWithoutAUsableNameOpensTheSaveBox) {
    editedSong();
    w.ui.inputAnswer = "a/b"; // refused: the song stays unnamed
    f().保存.click();
    EXPECT_FALSE(w.song.varSongName.has_value());
    EXPECT_EQ(f().caption, kPrefix + "新規作成");
    const size_t asked = w.ui.inputs.size();
    w.ui.messages.clear();
    w.ui.inputAnswer = "";
    f().上書き保存.click();
    EXPECT_EQ(w.ui.inputs.size(), asked + 1) << "asks instead of repeating the refusal";
    EXPECT_TRUE(w.ui.messages.empty());

    // A song opened from a file whose name cannot be saved under asks too.
    w.song.varSongName = "..";
    f().上書き保存.click();
    EXPECT_EQ(w.ui.inputs.size(), asked + 2);
    EXPECT_EQ(w.ui.inputs.back().defaultText, "..");
    EXPECT_TRUE(w.ui.messages.empty());
}

TEST_F(FileCommands, TheClosingQuestionNamesANeverNamedSongNew) {
    editedSong();
    w.ui.answers = {Answer::No};
    EXPECT_TRUE(f().Form_QueryUnload());
    EXPECT_EQ(w.ui.questions,
              std::vector<std::string>{"新規作成 は変更されています。保存しますか？"});
}

TEST_F(FileCommands, TheDesktopOptionSendsLaterSavesToTheDesktopFolder) {
    const auto desktop = w.folder / "desktop";
    f().folders.desktopFolder = desktop;
    f().デスクトップに上書き保存.click();
    EXPECT_TRUE(f().デスクトップに上書き保存.checked);
    EXPECT_TRUE(w.song.varDesktopSave);
    w.ui.inputAnswer = "name";
    f().保存.click();
    EXPECT_TRUE(std::filesystem::exists(desktop / "name.txt"));
    EXPECT_FALSE(std::filesystem::exists(w.folder / "name.txt"));
    f().デスクトップに上書き保存.click();
    EXPECT_FALSE(w.song.varDesktopSave);
}

TEST_F(FileCommands, ExitAndClosingAskOnlyAboutAChangedSong) {
    // Unchanged: no question; the device is reset and closed, the program ends.
    f().終了.click();
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_TRUE(w.ui.ended);
    ASSERT_GE(w.midi->entries().size(), 2u);
    EXPECT_EQ(w.midi->entries().back().kind, RecordingMidiOut::Kind::Close);
    // The window then closes without a second question.
    EXPECT_TRUE(f().Form_QueryUnload());
    EXPECT_TRUE(w.ui.questions.empty());
}

TEST_F(FileCommands, ExitWithChangesAsksTheClosingQuestion) {
    editedSong();
    w.song.varSongName = "tune";
    w.ui.answers = {Answer::No};
    f().終了.click();
    EXPECT_EQ(w.ui.questions, std::vector<std::string>{"tune は変更されています。保存しますか？"});
    EXPECT_TRUE(w.ui.ended);
    EXPECT_FALSE(std::filesystem::exists(w.folder / "tune.txt"));
}

TEST_F(FileCommands, ACancelledSaveKeepsTheWindowOpen) {
    editedSong();
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {""};
    EXPECT_FALSE(f().Form_QueryUnload());
    EXPECT_EQ(w.midi->entries().back().kind, RecordingMidiOut::Kind::Reset)
        << "the device stays open for the window";
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));

    // Yes and a name: saved, and the window may close.
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {"kept"};
    EXPECT_TRUE(f().Form_QueryUnload());
    EXPECT_TRUE(std::filesystem::exists(w.folder / "kept.txt"));
    EXPECT_EQ(w.midi->entries().back().kind, RecordingMidiOut::Kind::Close);
}

TEST_F(FileCommands, TheExportButtonWritesAMidiFileTheImporterReadsBack) {
    w.setNotes({note(1, 60, 12, 0), note(13, 64, 6, 0)});
    f().線引き();
    ASSERT_TRUE(f().Command1.enabled);
    w.ui.inputAnswer = "tune";
    f().Command1.click();
    ASSERT_EQ(w.ui.inputs.size(), 1u);
    EXPECT_EQ(w.ui.inputs[0].prompt, "ファイル名を入れてください。(拡張子はいらない)");
    EXPECT_EQ(w.ui.inputs[0].title, "新規保存");
    EXPECT_EQ(w.ui.inputs[0].defaultText, "");
    EXPECT_NE(std::find(f().File1.items.begin(), f().File1.items.end(), "tune.mid"),
              f().File1.items.end());

    Song back;
    ImportingSongHost quiet;
    ASSERT_EQ(OpenF(back, (w.folder / "tune.mid").string(), quiet), OpenStatus::Loaded);
    ASSERT_EQ(back.noteCount(), 2);
    EXPECT_EQ(back.udtNotes[1].bytNote, 60);
    EXPECT_EQ(back.udtNotes[2].bytNote, 64);
    EXPECT_EQ(back.udtNotes[2].lngPos - back.udtNotes[1].lngPos, 12);

    // An empty name writes nothing and says nothing; a bad tempo only says so.
    w.ui.inputAnswer = "";
    f().Command1.click();
    f().Text1.setText("20");
    f().Command1.click();
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{"速さは30から600で選んでください"});
    EXPECT_EQ(w.ui.inputs.size(), 2u);
}

TEST_F(FileCommands, AnExportThatLeavesNotesOutSaysHowMany) {
    w.setNotes({note(1, 3, 12, 0), note(13, 60, 12, 0), note(25, 4, 12, 0)});
    f().線引き();
    f().VScroll3.setValue(12); // twelve semitones down
    w.ui.inputAnswer = "low";
    f().Command1.click();
    EXPECT_TRUE(std::filesystem::exists(w.folder / "low.mid"));
    EXPECT_EQ(f().Label1.caption, "移調で音域（0～127）を外れた音符 2 個は書き出していません");
}

TEST_F(FileCommands, AFailedMergeKeepsTheSongItsNameAndTheCaption) {
    std::ofstream(w.folder / "broken.txt") << "vako6\r\n";
    f().refreshFileList();
    editedSong();
    w.song.varSongName = "mine";
    f().setCaption(kPrefix + "mine");
    f().やり直し.enabled = true;
    f().曲の合成.click();
    clickListed("broken.txt");
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_TRUE(w.ui.messages[0].starts_with(msg::kCannotRead + "\n"));
    EXPECT_EQ(positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_EQ(w.song.bytModified, 1);
    EXPECT_EQ(w.song.varSongName, "mine");
    EXPECT_EQ(f().caption, kPrefix + "mine");
    EXPECT_TRUE(f().やり直し.enabled);
}

TEST_F(FileCommands, NotesOutOfOrderThatAFailedLoadBringsBackAreFoundUnderThePointer) {
    // The undo copy holds part 1's notes, then part 10's; the song is ordered.
    w.setNotes({note(12, 60, 12, 0), note(156, 60, 12, 0), note(300, 60, 12, 0),
                note(12, 64, 12, 9), note(156, 64, 12, 9), note(300, 64, 12, 9)});
    w.song.udtNotes.resize(2);
    w.song.varNoteCountX2 = 2;
    f().線引き();
    std::ofstream(w.folder / "broken.txt") << "vako6\r\n";
    f().refreshFileList();
    clickListed("broken.txt");
    ASSERT_EQ(w.song.noteCount(), 6);
    f().view.intPage = 2;
    // Part 1's note at 300, row 35 of the upper band (position 12 of page 3).
    f().Picture1_MouseMove(0, 0, 5.0f * (12 + 18) + 7, -600.0f - 10.0f * (35 - 6) - 5);
    EXPECT_TRUE(f().Shape3.visible);
    EXPECT_EQ(f().view.varSelNote, 3);
}

TEST_F(FileCommands, AnExportFaultPutsTheUndoCopyBackShowsItAndWritesTheErrorDump) {
    w.setNotes({note(1, 60, 12, 0)}); // the undo copy holds this one note
    w.song.udtNotes.push_back(note(13, 62, 12, 0));
    w.song.varNoteCountX2 = 4;
    w.song.udtCCs = {CCRec{}, {0, 120, kTempoChange}, {5, 0, kTempoChange}, {kEndMarkerPos, 0, 0}};
    w.song.varCCCount = 2;
    f().線引き();
    const int clears = w.canvas.clearCount;
    w.ui.inputAnswer = "faulty";
    f().Command1.click();
    EXPECT_EQ(w.ui.messages,
              (std::vector<std::string>{msg::kExportErrorSaved, msg::kPleaseSendErr}));
    EXPECT_TRUE(std::filesystem::exists(w.folder / "err.txt"));
    EXPECT_EQ(positions(), (std::vector<int32_t>{1}));
    EXPECT_EQ(w.canvas.clearCount, clears + 1) << "the restored notes are shown";
}

} // namespace
} // namespace vako::test
