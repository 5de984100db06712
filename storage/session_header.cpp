#include "storage/session_header.h"

#include "platform/free_format.h"
#include "platform/number_rules.h"

namespace sylvane::storage {

namespace {

constexpr std::string_view kEscapedMarker = "\\=";

bool isPlain(std::string_view comment) {
    return comment.find_first_of("\"\r\n") == std::string_view::npos &&
           !comment.starts_with(kEscapedMarker);
}

} // namespace

std::string storedComment(std::string_view comment) {
    if (isPlain(comment)) return std::string(comment);
    std::string out(kEscapedMarker);
    for (const char c : comment) {
        switch (c) {
        case '"':
            out += "\\q";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string readComment(std::string_view stored) {
    if (!stored.starts_with(kEscapedMarker)) return std::string(stored);
    std::string out;
    const std::string_view body = stored.substr(kEscapedMarker.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 == body.size()) {
            out += body[i];
            continue;
        }
        switch (body[++i]) {
        case 'q':
            out += '"';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            // Not one of ours (edited by hand): keep it as it stands.
            out += '\\';
            out += body[i];
            break;
        }
    }
    return out;
}

std::int32_t SessionHeader::minADC() const {
    return platform::nearest(platform::numericValue(minText));
}
std::int32_t SessionHeader::maxADC() const {
    return platform::nearest(platform::numericValue(maxText));
}

SessionHeader sessionHeader(std::int32_t minADC, std::int32_t maxADC, std::string comments) {
    SessionHeader h;
    h.minText = platform::standardText(minADC);
    h.maxText = platform::standardText(maxADC);
    h.comments = std::move(comments);
    h.itemCount = 5;
    return h;
}

std::string headerBytes(const SessionHeader& h) {
    return platform::quotedLine(h.minLabel) + platform::quotedLine(h.minText) +
           platform::quotedLine(h.maxLabel) + platform::quotedLine(h.maxText) +
           platform::quotedLine(storedComment(h.comments));
}

SessionHeader readSessionHeader(std::string_view bytes) {
    SessionHeader h;
    h.minLabel.clear();
    h.maxLabel.clear();
    platform::FreeFormatReader reader(bytes);
    std::string* items[] = {&h.minLabel, &h.minText, &h.maxLabel, &h.maxText, &h.comments};
    for (std::string* item : items) {
        auto field = reader.nextField();
        if (!field) break;
        *item = std::move(*field);
        ++h.itemCount;
        h.torn = reader.lastFieldUnclosed();
    }
    h.comments = readComment(h.comments);
    return h;
}

} // namespace sylvane::storage
