// Texts the song's file operations show. The first ones are the program's
// long-standing messages, character for character (blanks and full stops
// included); the last ones belong to the safety checks of saving. The
// constants are the Japanese texts, the keys of the catalog; what a user sees
// passes through `translated` (the functions here do it themselves).
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/Translation.h"

namespace vako::msg {

// The program's name, the title of its message boxes.
inline const std::string kProgramName = markForTranslation("ヴァコヴァコMIDI");
inline const std::string kCaptionPrefix = markForTranslation("ヴァコヴァコMIDI ～ ");
inline const std::string kCannotRead = markForTranslation("そのファイルは読み込めません");
inline const std::string kWrongMagic = markForTranslation("これはヴァコヴァコMIDIのデータではありません");
// The error dump's message names the file it wrote: "err.txt" as always, or
// "err-2.txt" and on when an older dump (or a file of the user's) has that name.
inline std::string errorSaved(const std::string& dumpFileName) {
    return translated("エラーが出ました。エラーが出る直前のデータを{file}に保存しました。",
                      {{"file", dumpFileName}});
}
// The status line after a save: the song's name (without ".txt").
inline std::string savedAs(const std::string& fileName) {
    return translated("{name}.txt にデータを保存しました", {{"name", fileName}});
}
inline const std::string kTempoRange = markForTranslation("速さは30から600で選んでください");

// Why a file could not be read: the second line of the read-failure message.
inline const std::string kReasonMissing = markForTranslation("ファイルがありません");
inline const std::string kReasonFolder = markForTranslation("フォルダです");
inline const std::string kReasonNotAFile = markForTranslation("通常のファイルではありません");
inline const std::string kReasonNoPermission = markForTranslation("読む権限がありません");
inline const std::string kReasonNotMidi = markForTranslation("MIDIファイルではありません");
inline const std::string kReasonNotPicture = markForTranslation("画像として読めません");
inline const std::string kReasonNotSongOrMidi =
    markForTranslation("曲のファイル（.txt）でもMIDIファイル（.mid）でもありません");
inline const std::string kReasonNotOpenable =
    markForTranslation("曲のファイル（.txt）、MIDIファイル（.mid）、画像のどれでもありません");
inline const std::string kReasonOutOfMemory = markForTranslation("メモリが足りません。曲は読み込む前のままです");
inline std::string reasonTooLarge(uint64_t size, uint64_t limit) {
    return translated("大きすぎます（{size} バイト。{limit} バイトまでです）",
                      {{"size", std::to_string(size)}, {"limit", std::to_string(limit)}});
}
inline std::string reasonEndsAtLine(int64_t line) {
    return translated("ファイルが {line} 行目で途切れています", {{"line", std::to_string(line)}});
}
inline std::string reasonBadLine(int64_t line) {
    return translated("{line} 行目の値が読めません", {{"line", std::to_string(line)}});
}
inline std::string reasonStoppedNearByte(uint64_t ordinal) {
    return translated("{byte} バイト目のあたりで読めなくなりました",
                      {{"byte", std::to_string(ordinal)}});
}
// The read-failure message: the long-standing text, then the file and why
// (`reason` as shown, already in the language in use).
inline std::string cannotRead(const std::string& path, const std::string& reason) {
    return translated(kCannotRead) + "\n" +
           translated("{path}（{reason}）", {{"path", path}, {"reason", reason}});
}
// The wrong-magic message, then the file.
inline std::string wrongMagic(const std::string& path) {
    return translated(kWrongMagic) + "\n" + path;
}

// Exporting a score for notation programs.
inline const std::string kMusicXmlExportTitle = markForTranslation("MusicXMLに書き出す");
inline const std::string kMusicXmlFilter = "MusicXML (*.musicxml *.mxl)";
inline const std::string kPdfExportTitle = markForTranslation("PDFに書き出す");
inline const std::string kPdfFilter = "PDF (*.pdf)";
inline const std::string kPdfNotMade = markForTranslation("PDFを作れませんでした");
inline const std::string kNotPrinted = markForTranslation("印刷できませんでした");
inline std::string scoreTooLong(int64_t bars) {
    return translated("曲が長すぎて楽譜にできません（{bars} 小節までです）", {{"bars", std::to_string(bars)}});
}

// A save name that would leave the folder or that the file system refuses.
inline std::string badFileName(const std::string& name) {
    return translated(
        "「{name}」という名前では保存できません。/ \\ \" などの記号を使わない名前を入れてください。",
        {{"name", name}});
}
// Why no error dump was written: err.txt and err-2.txt to err-9999.txt are all taken.
inline const std::string kReasonNoFreeName = markForTranslation("空いている名前がありません");
// The question before a save replaces a file that is not the song's own.
inline std::string alreadyExists(const std::string& fileName) {
    return translated("{file} は既にあります。上書きしますか？", {{"file", fileName}});
}
// Why a file could not be written, for the causes a user can act on; the
// system's own text for the others.
inline const std::string kReasonReadOnlyFileSystem = markForTranslation("読み取り専用のファイルシステムです");
inline const std::string kReasonNoWritePermission = markForTranslation("書く権限がありません");
inline std::string writeFailureReason(int errorNumber, const std::string& systemText) {
    if (errorNumber == EROFS) return translated(kReasonReadOnlyFileSystem);
    if (errorNumber == EACCES || errorNumber == EPERM) return translated(kReasonNoWritePermission);
    return systemText;
}
// The file could not be written; the old file (if any) is unchanged.
inline std::string cannotWrite(const std::string& path, const std::string& reason) {
    return translated("{path} に保存できませんでした。（{reason}）", {{"path", path}, {"reason", reason}});
}

// Selecting, copying and moving notes on the staff: the read-out beside the
// note count, and why an operation on the selection did nothing.
inline std::string selectedCount(int64_t count) {
    return translated("{count} 個選択中", {{"count", std::to_string(count)}});
}
inline const std::string kMoveBeforeStart = markForTranslation("曲の最初より前には動かせません");
inline const std::string kMoveKeyRange = markForTranslation("音の高さは0から119までです");
inline const std::string kNothingToPaste = markForTranslation("貼り付ける音符がクリップボードにありません");
inline const std::string kPasteWhere = markForTranslation("貼り付ける位置に譜面の上でポインタを置いてください");
inline const std::string kTooManyNotes = markForTranslation("音符が多すぎます");
// The read-out with the reason after it (the reason alone without a selection).
inline std::string selectionRefused(int64_t count, const std::string& reason) {
    return count == 0 ? translated(reason)
                      : translated("{count} 個選択中　{reason}",
                                   {{"count", std::to_string(count)}, {"reason", translated(reason)}});
}

// How the song is heard while playing: the menu "再生", the part buttons'
// right-click menu and the marks on them, the bar numbers' right-click menu.
inline const std::string kListeningMenu = markForTranslation("再生");
inline const std::string kMetronome = markForTranslation("メトロノーム");
inline const std::string kCountIn = markForTranslation("カウントイン");
inline const std::string kClearMuteAndSolo = markForTranslation("ミュートとソロを解除");
inline const std::string kMute = markForTranslation("ミュート");
inline const std::string kSolo = markForTranslation("ソロ");
inline const std::string kMutedMark = "M"; // after the part's caption on its buttons
inline const std::string kSoloedMark = "S";
inline const std::string kPlayFromBar = markForTranslation("この小節から再生");
inline const std::string kLoopFromBar = markForTranslation("この小節からループ");
inline const std::string kLoopToBar = markForTranslation("この小節までループ");
inline const std::string kClearLoop = markForTranslation("ループを解除");

} // namespace vako::msg
