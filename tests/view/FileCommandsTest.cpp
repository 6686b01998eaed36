// The file commands of the main window with scripted message and input boxes:
// the file list, drops, New, Save, Overwrite save, the desktop option, merge,
// Exit, closing the window and the export button.
#include "ViewTestSupport.h"
#include "song/SongTestSupport.h"

#include "midi/MidiImport.h"
#include "song/Messages.h"
#include "song/OpenFile.h"
#include "song/SongWriter.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

namespace vako::test {
namespace {

using Answer = WindowSystem::Answer;

const std::string kPrefix = "ヴァコヴァコMIDI ～ ";
const std::string kAskSave = "今編集中のデータは保存しますか？";

class FileCommands : public ::testing::Test {
protected:
    void SetUp() override { w.load(); }
    MainWindowModel& f() { return *w.form; }

    // A song file in the song folder with notes at the given positions, on part 0.
    void writeSong(const std::string& fileName, std::vector<int32_t> positions, int program = 0) {
        Song other;
        for (int32_t pos : positions) other.notes.push_back(note(pos, 64, 12, 0));
        other.twiceNoteCount = static_cast<int32_t>(positions.size() * 2);
        other.partPrograms[0] = static_cast<uint8_t>(program);
        ASSERT_TRUE(saveSongTo(other, w.folder / fileName).empty());
        f().refreshFileList();
    }
    // The song being edited has unsaved notes at 1 and 13.
    void editedSong() {
        w.setNotes({note(1, 60, 12, 0), note(13, 62, 12, 0)});
        w.markChanged();
    }

    Window w;
};

TEST_F(FileCommands, ClickingAListedSongOpensItNamesItAndResetsTheWindow) {
    writeSong("song.txt", {1, 200}, 40);
    f().reverseSongMenu.checked = true;
    f().undoMenu.enabled = true;
    f().pageScrollBar.setValue(1);
    w.midi->clear();
    w.clickListed("song.txt");

    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_TRUE(w.ui.questions.empty()) << "an unchanged song is replaced without a question";
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 200}));
    EXPECT_EQ(f().caption, kPrefix + "song.txt");
    EXPECT_EQ(w.song.songName, "song");
    EXPECT_FALSE(f().undoMenu.enabled);
    EXPECT_FALSE(f().reverseSongMenu.checked);
    EXPECT_EQ(f().view.page, 0);
    EXPECT_EQ(f().pageScrollBar.value, 0);
    EXPECT_EQ(f().pageLabels[1].caption, "1 / 2 ページ");
    // The upper band shows part 0's instrument, and every part's program was sent.
    EXPECT_EQ(f().bandInstrumentLists[0].listIndex, 40);
    const auto sent = w.sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), 0xC0u + 40 * 256), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), 0xCFu), sent.end());
}

TEST_F(FileCommands, AnUnreadableListedFileSaysSoAndKeepsTheNotes) {
    std::ofstream(w.folder / "broken.txt") << "vako6\r\n";
    f().refreshFileList();
    editedSong();
    w.ui.answers = {Answer::No};
    w.clickListed("broken.txt");
    // The long-standing text, then the file and why.
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{msg::cannotRead(
                                 (w.folder / "broken.txt").string(), msg::reasonEndsAtLine(1))});
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_TRUE(w.modified());

    // A failed merge keeps the song, its name and the caption, and asks nothing.
    w.ui.messages.clear();
    w.ui.questions.clear();
    w.song.songName = "mine";
    f().setCaption(kPrefix + "mine");
    f().mergeMenu.click();
    w.clickListed("broken.txt");
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_TRUE(w.ui.messages[0].starts_with(msg::kCannotRead + "\n"));
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_TRUE(w.modified());
    EXPECT_EQ(w.song.songName, "mine");
    EXPECT_EQ(f().caption, kPrefix + "mine");

    // A merge that reads asks nothing either and keeps the open song.
    writeSong("other.txt", {13, 25});
    EXPECT_TRUE(f().mergeMenu.checked);
    w.clickListed("other.txt");
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13, 13, 25}));
    EXPECT_TRUE(w.modified()) << "the merged song is saved nowhere yet";
    f().mergeMenu.click();
    EXPECT_FALSE(f().mergeMenu.checked);
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
    w.clickListed("minuet.mid");

    EXPECT_TRUE(w.ui.messages.empty());
    // Tick 0 is the first beat, on the first bar line.
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{kFirstBeatPosition}));
    EXPECT_TRUE(f().meterThreeMenu.checked);
    EXPECT_FALSE(f().meterFourMenu.checked);
    EXPECT_EQ(f().tempoBox.caption, "30");
    EXPECT_EQ(f().statusLine.caption, "テンポを30から600の間に収めました。");
}

