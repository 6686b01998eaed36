// The file commands of the main window: the file list `fileList`, files dropped on
// the score view, the background button `clearBackgroundButton`, the file menu (`newSongMenu`,
// `saveAsMenu`, `saveMenu`, `saveToDesktopMenu`, `quitMenu`), `mergeMenu`, closing the
// window, and the export button `exportButton`. The controls are the window's.
//
// No command throws away unsaved work without asking: opening another song,
// New, closing and Exit ask first, and when the save they start is cancelled
// or fails, nothing is discarded. No save replaces another song's file
// without asking, and nothing that cannot be opened costs the open song
// anything.
#include "view/FileCommands.h"
#include "midi/MidiFileWriter.h"
#include "midi/MusicXmlWriter.h"
#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/OpenFile.h"
#include "song/SongWriter.h"

#include "view/GeneralMidiNames.h"
#include "view/MainWindowModel.h"

namespace vako {
namespace {

// The name a song has until it is saved, as the caption and the closing question show it.
std::string newSongName() {
    return translated("新規作成");
}
std::string askSaveCurrent() {
    return translated("今編集中のデータは保存しますか？");
}
std::string askSaveChanged(const std::string& name) {
    return translated("{name} は変更されています。保存しますか？", {{"name", name}});
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
    if (m_window.mergeMenu.checked || !m_window.editor.isModified()) return true;
    const std::string name = m_window.song.songName.value_or("");
    return saveAnswered(
        m_window.ui().askYesNoCancel(name.empty() ? askSaveCurrent() : askSaveChanged(name)));
}

bool FileCommands::isOwnFile(const std::filesystem::path& path) const {
    for (const std::filesystem::path* own :
         {&m_openedFrom, &m_savedTo, &m_exportedTo, &m_scoreExportedTo, &m_pdfExportedTo}) {
        std::error_code ec;
        if (!own->empty() && std::filesystem::equivalent(path, *own, ec)) return true;
    }
    return false;
}

bool FileCommands::mayReplaceFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found)
        return true;
    if (isOwnFile(path)) return true;
    return m_window.ui().askYesNo(msg::alreadyExists(path.filename().string())) ==
           WindowSystem::Answer::Yes;
}

// ---------------------------------------------------------------------------
// Opening

bool FileCommands::openFromWindow(const std::string& path, const std::string& shownPath) {
    const bool merging = m_window.mergeMenu.checked && m_window.song.twiceNoteCount > 0;
    if (m_window.editor.open(path, m_window) != OpenStatus::Loaded) return false;
    m_window.showNewSong();
    if (merging) return true; // the open song keeps its name, files and caption
    m_window.editor.setSongName(songNameFromPath(shownPath));
    m_window.setCaption(translated(msg::kCaptionPrefix) + shownPath);
    m_openedFrom = path;
    m_savedTo.clear();
    m_exportedTo.clear();
    return true;
}

void FileCommands::showBackground(const std::string& path) {
    // The background of the staff; the song stays as it is. What is no
    // regular file (a pipe named .jpg) is refused before the picture reader
    // could wait on it.
    if (const auto reason = whyUnreadable(path)) {
        m_window.showMessage(msg::cannotRead(path, *reason));
        return;
    }
    if (!m_window.tilePicture(path)) {
        m_window.showMessage(msg::cannotRead(path, translated(msg::kReasonNotPicture)));
        return;
    }
    m_window.redrawScore();
    m_window.clearBackgroundButton.visible = true;
}

void FileCommands::openPath(const std::string& path, const std::string& shownPath) {
    m_window.commitTextBoxes();
    switch (fileKindOf(path)) {
    case FileKind::Picture:
        showBackground(path);
        return;
    case FileKind::Other:
        // Refused, the song untouched; a file that is missing or cannot be
        // read says why, one that can says what it is not.
        m_window.showMessage(
            msg::cannotRead(path, whyUnreadable(path).value_or(translated(msg::kReasonNotOpenable))));
        return;
    case FileKind::SongText:
    case FileKind::MidiFile:
        break;
    }
    if (!askToSaveBeforeReplacing()) return;
    openFromWindow(path, shownPath);
}

