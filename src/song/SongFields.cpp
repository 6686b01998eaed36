#include "song/SongFields.h"

namespace vako {

std::optional<std::string_view> FieldReader::next() {
    while (m_pos < m_data.size() && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t')) ++m_pos;
    if (m_pos >= m_data.size()) return std::nullopt;

    std::string_view field;
    if (m_data[m_pos] == '"') {
        const size_t start = m_pos + 1;
        size_t end = m_data.find('"', start);
        if (end == std::string_view::npos) end = m_data.size();
        field = m_data.substr(start, end - start);
        m_pos = end < m_data.size() ? end + 1 : end;
        // Anything between the closing quote and the next delimiter is dropped.
        while (m_pos < m_data.size() && m_data[m_pos] != ',' && m_data[m_pos] != '\r' &&
               m_data[m_pos] != '\n')
            ++m_pos;
    } else {
        const size_t start = m_pos;
        while (m_pos < m_data.size() && m_data[m_pos] != ',' && m_data[m_pos] != '\r' &&
               m_data[m_pos] != '\n')
            ++m_pos;
        field = m_data.substr(start, m_pos - start);
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t'))
            field.remove_suffix(1);
    }
    skipDelimiter();
    return field;
}

void FieldReader::skipDelimiter() {
    if (m_pos >= m_data.size()) return;
    if (m_data[m_pos] == ',') {
        ++m_pos;
    } else if (m_data[m_pos] == '\r') {
        ++m_pos;
        if (m_pos < m_data.size() && m_data[m_pos] == '\n') ++m_pos;
    } else if (m_data[m_pos] == '\n') {
        ++m_pos;
    }
}

std::optional<int64_t> parseWholeNumber(std::string_view text) {
    constexpr int64_t kLimit = int64_t{1} << 53;
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i++] - '0');
        if (value > kLimit) return std::nullopt;
        ++digits;
    }
    // The fraction decides the rounding: above one half up, one half exactly to even.
    int cmpHalf = -1; // fraction compared with 0.5
    if (i < text.size() && text[i] == '.') {
        ++i;
        bool first = true, restNonZero = false;
        int firstDigit = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            if (first)
                firstDigit = text[i] - '0', first = false;
            else if (text[i] != '0')
                restNonZero = true;
            ++i, ++digits;
        }
        if (firstDigit > 5 || (firstDigit == 5 && restNonZero))
            cmpHalf = 1;
        else if (firstDigit == 5)
            cmpHalf = 0;
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (digits == 0 || i != text.size()) return std::nullopt;
    if (cmpHalf > 0 || (cmpHalf == 0 && value % 2 != 0)) ++value;
    return negative ? -value : value;
}

} // namespace vako