TEST_F(FileCommands, OpeningOverUnsavedChangesAsksFirst) {
    writeSong("other.txt", {50});
    editedSong();
    // An unnamed song is asked about as New asks.
    w.ui.answers = {Answer::Cancel};
    w.clickListed("other.txt");
    EXPECT_EQ(w.ui.questions, std::vector<std::string>{kAskSave});

    // Cancel: the song stays, nothing is opened.
    w.song.songName = "mine";
    w.ui.questions.clear();
    w.ui.answers = {Answer::Cancel};
    w.clickListed("other.txt");
    EXPECT_EQ(w.ui.questions, std::vector<std::string>{"mine は変更されています。保存しますか？"});
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_EQ(w.song.songName, "mine");

    // Yes, then the save is cancelled: still nothing is lost.
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {""};
    w.clickListed("other.txt");
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_FALSE(std::filesystem::exists(w.folder / "mine.txt"));

    // Yes and a name: saved, then opened.
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {"mine"};
    w.clickListed("other.txt");
    EXPECT_TRUE(std::filesystem::exists(w.folder / "mine.txt"));
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{50}));
    EXPECT_EQ(w.song.songName, "other");
    EXPECT_FALSE(w.modified()) << "the opened song is unchanged";

    // No: discarded without saving.
    editedSong();
    w.ui.questions.clear();
    w.ui.answers = {Answer::No};
    w.clickListed("mine.txt");
    EXPECT_EQ(w.ui.questions.size(), 1u);
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
}

TEST_F(FileCommands, DroppingASongOpensTheFirstFileByItsFullPath) {
    writeSong("a b.txt", {7});
    writeSong("second.txt", {9});
    f().undoMenu.enabled = true;
    const std::string path = (w.folder / "a b.txt").string();
    f().files.dropFiles({path, (w.folder / "second.txt").string()});
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{7}));
    EXPECT_EQ(f().caption, kPrefix + path);
    EXPECT_EQ(w.song.songName, "a b");
    EXPECT_FALSE(f().undoMenu.enabled) << "another song starts an empty history";

    f().files.dropFiles({});
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{7}));
}

TEST_F(FileCommands, ADroppedPictureBecomesTheBackgroundAndTheButtonRemovesIt) {
    editedSong();
    const std::string wall = (w.folder / "wall.JPG").string();
    writeBytes(wall, "a picture");
    w.canvas.pictures[wall] = {400, 500};
    EXPECT_FALSE(f().clearBackgroundButton.visible);
    EXPECT_EQ(f().clearBackgroundButton.caption, "壁紙を消す");
    const int clears = w.canvas.clearCount;
    f().files.dropFiles({wall});
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_TRUE(w.canvas.hasPersistentPicture);
    EXPECT_TRUE(f().clearBackgroundButton.visible);
    EXPECT_EQ(w.canvas.clearCount, clears + 1);

    f().clearBackgroundButton.click();
    EXPECT_FALSE(w.canvas.hasPersistentPicture);
    EXPECT_FALSE(f().clearBackgroundButton.visible);
    EXPECT_EQ(w.canvas.clearCount, clears + 2);

    // A picture that cannot be loaded, a missing one and a named pipe called
    // like a picture (which is refused without waiting on it) say so and
    // change nothing.
    const std::string broken = (w.folder / "broken.png").string();
    writeBytes(broken, "no picture");
    const std::string pipe = (w.folder / "pipe.jpg").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string missing = (w.folder / "missing.gif").string();
    for (const std::string& path : {broken, pipe, missing}) f().files.dropFiles({path});
    EXPECT_EQ(w.ui.messages,
              (std::vector<std::string>{msg::cannotRead(broken, msg::kReasonNotPicture),
                                        msg::cannotRead(pipe, msg::kReasonNotAFile),
                                        msg::cannotRead(missing, msg::kReasonMissing)}));
    EXPECT_FALSE(f().clearBackgroundButton.visible);
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
}

