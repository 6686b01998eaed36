// The file commands of the main window: the file list `File1`, files dropped on
// the score view, the background button `Command2`, the file menu (`新規作成`,
// `保存`, `上書き保存`, `デスクトップに上書き保存`, `終了`), `曲の合成`, closing the
// window, and the export button `Command1`.
//
// No command throws away unsaved notes without asking: opening another song,
// New, Exit and closing ask first, and when the save they start is cancelled
// or fails, nothing is discarded.
#include "midi/MidiFileWriter.h"
#include "platform/AtomicFile.h"
#include "midi/MidiImport.h"
#include "song/Messages.h"
#include "song/OpenF.h"
#include "song/SongWriter.h"
#include "view/Formmain.h"

namespace vako {
namespace {

const std::string kNewSongName = "新規作成";
const std::string kNewCaption = "ヴァコヴァコMIDI ～ " + kNewSongName;
const std::string kAskSaveCurrent = "今編集中のデータは保存しますか？";
const std::string kChangedSuffix = " は変更されています。保存しますか？";
const std::string kSavePrompt =
    "ファイル名を入れてください。拡張子は不要。データはテキスト形式で保存されます。";
const std::string kSaveTitle = "保存";

// Pictures become the background; everything else is opened as a song.
bool isPicturePath(const std::string& path) {
    if (path.size() < 4) return false;
    const std::string ext = path.substr(path.size() - 4);
    return ext == ".jpg" || ext == ".JPG" || ext == ".bmp" || ext == ".BMP";
}

} // namespace

// ---------------------------------------------------------------------------
// Asking before the song is replaced

// Yes saves (false when that save was cancelled or failed), No goes on
// without saving, Cancel keeps everything.
bool Formmain::saveAnswered(WindowSystem::Answer answer) {
    switch (answer) {
    case WindowSystem::Answer::Yes:
        return 保存_Click();
    case WindowSystem::Answer::No:
        return true;
    case WindowSystem::Answer::Cancel:
        return false;
    }
    return false;
}

bool Formmain::askToSaveBeforeReplacing() {
    // A merge keeps the open song, so it has nothing to lose.
    if (曲の合成.checked || song.bytModified != 1) return true;
    const std::string name = song.varSongName.value_or("");
    return saveAnswered(
        m_ui.askYesNoCancel(name.empty() ? kAskSaveCurrent : name + kChangedSuffix));
}

MidiFileReading Formmain::readMidiFile(Song& song, std::string_view bytes) {
    return readMidiFileInto(song, bytes);
}

bool Formmain::openFromWindow(const std::string& path, const std::string& shownPath) {
    const bool merging = 曲の合成.checked && song.varNoteCountX2 > 0;
    const std::string captionBefore = caption;
    const OpenStatus status = OpenF(song, path, *this);
    // A failed load brings notes back without a redraw: the hover must know
    // their order all the same.
    m_notesOrdered = notesInPositionOrder(song);
    if (status == OpenStatus::ReadFailure && 曲の合成.checked) {
        // The open song stayed as it was; so do its name and caption.
        setCaption(captionBefore);
        return false;
    }
    setCaption(msg::kCaptionPrefix + shownPath);
    showSongFields();
    if (status == OpenStatus::ReadFailure) return true;
    // The question before the load was the last chance to keep the old
    // edits; a merged song holds notes no file has yet.
    song.bytModified = merging ? 1 : 0;
    return true;
}

// ---------------------------------------------------------------------------
// Opening

void Formmain::File1_Click() {
    const int i = File1.listIndex;
    if (i < 0 || i >= static_cast<int>(File1.items.size())) return;
    const std::string name = File1.items[static_cast<size_t>(i)];
    if (!askToSaveBeforeReplacing()) return;
    // The list shows the song folder; the caption shows the name as listed.
    if (!openFromWindow((folders.songFolder / name).string(), name)) return;
    song.varSongName = songNameFromPath(name);
    やり直し.enabled = false;
}

void Formmain::Picture1_OLEDragDrop(const std::vector<std::string>& paths) {
    if (paths.empty() || !picture1AcceptsDrops) return;
    const std::string& path = paths.front();
    if (isPicturePath(path)) {
        // The background of the staff; the song stays as it is.
        if (!tilePicture(path)) {
            showMessage(msg::cannotRead(path, msg::kReasonNotPicture));
            return;
        }
        線引き();
        Command2.visible = true;
        return;
    }
    if (!askToSaveBeforeReplacing()) return;
    if (!openFromWindow(path, path)) return;
    song.varSongName = songNameFromPath(path);
}

void Formmain::Command2_Click() {
    canvas.dropPersistentPicture();
    Command2.visible = false;
    線引き();
}

// ---------------------------------------------------------------------------
// New and saving

void Formmain::新規作成_Click() {
    setCaption(kNewCaption);
    if (!saveAnswered(m_ui.askYesNoCancel(kAskSaveCurrent))) return;
    for (NoteRec& r : song.udtNotes) r = NoteRec{};
    song.varNoteCountX2 = 0;
    setCaption(kNewCaption); // a save on the way named the old song
    線引き();
    やり直し.enabled = false;
}

bool Formmain::保存_Click() {
    const std::string name = inputBox(kSavePrompt, kSaveTitle, song.varSongName.value_or(""));
    // A cancelled box (or an empty name) writes nothing and keeps the song's
    // name, so a later overwrite save still knows where the song belongs.
    if (name.empty()) return false;
    // A name the save refuses is never taken: the song keeps the name (and the
    // caption) it had, so the next overwrite save does not repeat the refusal.
    const std::string oldFileName = song.strFileName;
    const std::optional<std::string> oldSongName = song.varSongName;
    const std::string oldCaption = caption;
    song.strFileName = name;
    song.varSongName = name;
    setCaption(msg::kCaptionPrefix + name);
    const SaveStatus status = SaveSong(song, folders, *this);
    if (status == SaveStatus::BadName) {
        song.strFileName = oldFileName;
        song.varSongName = oldSongName;
        setCaption(oldCaption);
    }
    return status == SaveStatus::Written;
}

void Formmain::上書き保存_Click() {
    // A name no file can have (a song opened from a file whose name the save
    // refuses) asks for another, as an unnamed song does.
    if (song.varSongName && isUsableFileName(*song.varSongName)) {
        song.strFileName = *song.varSongName;
        SaveSong(song, folders, *this);
        return;
    }
    保存_Click();
}

// ---------------------------------------------------------------------------
// The end

bool Formmain::Form_QueryUnload() {
    if (m_unloaded) return true; // Exit asked already; the window now closes
    // Playback ends first: its recorded hits join the song, so a save keeps them.
    m_playback->stop();
    m_device->reset();
    if (song.bytModified == 1) {
        // A song never named is called what the caption calls it.
        const std::string name = song.varSongName.value_or("");
        const WindowSystem::Answer answer =
            m_ui.askYesNo((name.empty() ? kNewSongName : name) + kChangedSuffix);
        if (answer == WindowSystem::Answer::Yes && !保存_Click()) return false;
    }
    m_device->close();
    m_unloaded = true;
    return true;
}

void Formmain::終了_Click() {
    if (Form_QueryUnload()) m_ui.endProgram();
}

// ---------------------------------------------------------------------------
// Export

void Formmain::Command1_MouseDown() {
    const ExportOutcome outcome = ExportMidiFile(song, VScroll3.value, folders, *this);
    // The error path put the notes back from the undo copy: show them.
    if (outcome.faulted) 線引き();
    // The read-out under the staff says what the file lacks.
    if (outcome.status == ExportStatus::Written && outcome.notesLeftOut > 0)
        Label1.caption = notesLeftOutText(outcome.notesLeftOut);
}

} // namespace vako
