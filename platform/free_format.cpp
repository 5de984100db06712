#include "platform/free_format.h"

#include <charconv>

#include "platform/number_rules.h"

namespace sylvane::platform {

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}
} // namespace

bool FreeFormatReader::atEnd() const {
    std::size_t p = m_pos;
    while (p < m_data.size() && (isBlank(m_data[p]) || isLineEnd(m_data[p]))) ++p;
    return p >= m_data.size();
}

std::optional<std::string> FreeFormatReader::nextField() {
    // Blank lines between items are passed over, as is leading white space.
    while (m_pos < m_data.size() && (isBlank(m_data[m_pos]) || isLineEnd(m_data[m_pos]))) ++m_pos;
    if (m_pos >= m_data.size()) return std::nullopt;

    std::string field;
    m_unclosed = false;
    if (m_data[m_pos] == '"') {
        const std::size_t close = m_data.find('"', m_pos + 1);
        if (close == std::string_view::npos) {
            field = std::string(m_data.substr(m_pos + 1));
            m_pos = m_data.size();
            m_unclosed = true;
            return field;
        }
        field = std::string(m_data.substr(m_pos + 1, close - m_pos - 1));
        m_pos = close + 1;
        // Whatever follows the closing quote up to the delimiter is not part of the field.
        while (m_pos < m_data.size() && m_data[m_pos] != ',' && !isLineEnd(m_data[m_pos])) ++m_pos;
    } else {
        const std::size_t start = m_pos;
        while (m_pos < m_data.size() && m_data[m_pos] != ',' && !isLineEnd(m_data[m_pos])) ++m_pos;
        field = std::string(m_data.substr(start, m_pos - start));
        while (!field.empty() && isBlank(field.back())) field.pop_back();
    }
    if (m_pos < m_data.size() && m_data[m_pos] == ',') {
        ++m_pos;
    } else if (m_pos < m_data.size() && m_data[m_pos] == '\r') {
        ++m_pos;
        if (m_pos < m_data.size() && m_data[m_pos] == '\n') ++m_pos;
    } else if (m_pos < m_data.size() && m_data[m_pos] == '\n') {
        ++m_pos;
    }
    return field;
}

std::optional<std::int32_t> FreeFormatReader::nextWholeNumber() {
    const auto field = nextField();
    if (!field) return std::nullopt;
    // A whole-number field must hold a number and nothing else.
    const std::string t = trimmed(*field);
    if (t.empty()) return std::nullopt;
    std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    bool digit = false;
    bool point = false;
    for (; i < t.size(); ++i) {
        if (t[i] >= '0' && t[i] <= '9') {
            digit = true;
        } else if (t[i] == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digit) return std::nullopt;
    return nearest(numericValue(t));
}

std::string quotedLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 4);
    line += '"';
    line += text;
    line += "\"\r\n";
    return line;
}

std::string numberLine(std::int64_t value) {
    return decimalText(value) + "\r\n";
}

std::size_t writeNumberLine(std::int64_t value, char* out) {
    char* end = std::to_chars(out, out + 20, value).ptr;
    *end++ = '\r';
    *end++ = '\n';
    return static_cast<std::size_t>(end - out);
}

} // namespace sylvane::platform