TEST_F(FileCommands, NewAsksOnlyAboutAChangedSongAndLeavesItWithoutAName) {
    writeSong("tune.txt", {1, 13, 25});
    w.clickListed("tune.txt");
    const std::string tuneFile = readBytes(w.folder / "tune.txt");
    f().tempoBox.setText("90");
    f().tempoBox.commit();
    ASSERT_TRUE(w.modified());

    // Cancel changes nothing, the caption included.
    w.ui.answers = {Answer::Cancel};
    f().newSongMenu.click();
    EXPECT_EQ(w.ui.questions, std::vector<std::string>{kAskSave});
    EXPECT_EQ(f().caption, kPrefix + "tune.txt");
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13, 25}));

    // Yes with a cancelled save: the notes stay.
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {""};
    f().newSongMenu.click();
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13, 25}));

    // No: the notes go, and so do the name and the file the song came from.
    w.ui.answers = {Answer::No};
    f().newSongMenu.click();
    EXPECT_EQ(w.song.twiceNoteCount, 0);
    for (const Note& r : w.song.notes) EXPECT_EQ(r, Note{});
    EXPECT_FALSE(f().undoMenu.enabled);
    EXPECT_EQ(f().pageLabels[1].caption, "1 / 1 ページ");
    EXPECT_EQ(f().caption, "ヴァコヴァコMIDI ～ 新規作成");
    EXPECT_FALSE(w.song.songName.has_value());
    EXPECT_FALSE(w.modified());
    // The tempo, texts and instruments stay as the start of the next song.
    EXPECT_EQ(w.song.tempoText, "90");

    // An unchanged song is left without a question; the overwrite save of
    // the new song asks for a name instead of writing over tune.txt.
    w.ui.questions.clear();
    f().newSongMenu.click();
    EXPECT_TRUE(w.ui.questions.empty());
    w.ui.inputAnswer = "";
    f().saveMenu.click();
    EXPECT_EQ(w.ui.inputs.size(), 2u) << "the save box opened";
    EXPECT_EQ(w.ui.inputs.back().defaultText, "");
    EXPECT_EQ(readBytes(w.folder / "tune.txt"), tuneFile);

    // Yes with a name: saved first, then cleared.
    editedSong();
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {"before-new"};
    f().newSongMenu.click();
    EXPECT_TRUE(std::filesystem::exists(w.folder / "before-new.txt"));
    EXPECT_EQ(w.song.twiceNoteCount, 0);
    EXPECT_EQ(f().caption, "ヴァコヴァコMIDI ～ 新規作成");
}

TEST_F(FileCommands, AMergeKeepsTheOpenSongsNameFileAndCaption) {
    writeSong("a.txt", {1});
    writeSong("b.txt", {13});
    w.clickListed("a.txt");
    f().mergeMenu.click();
    w.clickListed("b.txt");
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
    EXPECT_EQ(f().caption, kPrefix + "a.txt");
    EXPECT_EQ(w.song.songName, "a");
    EXPECT_TRUE(w.modified());
    // The overwrite save writes the merged song where a.txt came from.
    const std::string bFile = readBytes(w.folder / "b.txt");
    f().saveMenu.click();
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_EQ(readBytes(w.folder / "b.txt"), bFile);
    Song back;
    ImportingSongHost quiet;
    ASSERT_EQ(openFile(back, (w.folder / "a.txt").string(), quiet), OpenStatus::Loaded);
    EXPECT_EQ(back.noteCount(), 2);
}

