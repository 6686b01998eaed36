// Texts the song's file operations show. The first ones are the program's
// long-standing messages, character for character (blanks and full stops
// included); the last ones belong to the safety checks of saving.
#pragma once

#include <string>

namespace vako::msg {

inline const std::string kCaptionPrefix = "ヴァコヴァコMIDI ～ ";
inline const std::string kCannotRead = "そのファイルは読み込めません";
inline const std::string kWrongMagic = "これはヴァコヴァコMIDIのデータではありません";
inline const std::string kErrorSaved =
    "エラーが出ました。エラーが出る直前のデータをerr.txtに保存しました。";
inline const std::string kExportErrorSaved =
    "エラーでmidi作成ができません。エラー前のデータをerr.txtに保存しました。";
inline const std::string kPleaseSendErr =
    "お手数ですが、説明書記載のアドレスにerr.txtをお送りください｡ ";
inline const std::string kSavedSuffix = ".txt にデータを保存しました";
inline const std::string kHowToOpen1 =
    "データを読みこむには、右下のボックスでデータ名をクリックするか、";
inline const std::string kHowToOpen2 = "楽譜にデータをドラッグ＆ドロップしてください。";
inline const std::string kTempoRange = "速さは30から600で選んでください";

// A save name that would leave the folder or that the file system refuses.
inline std::string badFileName(const std::string& name) {
    return "「" + name +
           "」という名前では保存できません。/ \\ \" などの記号を使わない名前を入れてください。";
}
// The file could not be written; the old file (if any) is unchanged.
inline std::string cannotWrite(const std::string& path, const std::string& reason) {
    return path + " に保存できませんでした。（" + reason + "）";
}

} // namespace vako::msg
