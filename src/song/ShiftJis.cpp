#include "song/ShiftJis.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace vako {
namespace {

// One iconv conversion descriptor, opened on first use and kept for the run.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; at an input sequence iconv cannot take, skips `skipBytes(in)`
    // bytes and appends `replacement`.
    template <typename Skip>
    std::string convert(std::string_view in, std::string_view replacement, Skip skipBytes) {
        std::string out;
        out.reserve(in.size() * 2 + 8);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t r = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, dst - buffer);
            if (r != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL: a sequence that cannot be converted, or a cut-off one.
            const size_t skip = std::min(srcLeft, skipBytes(std::string_view(src, srcLeft)));
            src += skip;
            srcLeft -= skip;
            out.append(replacement);
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t m_cd;
};

size_t utf8SequenceLength(std::string_view s) {
    const unsigned char b = s[0];
    size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (b >= 0x80 && b < 0xC0) n = 1; // stray continuation byte
    size_t i = 1;
    while (i < n && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    return i;
}

bool isAscii(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

// Whether the converter leaves every byte below 0x80 as it is, so that plain
// ASCII text need not go through it.
template <typename Convert>
bool keepsAscii(Convert convert) {
    std::string ascii(128, '\0');
    for (int c = 0; c < 128; ++c) ascii[c] = static_cast<char>(c);
    return convert(ascii) == ascii;
}

} // namespace

std::string toShiftJis(std::string_view utf8) {
    static Converter converter("CP932", "UTF-8");
    const auto convert = [](std::string_view in) {
        return converter.convert(in, "?", utf8SequenceLength);
    };
    static const bool asciiKept = keepsAscii(convert);
    if (!asciiKept) return convert(utf8);
    // A UTF-8 sequence never holds a byte below 0x80, so the text splits at
    // ASCII bytes into runs copied as they are and runs converted.
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        size_t end = i;
        const bool ascii = isAscii(utf8[i]);
        while (end < utf8.size() && isAscii(utf8[end]) == ascii) ++end;
        if (ascii)
            out.append(utf8, i, end - i);
        else
            out += convert(utf8.substr(i, end - i));
        i = end;
    }
    return out;
}

std::string fromShiftJis(std::string_view sjis) {
    static Converter converter("UTF-8", "CP932");
    const auto convert = [](std::string_view in) {
        return converter.convert(in, "\xEF\xBF\xBD", [](std::string_view) { return size_t{1}; });
    };
    // The second byte of a double-byte character may lie below 0x80: only a
    // text that is ASCII throughout is taken as it is.
    static const bool asciiKept = keepsAscii(convert);
    if (asciiKept && std::all_of(sjis.begin(), sjis.end(), isAscii)) return std::string(sjis);
    return convert(sjis);
}

} // namespace vako