TEST_F(FileCommands, AFailedOpenLeavesTheSongItsNameAndTheWindowExactlyAsTheyWere) {
    // A song with instruments, volumes, a tempo, a change and texts.
    writeSong("mine.txt", {1, 13}, 40);
    w.clickListed("mine.txt");
    f().tempoBox.setText("90");
    f().tempoBox.commit();
    f().copyrightBox.setText("me");
    f().copyrightBox.commit();
    f().bandVolumeScrollBars[0].setValue(2);
    f().reverseSongMenu.checked = true;
    const Song before = w.song;
    const std::string caption = f().caption;

    // A truncated MIDI file, an empty and a foreign .txt, a file of no kind.
    std::ofstream(w.folder / "cut.mid", std::ios::binary)
        << std::string("MThd\0\0\0\6\0\0\0\1\1\xE0MTrk\0\0\1\0\0\x90", 24);
    std::ofstream(w.folder / "empty.txt");
    std::ofstream(w.folder / "letter.txt") << "Dear friend,\r\n";
    std::ofstream(w.folder / "notes.doc") << "words";
    for (const char* name : {"cut.mid", "empty.txt", "letter.txt", "notes.doc"}) {
        w.ui.messages.clear();
        w.ui.answers = {Answer::No};
        f().files.dropFiles({(w.folder / name).string()});
        EXPECT_EQ(w.ui.messages.size(), 1u) << name;
        EXPECT_EQ(w.song.notes, before.notes) << name;
        EXPECT_EQ(w.song.changes, before.changes) << name;
        EXPECT_EQ(w.song.partPrograms, before.partPrograms) << name;
        EXPECT_EQ(w.song.partVolumes, before.partVolumes) << name;
        EXPECT_EQ(w.song.tempoText, "90") << name;
        EXPECT_EQ(w.song.copyrightText, "me") << name;
        EXPECT_EQ(w.song.songName, "mine") << name;
        EXPECT_TRUE(w.modified()) << name;
        EXPECT_EQ(f().caption, caption) << name;
        EXPECT_EQ(f().tempoBox.caption, "90") << name;
        EXPECT_EQ(f().bandInstrumentLists[0].listIndex, 40) << name;
        EXPECT_EQ(f().bandVolumeScrollBars[0].value, 2) << name;
        EXPECT_TRUE(f().reverseSongMenu.checked) << name;
    }
    // A file of no kind the program reads is refused by name, without asking.
    EXPECT_EQ(w.ui.messages[0],
              msg::cannotRead((w.folder / "notes.doc").string(), msg::kReasonNotOpenable));
    // Ctrl+S still writes the song where it came from.
    f().saveMenu.click();
    Song back;
    ImportingSongHost quiet;
    ASSERT_EQ(openFile(back, (w.folder / "mine.txt").string(), quiet), OpenStatus::Loaded);
    EXPECT_EQ(back.tempoText, "90");
}

TEST_F(FileCommands, SaveAsksForANameAndWritesTheSong) {
    editedSong();
    w.ui.inputAnswer = "first";
    f().saveAsMenu.click();
    ASSERT_EQ(w.ui.inputs.size(), 1u);
    EXPECT_EQ(w.ui.inputs[0].prompt,
              "ファイル名を入れてください。拡張子は不要。データはテキスト形式で保存されます。");
    EXPECT_EQ(w.ui.inputs[0].title, "保存");
    EXPECT_EQ(w.ui.inputs[0].defaultText, "");
    EXPECT_TRUE(std::filesystem::exists(w.folder / "first.txt"));
    EXPECT_EQ(f().caption, kPrefix + "first");
    EXPECT_EQ(w.song.songName, "first");
    EXPECT_FALSE(w.modified());
    EXPECT_NE(std::find(f().fileList.items.begin(), f().fileList.items.end(), "first.txt"),
              f().fileList.items.end());

    // The next save offers the name; a cancelled box keeps name and caption.
    w.ui.inputAnswer = "";
    f().saveAsMenu.click();
    EXPECT_EQ(w.ui.inputs[1].defaultText, "first");
    EXPECT_EQ(w.song.songName, "first");
    EXPECT_EQ(f().caption, kPrefix + "first");
}

TEST_F(FileCommands, OverwriteSaveAsksOnlyWhileTheSongHasNoName) {
    editedSong();
    w.ui.inputAnswer = "";
    f().saveMenu.click(); // right after start-up: asks, and the cancel writes nothing
    EXPECT_EQ(w.ui.inputs.size(), 1u);
    f().saveMenu.click(); // the cancel gave no name: asks again
    EXPECT_EQ(w.ui.inputs.size(), 2u);
    EXPECT_TRUE(w.modified());

    writeSong("listed.txt", {5});
    w.ui.answers = {Answer::No};
    w.clickListed("listed.txt");
    w.song.notes[1].key = 70;
    const std::string before = readBytes(w.folder / "listed.txt");
    f().saveMenu.click();
    EXPECT_EQ(w.ui.inputs.size(), 2u) << "no question once the list named the song";
    EXPECT_NE(readBytes(w.folder / "listed.txt"), before);
    EXPECT_EQ(w.song.fileName, "listed");
}

