// Reading a song text file field by field: fields are separated by commas and
// line ends, spaces before a field are skipped, a field that starts with a
// double quote runs to the next double quote (commas included), any other
// field runs to the next comma or line end.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vako {

class FieldReader {
public:
    explicit FieldReader(std::string_view data) : m_data(data) {}

    // The next field's text (without its quotes); nullopt at the end of the data.
    std::optional<std::string_view> next();
    // The next field when it is nothing but one to fifteen digits, the way
    // the editor writes every number: its value, the field read as next()
    // would. Otherwise nullopt, and nothing is read.
    std::optional<int64_t> nextPlainDigits() {
        size_t i = m_pos;
        int64_t value = 0;
        while (i < m_data.size() && i - m_pos < 15 && m_data[i] >= '0' && m_data[i] <= '9')
            value = value * 10 + (m_data[i++] - '0');
        if (i == m_pos) return std::nullopt;
        if (i < m_data.size() && m_data[i] != ',' && m_data[i] != '\r' && m_data[i] != '\n')
            return std::nullopt;
        m_pos = i;
        skipDelimiter();
        return value;
    }
    // Offset of the next byte to read: the start of the next field, or the
    // blanks before it.
    size_t position() const { return m_pos; }

private:
    void skipDelimiter();

    std::string_view m_data;
    size_t m_pos = 0;
};

// The whole number a field holds: optional blanks, an optional sign, digits and
// an optional fraction, rounded half to even as the program rounds. nullopt for
// anything else, an empty field included, and for values beyond +-2^53.
std::optional<int64_t> parseWholeNumber(std::string_view text);

} // namespace vako
