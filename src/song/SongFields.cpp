#include "song/SongFields.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace vako {

namespace {

// The read pieces of a source: they start small, for the many small files,
// and grow with what was read up to a size large enough that reading costs
// little beside the parsing and small enough to stay in the processor's caches.
constexpr size_t kFirstPieceBytes = 4096;
constexpr size_t kPieceBytes = 256 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDelimiter(char c) {
    return c == ',' || c == '\r' || c == '\n';
}
bool isBlankOrLineEnd(char c) {
    return isBlank(c) || c == '\r' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// How parseWholeNumber reads a text, one character after the other, so that
// a field can be read as a number without being held.
class WholeNumberText {
public:
    void add(char c) {
        switch (m_stage) {
        case Stage::Leading:
            if (c == ' ') return;
            if (c == '+' || c == '-') {
                m_negative = c == '-';
                m_stage = Stage::Sign;
                return;
            }
            [[fallthrough]];
        case Stage::Sign:
        case Stage::Digits:
            if (isDigit(c)) {
                m_value = m_value * 10 + (c - '0');
                ++m_digits;
                m_stage = m_value > kLimit ? Stage::Bad : Stage::Digits;
            } else if (c == '.') {
                m_stage = Stage::Fraction;
            } else {
                m_stage = c == ' ' ? Stage::Trailing : Stage::Bad;
            }
            return;
        case Stage::Fraction:
            if (isDigit(c)) {
                if (m_firstFractionDigit < 0)
                    m_firstFractionDigit = c - '0';
                else if (c != '0')
                    m_restOfFractionNonZero = true;
                ++m_digits;
            } else {
                m_stage = c == ' ' ? Stage::Trailing : Stage::Bad;
            }
            return;
        case Stage::Trailing:
            if (c != ' ') m_stage = Stage::Bad;
            return;
        case Stage::Bad:
            return;
        }
    }
    void add(std::string_view text) {
        for (size_t i = 0; i < text.size() && m_stage != Stage::Bad; ++i) add(text[i]);
    }
    std::optional<int64_t> value() const {
        if (m_stage == Stage::Bad || m_digits == 0) return std::nullopt;
        // The fraction decides the rounding: above one half up, one half exactly to even.
        const bool aboveHalf =
            m_firstFractionDigit > 5 || (m_firstFractionDigit == 5 && m_restOfFractionNonZero);
        const bool half = m_firstFractionDigit == 5 && !m_restOfFractionNonZero;
        const int64_t rounded = m_value + (aboveHalf || (half && m_value % 2 != 0) ? 1 : 0);
        return m_negative ? -rounded : rounded;
    }

private:
    static constexpr int64_t kLimit = int64_t{1} << 53;
    // Blanks, then a sign, digits, a fraction after '.', blanks; Bad for anything else.
    enum class Stage { Leading, Sign, Digits, Fraction, Trailing, Bad };
    Stage m_stage = Stage::Leading;
    bool m_negative = false;
    int64_t m_value = 0;
    size_t m_digits = 0; // of the whole part and the fraction
    int m_firstFractionDigit = -1;
    bool m_restOfFractionNonZero = false;
};

// What a field read without being held hands its text to: the parts of it in
// order, and for blanks in it that are not held their number and whether a
// tab was among them.
struct NoText {
    void text(std::string_view) {}
    void blanks(uint64_t, bool) {}
};

struct NumberOfText {
    WholeNumberText number;
    void text(std::string_view part) { number.add(part); }
    void blanks(uint64_t, bool tab) { number.add(tab ? '\t' : ' '); }
};

// The text, as long as it is at most `longest` bytes without blanks.
struct ShortText {
    size_t longest = 0;
    std::string kept;
    bool other = false; // longer, or with blanks
    void text(std::string_view part) {
        if (other || kept.size() + part.size() > longest)
            other = true;
        else
            kept += part;
    }
    void blanks(uint64_t, bool) { other = true; }
};

} // namespace

void FieldReader::fillLookahead() {
    while (m_data.size() - m_pos < kPlainDigitsLookahead && readMore(m_base + m_pos)) {}
}

bool FieldReader::readMore(uint64_t keepFrom) {
    if (!m_source) return false;
    dropFront(static_cast<size_t>(keepFrom - m_base));
    if (m_held > m_mostHeld) throw std::bad_alloc();
    const size_t piece =
        static_cast<size_t>(std::clamp<uint64_t>(m_base + m_held, kFirstPieceBytes, kPieceBytes));
    if (m_storeSize < m_held + piece) {
        // A long field grows the store by doubling, up to the bound.
        const uint64_t grown = std::max<uint64_t>(m_held + piece, 2 * m_storeSize);
        m_storeSize = static_cast<size_t>(std::min<uint64_t>(grown, m_mostHeld + piece));
        auto store = std::make_unique_for_overwrite<char[]>(m_storeSize);
        if (m_held > 0) std::memcpy(store.get(), m_store.get(), m_held);
        m_store = std::move(store);
    }
    const size_t n = m_source->read(m_store.get() + m_held, piece);
    m_held += n;
    m_data = std::string_view(m_store.get(), m_held);
    if (n == 0) m_source = nullptr;
    return n > 0;
}

void FieldReader::dropFront(size_t count) {
    if (count == 0) return;
    size_t k = count;
    int64_t lineEnds = 0;
    while (k > 0 && isBlankOrLineEnd(m_store[k - 1])) lineEnds += m_store[--k] == '\n';
    m_droppedBlankLineEnds = k == 0 ? m_droppedBlankLineEnds + lineEnds : lineEnds;
    std::memmove(m_store.get(), m_store.get() + count, m_held - count);
    m_held -= count;
    m_data = std::string_view(m_store.get(), m_held);
    m_base += count;
    m_pos -= count;
}

bool FieldReader::skipBlanks() {
    for (;;) {
        while (m_pos < m_data.size() && isBlank(m_data[m_pos])) ++m_pos;
        if (m_pos < m_data.size()) return true;
        if (!readMore(m_base + m_pos)) return false;
    }
}

void FieldReader::runToDelimiter(bool keep, uint64_t keepFrom) {
    for (;;) {
        const char* const data = m_data.data();
        const char* p = data + m_pos;
        const char* const end = data + m_data.size();
        while (p < end && !isDelimiter(*p)) ++p;
        m_pos = static_cast<size_t>(p - data);
        if (p < end || !readMore(keep ? keepFrom : m_base + m_pos)) return;
    }
}

void FieldReader::runToQuote(bool keep, uint64_t keepFrom) {
    for (;;) {
        const size_t quote = m_data.find('"', m_pos);
        const size_t stop = quote == std::string_view::npos ? m_data.size() : quote;
        m_lineEnds += std::count(m_data.begin() + m_pos, m_data.begin() + stop, '\n');
        m_pos = stop;
        if (quote != std::string_view::npos || !readMore(keep ? keepFrom : m_base + m_pos)) return;
    }
}

std::optional<std::string_view> FieldReader::next() {
    beginCall();
    if (!skipBlanks()) return std::nullopt;
    uint64_t start = m_base + m_pos, end = 0;
    if (m_data[m_pos] == '"') {
        ++start, ++m_pos;
        runToQuote(true, start);
        end = m_base + m_pos;
        if (m_pos < m_data.size()) ++m_pos;
        // Anything between the closing quote and the next delimiter is dropped.
        runToDelimiter(true, start);
    } else {
        runToDelimiter(true, start);
        end = m_base + m_pos;
        while (end > start && isBlank(m_data[end - 1 - m_base])) --end;
    }
    skipDelimiter(start);
    return m_data.substr(static_cast<size_t>(start - m_base), static_cast<size_t>(end - start));
}

template <typename Sink> bool FieldReader::scanNext(Sink& sink) {
    if (!skipBlanks()) return false;
    if (m_data[m_pos] == '"') {
        ++m_pos;
        for (;;) {
            const size_t from = m_pos;
            const size_t quote = m_data.find('"', from);
            m_pos = quote == std::string_view::npos ? m_data.size() : quote;
            m_lineEnds += std::count(m_data.begin() + from, m_data.begin() + m_pos, '\n');
            sink.text(m_data.substr(from, m_pos - from));
            if (quote != std::string_view::npos || !readMore(m_base + m_pos)) break;
        }
        if (m_pos < m_data.size()) ++m_pos;
        runToDelimiter(false, 0);
    } else {
        // Blanks count only when more text follows them: a field's last blanks are not its text.
        uint64_t blanks = 0;
        bool tab = false;
        for (;;) {
            const char* const data = m_data.data();
            const char* const end = data + m_data.size();
            const char* p = data + m_pos;
            while (p < end && !isDelimiter(*p)) {
                const char* const from = p;
                while (p < end && !isDelimiter(*p) && !isBlank(*p)) ++p;
                if (p > from) {
                    if (blanks > 0) sink.blanks(blanks, tab);
                    blanks = 0, tab = false;
                    sink.text(std::string_view(from, static_cast<size_t>(p - from)));
                }
                for (; p < end && isBlank(*p); ++p) ++blanks, tab = tab || *p == '\t';
            }
            m_pos = static_cast<size_t>(p - data);
            if (p < end || !readMore(m_base + m_pos)) break;
        }
    }
    skipDelimiter(m_base + m_pos);
    return true;
}

bool FieldReader::skipNext() {
    beginCall();
    // Most fields (a note's number, its blank text "   ") and the byte after
    // them are held already: passed here in one go, or else from the start
    // again across the pieces.
    const char* const data = m_data.data();
    const char* const end = data + m_data.size();
    const char* p = data + m_pos;
    while (p < end && isBlank(*p)) ++p;
    int64_t lineEnds = 0;
    if (p < end && *p == '"') {
        ++p;
        while (p < end && *p != '"') lineEnds += *p++ == '\n';
        if (p < end) ++p;
    }
    while (p < end && !isDelimiter(*p)) ++p;
    if (p + 1 < end) {
        m_lineEnds += lineEnds;
        m_pos = static_cast<size_t>(p - data);
        skipDelimiter(m_base + m_pos);
        return true;
    }
    NoText none;
    return scanNext(none);
}

bool FieldReader::nextWholeNumber(std::optional<int64_t>& value) {
    beginCall();
    NumberOfText number;
    if (!scanNext(number)) return false;
    value = number.number.value();
    return true;
}

std::optional<int> FieldReader::nextOneOf(std::span<const std::string_view> texts) {
    beginCall();
    ShortText field;
    for (const std::string_view text : texts) field.longest = std::max(field.longest, text.size());
    if (!scanNext(field)) return std::nullopt;
    for (size_t i = 0; i < texts.size(); ++i)
        if (!field.other && field.kept == texts[i]) return static_cast<int>(i);
    return -1;
}

int64_t FieldReader::lineOfLatestField(bool backOverBlanks) const {
    int64_t lineEnds = m_lineEndsAtEntry;
    if (backOverBlanks) {
        // Blanks the latest call passed may have been let go already; they hold no line end.
        size_t k = m_entry > m_base ? static_cast<size_t>(m_entry - m_base) : 0;
        while (k > 0 && isBlankOrLineEnd(m_data[k - 1])) lineEnds -= m_data[--k] == '\n';
        if (k == 0) lineEnds -= m_droppedBlankLineEnds;
    }
    return 1 + lineEnds;
}

std::optional<int64_t> parseWholeNumber(std::string_view text) {
    WholeNumberText number;
    number.add(text);
    return number.value();
}

} // namespace vako