void FileCommands::openSelectedFile() {
    const int i = m_window.fileList.listIndex;
    if (i < 0 || i >= static_cast<int>(m_window.fileList.items.size())) return;
    const std::string name = m_window.fileList.items[static_cast<size_t>(i)];
    // The list shows the song folder; the caption shows the name as listed.
    openPath((m_window.folders.songFolder / name).string(), name);
}

void FileCommands::dropFiles(const std::vector<std::string>& paths) {
    if (paths.empty() || !m_window.scoreViewAcceptsDrops) return;
    openPath(paths.front(), paths.front());
}

void FileCommands::openAtStartup(const std::string& path) {
    openPath(path, path);
}

void FileCommands::clearBackground() {
    m_window.canvas.dropPersistentPicture();
    m_window.clearBackgroundButton.visible = false;
    m_window.redrawScore();
}

// ---------------------------------------------------------------------------
// New and saving

void FileCommands::newSong() {
    m_window.commitTextBoxes();
    if (m_window.editor.isModified() &&
        !saveAnswered(m_window.ui().askYesNoCancel(askSaveCurrent())))
        return;
    // The new song has no notes and no name, so no save can write it over
    // the file of the song before. Its tempo, texts, instruments and control
    // changes stay as the start of the next song.
    m_window.editor.newSong();
    m_window.editor.setSongName(std::nullopt);
    m_window.editor.setFileName("");
    m_openedFrom.clear();
    m_savedTo.clear();
    m_exportedTo.clear();
    m_window.setCaption(translated(msg::kCaptionPrefix) + newSongName());
    m_window.showNewSong();
    m_window.redrawScore();
}

bool FileCommands::saveAs() {
    m_window.commitTextBoxes();
    const std::string name =
        m_window.inputBox(
            translated("ファイル名を入れてください。拡張子は不要。データはテキスト形式で保存されます。"),
            translated("保存"), m_window.song.songName.value_or(""));
    // A cancelled box (or an empty name) writes nothing and keeps the song's
    // name, so a later overwrite save still knows where the song belongs.
    if (name.empty()) return false;
    // A name the save refuses, or another song's file the user keeps, is
    // never taken: the song keeps the name (and the caption) it had, so the
    // next overwrite save does not repeat the refusal.
    const std::string oldFileName = m_window.song.fileName;
    const std::optional<std::string> oldSongName = m_window.song.songName;
    const std::string oldCaption = m_window.caption;
    m_window.editor.setFileName(name);
    m_window.editor.setSongName(name);
    m_window.setCaption(translated(msg::kCaptionPrefix) + name);
    const SaveStatus status = writeSong();
    if (status == SaveStatus::BadName || status == SaveStatus::NotReplaced) {
        m_window.editor.setFileName(oldFileName);
        m_window.editor.setSongName(oldSongName);
        m_window.setCaption(oldCaption);
    }
    return status == SaveStatus::Written;
}

SaveStatus FileCommands::writeSong() {
    const SaveStatus status = SaveSong(m_window.song, m_window.folders, m_window);
    if (status == SaveStatus::Written) {
        m_savedTo = songFilePath(m_window.song, m_window.folders);
        m_window.editor.markSaved();
    }
    return status;
}

void FileCommands::save() {
    m_window.commitTextBoxes();
    // A name no file can have (a song opened from a file whose name the save
    // refuses) asks for another, as an unnamed song does.
    if (m_window.song.songName && isUsableFileName(*m_window.song.songName)) {
        m_window.editor.setFileName(*m_window.song.songName);
        writeSong();
        return;
    }
    saveAs();
}

// ---------------------------------------------------------------------------
// The end

bool FileCommands::queryClose() {
    if (m_window.deviceClosed()) return true; // Exit asked already; the window now closes
    m_window.commitTextBoxes();
    // Playback ends first: its recording joins the song, so a save keeps it.
    m_window.stopForClosing();
    if (m_window.editor.isModified()) {
        // A song never named is called what the caption calls it. Cancel
        // (Escape, or the box closed) keeps the window open.
        const std::string name = m_window.song.songName.value_or("");
        const WindowSystem::Answer answer =
            m_window.ui().askYesNoCancel(askSaveChanged(name.empty() ? newSongName() : name));
        if (answer == WindowSystem::Answer::Cancel) return false;
        if (answer == WindowSystem::Answer::Yes && !saveAs()) return false;
    }
    m_window.closeDevice();
    return true;
}

