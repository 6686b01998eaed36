// The file commands of the main window: the file list `fileList`, files dropped on
// the score view, the background button `clearBackgroundButton`, the file menu (`newSongMenu`,
// `saveAsMenu`, `saveMenu`, `saveToDesktopMenu`, `quitMenu`), `mergeMenu`, closing the
// window, and the export button `exportButton`.
//
// No command throws away unsaved notes without asking: opening another song,
// New, Exit and closing ask first, and when the save they start is cancelled
// or fails, nothing is discarded.
#include "midi/MidiFileWriter.h"
#include "midi/MidiImport.h"
#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/OpenFile.h"
#include "song/SongWriter.h"
#include "view/MainWindowModel.h"

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
bool MainWindowModel::saveAnswered(WindowSystem::Answer answer) {
    switch (answer) {
    case WindowSystem::Answer::Yes:
        return saveAs();
    case WindowSystem::Answer::No:
        return true;
    case WindowSystem::Answer::Cancel:
        return false;
    }
    return false;
}

bool MainWindowModel::askToSaveBeforeReplacing() {
    // A merge keeps the open song, so it has nothing to lose.
    if (mergeMenu.checked || song.modified != 1) return true;
    const std::string name = song.songName.value_or("");
    return saveAnswered(
        m_ui.askYesNoCancel(name.empty() ? kAskSaveCurrent : name + kChangedSuffix));
}

MidiFileReading MainWindowModel::readMidiFile(Song& song, std::string_view bytes) {
    return readMidiFileInto(song, bytes);
}

bool MainWindowModel::openFromWindow(const std::string& path, const std::string& shownPath) {
    const bool merging = mergeMenu.checked && song.twiceNoteCount > 0;
    const std::string captionBefore = caption;
    const OpenStatus status = openFile(song, path, *this);
    // A failed load brings notes back without a redraw: the hover must know
    // their order all the same.
    m_notesOrdered = notesInPositionOrder(song);
    if (status == OpenStatus::ReadFailure && mergeMenu.checked) {
        // The open song stayed as it was; so do its name and caption.
        setCaption(captionBefore);
        return false;
    }
    setCaption(msg::kCaptionPrefix + shownPath);
    showSongFields();
    if (status == OpenStatus::ReadFailure) return true;
    // The question before the load was the last chance to keep the old
    // edits; a merged song holds notes no file has yet.
    song.modified = merging ? 1 : 0;
    return true;
}

// ---------------------------------------------------------------------------
// Opening

void MainWindowModel::openSelectedFile() {
    const int i = fileList.listIndex;
    if (i < 0 || i >= static_cast<int>(fileList.items.size())) return;
    const std::string name = fileList.items[static_cast<size_t>(i)];
    if (!askToSaveBeforeReplacing()) return;
    // The list shows the song folder; the caption shows the name as listed.
    if (!openFromWindow((folders.songFolder / name).string(), name)) return;
    song.songName = songNameFromPath(name);
    undoMenu.enabled = false;
}

void MainWindowModel::dropFiles(const std::vector<std::string>& paths) {
    if (paths.empty() || !scoreViewAcceptsDrops) return;
    const std::string& path = paths.front();
    if (isPicturePath(path)) {
        // The background of the staff; the song stays as it is.
        if (!tilePicture(path)) {
            showMessage(msg::cannotRead(path, msg::kReasonNotPicture));
            return;
        }
        redrawScore();
        clearBackgroundButton.visible = true;
        return;
    }
    if (!askToSaveBeforeReplacing()) return;
    if (!openFromWindow(path, path)) return;
    song.songName = songNameFromPath(path);
}

void MainWindowModel::clearBackground() {
    canvas.dropPersistentPicture();
    clearBackgroundButton.visible = false;
    redrawScore();
}

// ---------------------------------------------------------------------------
// New and saving

void MainWindowModel::newSong() {
    setCaption(kNewCaption);
    if (!saveAnswered(m_ui.askYesNoCancel(kAskSaveCurrent))) return;
    for (Note& r : song.notes) r = Note{};
    song.twiceNoteCount = 0;
    setCaption(kNewCaption); // a save on the way named the old song
    redrawScore();
    undoMenu.enabled = false;
}

bool MainWindowModel::saveAs() {
    const std::string name = inputBox(kSavePrompt, kSaveTitle, song.songName.value_or(""));
    // A cancelled box (or an empty name) writes nothing and keeps the song's
    // name, so a later overwrite save still knows where the song belongs.
    if (name.empty()) return false;
    // A name the save refuses is never taken: the song keeps the name (and the
    // caption) it had, so the next overwrite save does not repeat the refusal.
    const std::string oldFileName = song.fileName;
    const std::optional<std::string> oldSongName = song.songName;
    const std::string oldCaption = caption;
    song.fileName = name;
    song.songName = name;
    setCaption(msg::kCaptionPrefix + name);
    const SaveStatus status = SaveSong(song, folders, *this);
    if (status == SaveStatus::BadName) {
        song.fileName = oldFileName;
        song.songName = oldSongName;
        setCaption(oldCaption);
    }
    return status == SaveStatus::Written;
}

void MainWindowModel::save() {
    // A name no file can have (a song opened from a file whose name the save
    // refuses) asks for another, as an unnamed song does.
    if (song.songName && isUsableFileName(*song.songName)) {
        song.fileName = *song.songName;
        SaveSong(song, folders, *this);
        return;
    }
    saveAs();
}

// ---------------------------------------------------------------------------
// The end

bool MainWindowModel::queryClose() {
    if (m_unloaded) return true; // Exit asked already; the window now closes
    // Playback ends first: its recorded hits join the song, so a save keeps them.
    m_playback->stop();
    m_device->reset();
    if (song.modified == 1) {
        // A song never named is called what the caption calls it.
        const std::string name = song.songName.value_or("");
        const WindowSystem::Answer answer =
            m_ui.askYesNo((name.empty() ? kNewSongName : name) + kChangedSuffix);
        if (answer == WindowSystem::Answer::Yes && !saveAs()) return false;
    }
    m_device->close();
    m_unloaded = true;
    return true;
}

void MainWindowModel::quit() {
    if (queryClose()) m_ui.endProgram();
}

// ---------------------------------------------------------------------------
// Export

void MainWindowModel::exportMidiFile() {
    const ExportOutcome outcome = ExportMidiFile(song, transposeScrollBar.value, folders, *this);
    // The error path put the notes back from the undo copy: show them.
    if (outcome.faulted) redrawScore();
    // The read-out under the staff says what the file lacks.
    if (outcome.status == ExportStatus::Written && outcome.notesLeftOut > 0)
        statusLine.caption = notesLeftOutText(outcome.notesLeftOut);
}

} // namespace vako
