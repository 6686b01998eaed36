#include "cli/OpenSong.h"

#include "midi/MidiImport.h"
#include "song/Messages.h"
#include "song/OpenFile.h"
#include "song/Song.h"

#include <iostream>

namespace vako::cli {

namespace {

// The editor's messages and status texts go to stderr; everything else the
// window would show is silent.
class MessageHost : public ImportingSongHost {
public:
    void showMessage(const std::string& text) override { std::cerr << text << '\n'; }
    void showStatus(const std::string& text) override { std::cerr << text << '\n'; }
};

} // namespace

bool openSong(Song& song, const std::string& path) {
    MessageHost host;
    switch (openFile(song, path, host)) {
    case OpenStatus::Loaded:
        return true;
    case OpenStatus::Picture:
    case OpenStatus::NotASong:
        std::cerr << msg::cannotRead(path, translated(msg::kReasonNotSongOrMidi)) << '\n';
        return false;
    case OpenStatus::WrongMagic:
    case OpenStatus::ReadFailure:
        return false;
    }
    return false;
}

} // namespace vako::cli
