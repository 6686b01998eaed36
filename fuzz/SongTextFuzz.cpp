// Any bytes handed to the song text file reader: it must end in a song, a
// wrong-magic report or a read failure, never touch memory it does not own,
// and leave the song's counts within its arrays. Read piece by piece, as a
// file is, the bytes must give exactly what their whole image gives.
#include "song/OpenFile.h"
#include "song/SongReader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <tuple>

namespace {

// The bytes in pieces of one to 64 bytes, the sizes taken from the bytes.
class Pieces : public vako::ByteSource {
public:
    explicit Pieces(std::string_view data) : m_data(data), m_sizes(data) {}
    size_t read(char* into, size_t count) override {
        const size_t piece = m_sizes.empty() ? 64 : 1 + static_cast<uint8_t>(m_sizes[0]) % 64;
        if (!m_sizes.empty()) m_sizes.remove_prefix(1);
        const size_t n = std::min({count, piece, m_data.size()});
        std::memcpy(into, m_data.data(), n);
        m_data.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_data, m_sizes;
};

auto contentOf(const vako::Song& s) {
    return std::tie(s.notes, s.twiceNoteCount, s.changes, s.changeCount, s.partPrograms,
                    s.partVolumes, s.grid, s.quartersPerBar, s.tempoText, s.copyrightText,
                    s.sequenceNameText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vako::Song song;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const vako::SongTextOutcome outcome = vako::readSongText(song, bytes);

    vako::Song streamed;
    Pieces pieces(bytes);
    const vako::SongTextOutcome streamedOutcome =
        vako::readSongText(streamed, pieces, size, UINT64_MAX);
    if (std::tie(outcome.status, outcome.version, outcome.failureLine, outcome.endedEarly) !=
            std::tie(streamedOutcome.status, streamedOutcome.version, streamedOutcome.failureLine,
                     streamedOutcome.endedEarly) ||
        contentOf(song) != contentOf(streamed))
        std::abort();

    if (outcome.status == vako::SongTextStatus::Read) {
        if (song.notes.size() < static_cast<size_t>(song.noteCount()) + 1) std::abort();
        if (song.changes.size() < static_cast<size_t>(song.changeCount) + 1) std::abort();
        vako::sortChords(song);
    }
    return 0;
}
