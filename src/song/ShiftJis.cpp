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

} // namespace

std::string toShiftJis(std::string_view utf8) {
    static Converter converter("CP932", "UTF-8");
    return converter.convert(utf8, "?", utf8SequenceLength);
}

std::string fromShiftJis(std::string_view sjis) {
    static Converter converter("UTF-8", "CP932");
    return converter.convert(sjis, "\xEF\xBF\xBD", [](std::string_view) { return size_t{1}; });
}

} // namespace vako
