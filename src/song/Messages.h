// Texts the song's file operations show. The first ones are the program's
// long-standing messages, character for character (blanks and full stops
// included); the last ones belong to the safety checks of saving.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

namespace vako::msg {

inline const std::string kCaptionPrefix = "ヴァコヴァコMIDI ～ ";
inline const std::string kCannotRead = "そのファイルは読み込めません";
inline const std::string kWrongMagic = "これはヴァコヴァコMIDIのデータではありません";
// The error dump's message names the file it wrote: "err.txt" as always, or
// "err-2.txt" and on when an older dump (or a file of the user's) has that name.
inline std::string errorSaved(const std::string& dumpFileName) {
    return "エラーが出ました。エラーが出る直前のデータを" + dumpFileName + "に保存しました。";
}
inline const std::string kSavedSuffix = ".txt にデータを保存しました";
inline const std::string kTempoRange = "速さは30から600で選んでください";

// Why a file could not be read: the second line of the read-failure message.
inline const std::string kReasonMissing = "ファイルがありません";
inline const std::string kReasonFolder = "フォルダです";
inline const std::string kReasonNotAFile = "通常のファイルではありません";
inline const std::string kReasonNoPermission = "読む権限がありません";
inline const std::string kReasonNotMidi = "MIDIファイルではありません";
inline const std::string kReasonNotPicture = "画像として読めません";
inline const std::string kReasonNotSongOrMidi =
    "曲のファイル（.txt）でもMIDIファイル（.mid）でもありません";
inline const std::string kReasonNotOpenable =
    "曲のファイル（.txt）、MIDIファイル（.mid）、画像のどれでもありません";
inline const std::string kReasonOutOfMemory = "メモリが足りません。曲は読み込む前のままです";
inline std::string reasonTooLarge(uint64_t size, uint64_t limit) {
    return "大きすぎます（" + std::to_string(size) + " バイト。" + std::to_string(limit) +
           " バイトまでです）";
}
inline std::string reasonEndsAtLine(int64_t line) {
    return "ファイルが " + std::to_string(line) + " 行目で途切れています";
}
inline std::string reasonBadLine(int64_t line) {
    return std::to_string(line) + " 行目の値が読めません";
}
inline std::string reasonStoppedNearByte(uint64_t ordinal) {
    return std::to_string(ordinal) + " バイト目のあたりで読めなくなりました";
}
// The read-failure message: the long-standing text, then the file and why.
inline std::string cannotRead(const std::string& path, const std::string& reason) {
    return kCannotRead + "\n" + path + "（" + reason + "）";
}
// The wrong-magic message, then the file.
inline std::string wrongMagic(const std::string& path) {
    return kWrongMagic + "\n" + path;
}

// Exporting a score for notation programs.
inline const std::string kMusicXmlExportTitle = "MusicXMLに書き出す";
inline const std::string kMusicXmlFilter = "MusicXML (*.musicxml *.mxl)";
inline std::string scoreTooLong(int64_t bars) {
    return "曲が長すぎて楽譜にできません（" + std::to_string(bars) + " 小節までです）";
}

// A save name that would leave the folder or that the file system refuses.
inline std::string badFileName(const std::string& name) {
    return "「" + name +
           "」という名前では保存できません。/ \\ \" などの記号を使わない名前を入れてください。";
}
// Why no error dump was written: err.txt and err-2.txt to err-9999.txt are all taken.
inline const std::string kReasonNoFreeName = "空いている名前がありません";
// The question before a save replaces a file that is not the song's own.
inline std::string alreadyExists(const std::string& fileName) {
    return fileName + " は既にあります。上書きしますか？";
}
// Why a file could not be written, for the causes a user can act on; the
// system's own text for the others.
inline const std::string kReasonReadOnlyFileSystem = "読み取り専用のファイルシステムです";
inline const std::string kReasonNoWritePermission = "書く権限がありません";
inline std::string writeFailureReason(int errorNumber, const std::string& systemText) {
    if (errorNumber == EROFS) return kReasonReadOnlyFileSystem;
    if (errorNumber == EACCES || errorNumber == EPERM) return kReasonNoWritePermission;
    return systemText;
}
// The file could not be written; the old file (if any) is unchanged.
inline std::string cannotWrite(const std::string& path, const std::string& reason) {
    return path + " に保存できませんでした。（" + reason + "）";
}

} // namespace vako::msg