TEST_F(FileCommands, ARefusedSaveNameIsNeverTaken) {
    editedSong();
    w.ui.inputAnswer = "tune";
    f().saveAsMenu.click();
    ASSERT_TRUE(std::filesystem::exists(w.folder / "tune.txt"));
    w.markChanged();

    for (const std::string refused : {"a/b", "..", "say \"hi\""}) {
        w.ui.messages.clear();
        w.ui.inputAnswer = refused;
        EXPECT_FALSE(f().files.saveAs());
        EXPECT_EQ(w.ui.messages.size(), 1u) << refused;
        EXPECT_EQ(w.song.songName, "tune") << refused;
        EXPECT_EQ(f().caption, kPrefix + "tune") << refused;
    }
    // The overwrite save writes under the kept name without asking.
    w.ui.messages.clear();
    const size_t asked = w.ui.inputs.size();
    f().saveMenu.click();
    EXPECT_EQ(w.ui.inputs.size(), asked);
    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_FALSE(w.modified());
}

TEST_F(FileCommands, OverwriteSaveOfASongWithoutAUsableNameOpensTheSaveBox) {
    editedSong();
    w.ui.inputAnswer = "a/b"; // refused: the song stays unnamed
    f().saveAsMenu.click();
    EXPECT_FALSE(w.song.songName.has_value());
    EXPECT_EQ(f().caption, kPrefix + "新規作成");
    const size_t asked = w.ui.inputs.size();
    w.ui.messages.clear();
    w.ui.inputAnswer = "";
    f().saveMenu.click();
    EXPECT_EQ(w.ui.inputs.size(), asked + 1) << "asks instead of repeating the refusal";
    EXPECT_TRUE(w.ui.messages.empty());

    // A song opened from a file whose name cannot be saved under asks too.
    w.song.songName = "..";
    f().saveMenu.click();
    EXPECT_EQ(w.ui.inputs.size(), asked + 2);
    EXPECT_EQ(w.ui.inputs.back().defaultText, "..");
    EXPECT_TRUE(w.ui.messages.empty());
}

TEST_F(FileCommands, TheDesktopOptionSendsLaterSavesToTheDesktopFolder) {
    const auto desktop = w.folder / "desktop";
    f().folders.desktopFolder = desktop;
    f().saveToDesktopMenu.click();
    EXPECT_TRUE(f().saveToDesktopMenu.checked);
    EXPECT_TRUE(w.form->folders.saveToDesktop);
    w.ui.inputAnswer = "name";
    f().saveAsMenu.click();
    EXPECT_TRUE(std::filesystem::exists(desktop / "name.txt"));
    EXPECT_FALSE(std::filesystem::exists(w.folder / "name.txt"));
    f().saveToDesktopMenu.click();
    EXPECT_FALSE(w.form->folders.saveToDesktop);
}

TEST_F(FileCommands, ExitAndClosingAskOnlyAboutAChangedSong) {
    // Unchanged: no question; the device is reset and closed, the program ends.
    f().quitMenu.click();
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_TRUE(w.ui.ended);
    ASSERT_GE(w.midi->entries().size(), 2u);
    EXPECT_EQ(w.midi->entries().back().kind, RecordingMidiOut::Kind::Close);
    // The window then closes without a second question.
    EXPECT_TRUE(f().files.queryClose());
    EXPECT_TRUE(w.ui.questions.empty());

    // A changed song is asked about by its name, a never named one as new;
    // closing the window asks as Exit does, and No writes nothing.
    for (const std::string name : {"", "tune"}) {
        Window v;
        v.load();
        v.setNotes({note(1, 60, 12, 0)});
        v.markChanged();
        if (!name.empty()) v.song.songName = name;
        v.ui.answers = {Answer::No};
        if (name.empty()) {
            EXPECT_TRUE(v.form->files.queryClose());
        } else {
            v.form->quitMenu.click();
            EXPECT_TRUE(v.ui.ended);
        }
        EXPECT_EQ(v.ui.questions, std::vector<std::string>{(name.empty() ? "新規作成" : name) +
                                                           " は変更されています。保存しますか？"});
        EXPECT_TRUE(std::filesystem::is_empty(v.folder)) << name;
    }
}

