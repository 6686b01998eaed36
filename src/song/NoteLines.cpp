#include "song/NoteLines.h"

#include <charconv>
#include <cstdint>

namespace vako {
namespace {

// The fields of one line, split at commas.
std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

std::optional<int64_t> wholeNumber(std::string_view field, int64_t lo, int64_t hi) {
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    int64_t v = 0;
    const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
    if (r.ec != std::errc{} || r.ptr != field.data() + field.size() || v < lo || v > hi)
        return std::nullopt;
    return v;
}

// A scaled value as the song file reads it: the field times `factor`, within a byte.
std::optional<uint8_t> scaled(std::string_view field, int factor) {
    const auto v = wholeNumber(field, 0, 255 / factor);
    if (!v) return std::nullopt;
    return static_cast<uint8_t>(*v * factor);
}

} // namespace

std::string formatNoteLines(const std::vector<Note>& notes) {
    std::string out = kNoteLinesHead + "\r\n";
    out.reserve(out.size() + notes.size() * 32);
    int64_t number = 0;
    for (const Note& n : notes) {
        for (const int64_t v : {++number, int64_t{n.position}, int64_t{n.key}, int64_t{n.length}}) {
            out += std::to_string(v);
            out += ',';
        }
        out += "\"   \"";
        for (const int v : {int{n.part}, n.velocity / 6, n.pan / 16, n.modulation / 50}) {
            out += ',';
            out += std::to_string(v);
        }
        out += "\r\n";
    }
    return out;
}

std::optional<std::vector<Note>> readNoteLines(std::string_view text) {
    std::vector<Note> notes;
    bool headRead = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!headRead) {
            if (line != kNoteLinesHead) return std::nullopt;
            headRead = true;
            continue;
        }
        if (line.empty()) continue;
        const auto f = fieldsOf(line);
        if (f.size() != 9) return std::nullopt;
        const auto position = wholeNumber(f[1], INT32_MIN, INT32_MAX);
        const auto key = wholeNumber(f[2], 0, kNoteOffBase - 1);
        const auto length = wholeNumber(f[3], INT32_MIN, INT32_MAX);
        const auto part = wholeNumber(f[5], 0, kPartCount - 1);
        const auto velocity = scaled(f[6], 6);
        const auto pan = scaled(f[7], 16);
        const auto modulation = scaled(f[8], 50);
        if (!position || !key || !length || !part || !velocity || !pan || !modulation)
            return std::nullopt;
        notes.push_back(Note{static_cast<int32_t>(*position), static_cast<uint8_t>(*key),
                             static_cast<int32_t>(*length), static_cast<uint8_t>(*part), *velocity,
                             *pan, *modulation});
    }
    if (!headRead) return std::nullopt;
    return notes;
}

} // namespace vako