void FileCommands::quit() {
    if (queryClose()) m_window.ui().endProgram();
}

// ---------------------------------------------------------------------------
// Export

void FileCommands::exportMidiFile() {
    m_window.commitTextBoxes();
    const ExportOutcome outcome = ExportMidiFile(m_window.song, m_window.transposeScrollBar.value,
                                                 m_window.folders, m_window);
    if (outcome.status != ExportStatus::Written) return;
    m_exportedTo = outcome.path;
    // The read-out under the staff says what the file lacks.
    if (const std::string text = leftOutText(outcome); !text.empty())
        m_window.statusLine.caption = text;
}

void FileCommands::exportMusicXml() {
    m_window.commitTextBoxes();
    const std::string name = m_window.song.songName.value_or("");
    const std::filesystem::path suggested =
        m_window.folders.saveFolder() / ((name.empty() ? "score" : name) + ".musicxml");
    std::string chosen =
        m_window.ui().saveFileBox(translated(msg::kMusicXmlExportTitle), suggested.string(), msg::kMusicXmlFilter);
    if (chosen.empty()) return;
    std::filesystem::path path(chosen);
    if (!path.has_extension()) path += ".musicxml";
    if (!mayReplaceFile(path)) return;

    MusicXmlOptions options;
    // Black keys as the "入力する音" choice enters them; without one, by the fixed rule.
    if (m_window.accidentalOptions[1].checked) options.spelling = KeySpelling::Sharps;
    if (m_window.accidentalOptions[2].checked) options.spelling = KeySpelling::Flats;
    options.pitchShift = m_window.transposeScrollBar.value;
    options.programName = programNameOnly;
    MusicXmlReport report;
    std::string score = buildMusicXml(m_window.song, options, report);
    // A name ending in ".mxl" asks for the compressed form.
    if (!report.tooLong && (path.extension() == ".mxl" || path.extension() == ".MXL"))
        score = packMusicXmlArchive(score);
    if (report.tooLong || score.empty()) {
        m_window.ui().messageBox(msg::scoreTooLong(kMusicXmlMaxBars));
        return;
    }
    const WriteOutcome written = writeFileAtomically(path, score);
    if (!written.ok) {
        m_window.ui().messageBox(msg::cannotWrite(
            path.string(), msg::writeFailureReason(written.errorNumber, written.error)));
        return;
    }
    m_scoreExportedTo = path;
    if (report.notesLeftOut > 0) m_window.statusLine.caption = notesLeftOutText(report.notesLeftOut);
}

void FileCommands::printScore() {
    m_window.commitTextBoxes();
    const WindowSystem::PrintOutcome outcome = m_window.ui().printScore(
        m_window.song, m_window.paperLook(), layOutScore(m_window.song, kPaperA4, {}).songPages);
    if (outcome == WindowSystem::PrintOutcome::Failed)
        m_window.ui().messageBox(translated(msg::kNotPrinted));
}

void FileCommands::exportPdf() {
    m_window.commitTextBoxes();
    const std::string name = m_window.song.songName.value_or("");
    const std::filesystem::path suggested =
        m_window.folders.saveFolder() / ((name.empty() ? "score" : name) + ".pdf");
    const std::string chosen = m_window.ui().saveFileBox(translated(msg::kPdfExportTitle),
                                                         suggested.string(), msg::kPdfFilter);
    if (chosen.empty()) return;
    std::filesystem::path path(chosen);
    if (!path.has_extension()) path += ".pdf";
    if (!mayReplaceFile(path)) return;
    const std::string pdf = m_window.ui().scorePdf(m_window.song, m_window.paperLook(), {});
    if (pdf.empty()) {
        m_window.ui().messageBox(translated(msg::kPdfNotMade));
        return;
    }
    const WriteOutcome written = writeFileAtomically(path, pdf);
    if (!written.ok) {
        m_window.ui().messageBox(msg::cannotWrite(
            path.string(), msg::writeFailureReason(written.errorNumber, written.error)));
        return;
    }
    m_pdfExportedTo = path;
}

} // namespace vako