TEST_F(FileCommands, ACancelledSaveKeepsTheWindowOpen) {
    editedSong();
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {""};
    EXPECT_FALSE(f().files.queryClose());
    EXPECT_EQ(w.midi->entries().back().kind, RecordingMidiOut::Kind::Reset)
        << "the device stays open for the window";
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));

    // Yes and a name: saved, and the window may close.
    w.ui.answers = {Answer::Yes};
    w.ui.inputAnswers = {"kept"};
    EXPECT_TRUE(f().files.queryClose());
    EXPECT_TRUE(std::filesystem::exists(w.folder / "kept.txt"));
    EXPECT_EQ(w.midi->entries().back().kind, RecordingMidiOut::Kind::Close);
}

TEST_F(FileCommands, TheExportButtonWritesAMidiFileTheImporterReadsBackAndSaysWhatItLeftOut) {
    // The first and the second beat.
    w.setNotes({note(3, 60, 12, 0), note(15, 64, 6, 0)});
    f().redrawScore();
    ASSERT_TRUE(f().exportButton.enabled);
    w.ui.inputAnswer = "tune";
    f().exportButton.click();
    ASSERT_EQ(w.ui.inputs.size(), 1u);
    EXPECT_EQ(w.ui.inputs[0].prompt, "ファイル名を入れてください。(拡張子はいらない)");
    EXPECT_EQ(w.ui.inputs[0].title, "新規保存");
    EXPECT_EQ(w.ui.inputs[0].defaultText, "");
    EXPECT_NE(std::find(f().fileList.items.begin(), f().fileList.items.end(), "tune.mid"),
              f().fileList.items.end());

    Song back;
    ImportingSongHost quiet;
    ASSERT_EQ(openFile(back, (w.folder / "tune.mid").string(), quiet), OpenStatus::Loaded);
    ASSERT_EQ(back.noteCount(), 2);
    EXPECT_EQ(back.notes[1].key, 60);
    EXPECT_EQ(back.notes[2].key, 64);
    EXPECT_EQ(back.notes[1].position, 3);
    EXPECT_EQ(back.notes[2].position, 15);

    // An empty name writes nothing and says nothing; a bad tempo only says so.
    w.ui.inputAnswer = "";
    f().exportButton.click();
    f().tempoBox.setText("20");
    f().exportButton.click();
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{"速さは30から600で選んでください"});
    EXPECT_EQ(w.ui.inputs.size(), 2u);

    // An export that leaves notes out says how many.
    f().tempoBox.setText("120");
    w.setNotes({note(1, 3, 12, 0), note(13, 60, 12, 0), note(25, 4, 12, 0)});
    f().redrawScore();
    f().transposeScrollBar.setValue(12); // twelve semitones down
    w.ui.inputAnswer = "low";
    f().exportButton.click();
    EXPECT_TRUE(std::filesystem::exists(w.folder / "low.mid"));
    EXPECT_EQ(f().statusLine.caption, "移調で音域（0～127）を外れた音符 2 個は書き出していません");
}

TEST_F(FileCommands, AnExportNeverChangesTheSongAndTellsWhatItLeftOut) {
    // A tempo change of 0, which a song file may hold but no MIDI file can.
    w.setNotes({note(1, 60, 12, 0)});
    w.song.changes = {
        ControlChange{}, {0, 120, kTempoChange}, {5, 0, kTempoChange}, {kEndMarkerPos, 0, 0}};
    w.song.changeCount = 2;
    f().redrawScore();
    w.click(xAt(12), yAt(0, 30)); // a second note, after the undo copy of the first
    ASSERT_EQ(w.song.noteCount(), 2);
    std::ofstream(w.folder / "err.txt") << "the user's own err.txt";
    const Song before = w.song;

    w.ui.inputAnswer = "faulty";
    f().exportButton.click();
    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_EQ(w.song.notes, before.notes) << "the export changed the song";
    EXPECT_EQ(w.song.changes, before.changes);
    EXPECT_EQ(readBytes(w.folder / "err.txt"), "the user's own err.txt");
    EXPECT_EQ(f().statusLine.caption,
              "MIDIファイルに書けない値（0 のテンポなど）1 個は書き出していません");
    // The file holds everything else.
    Song back;
    ImportingSongHost quiet;
    ASSERT_EQ(openFile(back, (w.folder / "faulty.mid").string(), quiet), OpenStatus::Loaded);
    EXPECT_EQ(back.noteCount(), 2);
}

