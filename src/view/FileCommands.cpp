// The file commands of the main window: the file list `fileList`, files dropped on
// the score view, the background button `clearBackgroundButton`, the file menu (`newSongMenu`,
// `saveAsMenu`, `saveMenu`, `saveToDesktopMenu`, `quitMenu`), `mergeMenu`, closing the
// window, and the export button `exportButton`. The controls are the window's.
//
// No command throws away unsaved notes without asking: opening another song,
// New, Exit and closing ask first, and when the save they start is cancelled
// or fails, nothing is discarded.
#include "view/FileCommands.h"
#include "midi/MidiFileWriter.h"
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
bool FileCommands::saveAnswered(WindowSystem::Answer answer) {
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

bool FileCommands::askToSaveBeforeReplacing() {
    // A merge keeps the open song, so it has nothing to lose.
    if (m_window.mergeMenu.checked || m_window.song.modified != 1) return true;
    const std::string name = m_window.song.songName.value_or("");
    return saveAnswered(
        m_window.m_ui.askYesNoCancel(name.empty() ? kAskSaveCurrent : name + kChangedSuffix));
}

bool FileCommands::openFromWindow(const std::string& path, const std::string& shownPath) {
    const bool merging = m_window.mergeMenu.checked && m_window.song.twiceNoteCount > 0;
    const std::string captionBefore = m_window.caption;
    // A merge is one step of the history; another song starts an empty one.
    // A failed load keeps the history, with what the failure changed as a
    // step of its own, so the steps before it still fit the song.
    OpenStatus status = OpenStatus::ReadFailure;
    m_window.recordEdit(EditScope::everything(),
                        [&] { status = openFile(m_window.song, path, m_window); });
    if (status != OpenStatus::ReadFailure && !merging) m_window.history.clear();
    m_window.showUndoState();
    // A failed load brings notes back without a redraw: the hover must know
    // their order all the same.
    m_window.m_notesOrdered = notesInPositionOrder(m_window.song);
    if (status == OpenStatus::ReadFailure && m_window.mergeMenu.checked) {
        // The open song stayed as it was; so do its name and caption.
        m_window.setCaption(captionBefore);
        return false;
    }
    m_window.setCaption(msg::kCaptionPrefix + shownPath);
    m_window.showSongFields();
    if (status == OpenStatus::ReadFailure) return true;
    // The question before the load was the last chance to keep the old
    // edits; a merged song holds notes no file has yet.
    m_window.song.modified = merging ? 1 : 0;
    return true;
}

// ---------------------------------------------------------------------------
// Opening

void FileCommands::openSelectedFile() {
    const int i = m_window.fileList.listIndex;
    if (i < 0 || i >= static_cast<int>(m_window.fileList.items.size())) return;
    const std::string name = m_window.fileList.items[static_cast<size_t>(i)];
    if (!askToSaveBeforeReplacing()) return;
    // The list shows the song folder; the caption shows the name as listed.
    if (!openFromWindow((m_window.folders.songFolder / name).string(), name)) return;
    m_window.song.songName = songNameFromPath(name);
}

void FileCommands::dropFiles(const std::vector<std::string>& paths) {
    if (paths.empty() || !m_window.scoreViewAcceptsDrops) return;
    const std::string& path = paths.front();
    if (isPicturePath(path)) {
        // The background of the staff; the song stays as it is.
        if (!m_window.tilePicture(path)) {
            m_window.showMessage(msg::cannotRead(path, msg::kReasonNotPicture));
            return;
        }
        m_window.redrawScore();
        m_window.clearBackgroundButton.visible = true;
        return;
    }
    if (!askToSaveBeforeReplacing()) return;
    if (!openFromWindow(path, path)) return;
    m_window.song.songName = songNameFromPath(path);
}

void FileCommands::clearBackground() {
    m_window.canvas.dropPersistentPicture();
    m_window.clearBackgroundButton.visible = false;
    m_window.redrawScore();
}

// ---------------------------------------------------------------------------
// New and saving

void FileCommands::newSong() {
    m_window.setCaption(kNewCaption);
    if (!saveAnswered(m_window.m_ui.askYesNoCancel(kAskSaveCurrent))) return;
    for (Note& r : m_window.song.notes) r = Note{};
    m_window.song.twiceNoteCount = 0;
    m_window.setCaption(kNewCaption); // a save on the way named the old song
    m_window.history.clear();
    m_window.showUndoState();
    m_window.redrawScore();
}

bool FileCommands::saveAs() {
    const std::string name =
        m_window.inputBox(kSavePrompt, kSaveTitle, m_window.song.songName.value_or(""));
    // A cancelled box (or an empty name) writes nothing and keeps the song's
    // name, so a later overwrite save still knows where the song belongs.
    if (name.empty()) return false;
    // A name the save refuses is never taken: the song keeps the name (and the
    // caption) it had, so the next overwrite save does not repeat the refusal.
    const std::string oldFileName = m_window.song.fileName;
    const std::optional<std::string> oldSongName = m_window.song.songName;
    const std::string oldCaption = m_window.caption;
    m_window.song.fileName = name;
    m_window.song.songName = name;
    m_window.setCaption(msg::kCaptionPrefix + name);
    const SaveStatus status = SaveSong(m_window.song, m_window.folders, m_window);
    if (status == SaveStatus::BadName) {
        m_window.song.fileName = oldFileName;
        m_window.song.songName = oldSongName;
        m_window.setCaption(oldCaption);
    }
    if (status != SaveStatus::Written) return false;
    m_window.history.markSaved();
    return true;
}

void FileCommands::save() {
    // A name no file can have (a song opened from a file whose name the save
    // refuses) asks for another, as an unnamed song does.
    if (m_window.song.songName && isUsableFileName(*m_window.song.songName)) {
        m_window.song.fileName = *m_window.song.songName;
        if (SaveSong(m_window.song, m_window.folders, m_window) == SaveStatus::Written)
            m_window.history.markSaved();
        return;
    }
    saveAs();
}

// ---------------------------------------------------------------------------
// The end

bool FileCommands::queryClose() {
    if (m_window.m_unloaded) return true; // Exit asked already; the window now closes
    // Playback ends first: its recorded hits join the song, so a save keeps them.
    m_window.m_playback->stop();
    m_window.endPlaybackStep();
    m_window.m_device->reset();
    if (m_window.song.modified == 1) {
        // A song never named is called what the caption calls it.
        const std::string name = m_window.song.songName.value_or("");
        const WindowSystem::Answer answer =
            m_window.m_ui.askYesNo((name.empty() ? kNewSongName : name) + kChangedSuffix);
        if (answer == WindowSystem::Answer::Yes && !saveAs()) return false;
    }
    m_window.m_device->close();
    m_window.m_unloaded = true;
    return true;
}

void FileCommands::quit() {
    if (queryClose()) m_window.m_ui.endProgram();
}

// ---------------------------------------------------------------------------
// Export

void FileCommands::exportMidiFile() {
    const ExportOutcome outcome = ExportMidiFile(m_window.song, m_window.transposeScrollBar.value,
                                                 m_window.folders, m_window);
    // The error path put the notes back from the undo copy: show them.
    if (outcome.faulted) m_window.redrawScore();
    // The read-out under the staff says what the file lacks.
    if (outcome.status == ExportStatus::Written && outcome.notesLeftOut > 0)
        m_window.statusLine.caption = notesLeftOutText(outcome.notesLeftOut);
}

} // namespace vako
