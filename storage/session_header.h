#pragma once
// The session header (tempdata.hdr and the saved name.Hdr): five quoted items, one a line,
// CR LF: "MinADC", the smallest mean as standard number text, "MaxADC", the largest, and the
// session comments.
//
// A quoted item cannot hold a double quote or a line break. Comments without them are stored as
// they are; any other comment is stored as the marker \= followed by the text with \q for a
// quote, \r and \n for the line-break characters and \\ for a backslash. Both forms read as five
// items, and readComment gives back exactly the text that was written.

#include <cstdint>
#include <string>
#include <string_view>

namespace sylvane::storage {

// The stored form of a comment, and the comment of a stored form.
std::string storedComment(std::string_view comment);
std::string readComment(std::string_view stored);

struct SessionHeader {
    // The items as text, quotes removed (the numbers keep their leading blank).
    std::string minLabel = "MinADC";
    std::string minText;
    std::string maxLabel = "MaxADC";
    std::string maxText;
    // The comments as the user typed them (decoded).
    std::string comments;
    // How many of the five items the data held.
    int itemCount = 0;
    // The last item read was cut in its quotes (a write cut short).
    bool torn = false;

    bool complete() const { return itemCount == 5; }
    // Numeric values of the number items (0 when an item holds no number).
    std::int32_t minADC() const;
    std::int32_t maxADC() const;
};

// The header of a session whose means ranged from minADC to maxADC.
SessionHeader sessionHeader(std::int32_t minADC, std::int32_t maxADC, std::string comments);

// The file's bytes: five quoted lines ending CR LF, the comments in their stored form.
std::string headerBytes(const SessionHeader& header);

// Reads the five items in order, by position: a field ends at a comma or a line end, a quoted
// field at its closing quote. Missing items stay empty and are not counted.
SessionHeader readSessionHeader(std::string_view bytes);

} // namespace sylvane::storage
