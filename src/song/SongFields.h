// Reading a song text file field by field: fields are separated by commas and
// line ends, spaces before a field are skipped, a field that starts with a
// double quote runs to the next double quote (commas included), any other
// field runs to the next comma or line end.
#pragma once

#include "platform/ByteSource.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace vako {

class FieldReader {
public:
    // Reads the whole of `data`, which the caller keeps.
    explicit FieldReader(std::string_view data) : m_data(data) {}
    // Reads `source` piece by piece, so that a file of any size needs no more
    // memory than a piece and the field being read. A field that would hold
    // more than `mostBytesHeld` bytes is refused as an allocation failure
    // would be: std::bad_alloc.
    FieldReader(ByteSource& source, uint64_t mostBytesHeld)
        : m_source(&source), m_mostHeld(mostBytesHeld) {}

    // The next field's text (without its quotes), valid until the next call;
    // nullopt at the end of the data.
    std::optional<std::string_view> next();
    // Passes over the next field, holding none of it; false at the end of the data.
    bool skipNext();
    // Reads the next field as parseWholeNumber would read its text (nullopt
    // in `value` for no number), holding none of it; false at the end of the data.
    bool nextWholeNumber(std::optional<int64_t>& value);
    // Reads the next field and says which of `texts` (none with blanks) its
    // text is: the index, or -1 for none of them. Holds no more of it than
    // the longest of them. nullopt at the end of the data.
    std::optional<int> nextOneOf(std::span<const std::string_view> texts);
    // The next field when it is nothing but one to fifteen digits, the way
    // the editor writes every number: its value, the field read as next()
    // would. Otherwise nullopt, and nothing is read.
    std::optional<int64_t> nextPlainDigits() {
        beginCall();
        if (m_data.size() - m_pos < kPlainDigitsLookahead && m_source) fillLookahead();
        size_t i = m_pos;
        int64_t value = 0;
        while (i < m_data.size() && i - m_pos < 15 && m_data[i] >= '0' && m_data[i] <= '9')
            value = value * 10 + (m_data[i++] - '0');
        if (i == m_pos) return std::nullopt;
        if (i < m_data.size() && m_data[i] != ',' && m_data[i] != '\r' && m_data[i] != '\n')
            return std::nullopt;
        m_pos = i;
        skipDelimiter(m_base + m_pos);
        return value;
    }

    // Offset in the data of the next byte to read: the start of the next
    // field, or the blanks before it.
    uint64_t position() const { return m_base + m_pos; }
    // The line (1 = first) where the latest next, skipNext or nextPlainDigits
    // began to read. With `backOverBlanks` the last line with anything but
    // blanks and line ends up to there: where a file that ended early ends.
    int64_t lineOfLatestField(bool backOverBlanks) const;

private:
    // Fifteen digits, the byte after them and the line feed of a CR LF after that.
    static constexpr size_t kPlainDigitsLookahead = 17;

    void beginCall() {
        m_entry = m_base + m_pos;
        m_lineEndsAtEntry = m_lineEnds;
    }
    void fillLookahead();
    // Reads the next field without holding it, handing its text to `sink`.
    template <typename Sink> bool scanNext(Sink& sink);
    bool readMore(uint64_t keepFrom);
    void dropFront(size_t count);
    bool skipBlanks();
    void runToDelimiter(bool keep, uint64_t keepFrom);
    void runToQuote(bool keep, uint64_t keepFrom);
    void skipDelimiter(uint64_t keepFrom) {
        if (m_pos >= m_data.size()) return;
        const char c = m_data[m_pos];
        if (c == ',') {
            ++m_pos;
        } else if (c == '\n') {
            ++m_pos, ++m_lineEnds;
        } else if (c == '\r') {
            ++m_pos;
            if (m_pos == m_data.size() && m_source) readMore(keepFrom); // a line feed may follow
            if (m_pos < m_data.size() && m_data[m_pos] == '\n') ++m_pos, ++m_lineEnds;
        }
    }

    std::string_view m_data; // the bytes held: the whole data, or the pieces read and kept
    size_t m_pos = 0;        // index in m_data of the next byte to read
    uint64_t m_base = 0;     // offset in the data of m_data[0]
    int64_t m_lineEnds = 0;  // line feeds before m_pos
    uint64_t m_entry = 0;    // offset where the latest call began
    int64_t m_lineEndsAtEntry = 0;
    // Line feeds in the run of blanks and line ends at the end of the bytes
    // already let go, for a file that ends early.
    int64_t m_droppedBlankLineEnds = 0;

    ByteSource* m_source = nullptr; // while it may have more to give
    uint64_t m_mostHeld = 0;
    std::unique_ptr<char[]> m_store; // holds m_data when reading a source: m_held bytes
    size_t m_storeSize = 0;
    size_t m_held = 0;
};

// The whole number a field holds: optional blanks, an optional sign, digits and
// an optional fraction, rounded half to even as the program rounds. nullopt for
// anything else, an empty field included, and for values beyond +-2^53.
std::optional<int64_t> parseWholeNumber(std::string_view text);

} // namespace vako