TEST_F(FileCommands, AnotherSongsFileIsReplacedOnlyAfterAQuestion) {
    // A song opened from elsewhere whose name a song of the folder has.
    const auto elsewhere = w.folder / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    writeSong("tune.txt", {1, 2, 3, 4});
    std::filesystem::rename(w.folder / "tune.txt", elsewhere / "tune.txt");
    writeSong("tune.txt", {100});
    const std::string folderTune = readBytes(w.folder / "tune.txt");
    f().files.dropFiles({(elsewhere / "tune.txt").string()});
    const std::string caption = f().caption;
    w.click(xAt(24), yAt(0, 30));

    // Ctrl+S writes into the song folder, as always, but asks first; No keeps the file.
    w.ui.answers = {Answer::No};
    f().saveMenu.click();
    EXPECT_EQ(w.ui.questions,
              std::vector<std::string>{"tune.txt は既にあります。上書きしますか？"});
    EXPECT_EQ(readBytes(w.folder / "tune.txt"), folderTune);
    EXPECT_TRUE(w.modified());
    // Yes replaces it; from then on it is the song's own file and asks no more.
    w.ui.answers = {Answer::Yes};
    f().saveMenu.click();
    EXPECT_NE(readBytes(w.folder / "tune.txt"), folderTune);
    EXPECT_FALSE(w.modified());
    w.ui.questions.clear();
    w.click(xAt(36), yAt(0, 30));
    f().saveMenu.click();
    EXPECT_TRUE(w.ui.questions.empty());

    // Save As onto another song asks too, and No keeps the song's name.
    writeSong("other.txt", {7});
    w.ui.answers = {Answer::No};
    w.ui.inputAnswer = "other";
    EXPECT_FALSE(f().files.saveAs());
    EXPECT_EQ(w.ui.questions,
              std::vector<std::string>{"other.txt は既にあります。上書きしますか？"});
    EXPECT_EQ(w.song.songName, "tune");
    EXPECT_EQ(f().caption, caption);

    // The export asks before it replaces a MIDI file it did not write.
    std::ofstream(w.folder / "band.mid") << "someone's file";
    w.ui.questions.clear();
    w.ui.answers = {Answer::No};
    w.ui.inputAnswer = "band";
    f().exportButton.click();
    EXPECT_EQ(w.ui.questions,
              std::vector<std::string>{"band.mid は既にあります。上書きしますか？"});
    EXPECT_EQ(readBytes(w.folder / "band.mid"), "someone's file");
    // A file the song exported itself is replaced without a question.
    w.ui.inputAnswer = "mine";
    f().exportButton.click();
    w.ui.questions.clear();
    f().exportButton.click();
    EXPECT_TRUE(w.ui.questions.empty());
}

TEST_F(FileCommands, EscapeAtTheClosingQuestionKeepsTheWindowOpen) {
    editedSong();
    w.ui.answers = {Answer::Cancel};
    EXPECT_FALSE(f().files.queryClose());
    EXPECT_EQ(w.ui.questions,
              std::vector<std::string>{"新規作成 は変更されています。保存しますか？"});
    EXPECT_EQ(w.midi->entries().back().kind, RecordingMidiOut::Kind::Reset)
        << "the device stays open for the window";
    f().quitMenu.click();
    EXPECT_FALSE(w.ui.ended);
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 13}));
}

TEST_F(FileCommands, KeysAndClicksThatChangeNothingLeaveTheSongUnchanged) {
    // Keys over the staff, a click in the grey margin: no edit, no question.
    f().scoreMouseMove(0, 0, xAt(12), yAt(0, 30));
    f().scoreKeyDown('A', 0);
    f().scoreKeyDown('Q', 0);
    w.click(-100, -900);
    EXPECT_FALSE(w.modified());
    f().quitMenu.click();
    EXPECT_TRUE(w.ui.questions.empty());
    EXPECT_TRUE(w.ui.ended);
}

} // namespace
} // namespace vako::test
