#pragma once
// Drawing saved sessions together: one resistance scale that holds every chosen session's
// recorded range with a 5 % margin (and at least about 4 % of span around a flat set), one time
// axis on which the longest session just fits the width, and a colour per position in the list.

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sylvane::storage {

// Trace colours (0x00BBGGRR) by position in the chosen list; the file manager's list labels
// use the same ones.
inline constexpr std::array<std::uint32_t, 6> kTraceColors = {
    0xFFFF00, // cyan
    0x00FFFF, // yellow
    0x00FF00, // green
    0xFF00FF, // magenta
    0xFF0000, // blue
    0x0000FF, // red
};

struct CommonScale {
    float bottomOhms = 0; // the highest resistance, at the bottom edge
    float topOhms = 0;    // the lowest resistance, at the top edge
    float yScale = 0;     // picture units per Ohm
    std::int32_t readingsPerStep = 1;
};

// The bottom of the scale is the resistance of the smallest reading less the margin; at or
// below 0 ADC that resistance does not exist, so such a range cannot be drawn.
bool commonScaleDefined(std::int32_t minADC, std::int32_t maxADC);

// The common scale for the sessions' extremes, the longest .Tst in bytes and the picture's
// size. Only meaningful when commonScaleDefined(minADC, maxADC).
CommonScale commonScale(std::int32_t minADC, std::int32_t maxADC, std::int64_t longestBytes,
                        float scaleWidth, float scaleHeight);

// The name a session is listed under: the file name of its .Hdr path less the extension.
std::string savedSessionName(std::string_view hdrPath);

// What the display needs of one chosen session before drawing it.
struct SavedSessionInfo {
    std::string name;
    std::int32_t minADC = 0;
    std::int32_t maxADC = 0;
    std::string comments;
    std::int64_t tstBytes = 0;
};

// Reads the header of a chosen session and the length of its readings. False, with *error
// naming the file, when the .Tst cannot be opened or the .Hdr is missing, unreadable or holds
// fewer than its five items.
bool readSavedSession(const std::filesystem::path& tst, const std::filesystem::path& hdr,
                      SavedSessionInfo* info, std::string* error = nullptr);

struct SessionChoice {
    std::filesystem::path tst;
    std::filesystem::path hdr;
};

struct DisplayPlan {
    struct Session {
        std::size_t position = 0; // in the chosen list: its colour
        std::filesystem::path tst;
        SavedSessionInfo info;
    };
    // The sessions to draw, in the order chosen.
    std::vector<Session> sessions;
    // One message for each session left out, naming its file and why.
    std::vector<std::string> problems;
    // The extremes over the sessions drawn; longest .Tst in bytes.
    std::int32_t minADC = 4095;
    std::int32_t maxADC = 0;
    std::int64_t longestBytes = 0;
};

// Reads the chosen sessions in order. A session that cannot be read, or whose range would put
// the bottom of the common scale at or below 0 ADC, is left out and the others are kept.
DisplayPlan planSavedDisplay(std::span<const SessionChoice> chosen);

// The comments box while the sessions are on show: each name with "  Comments ..." on one line,
// its comments on the next.
std::string displayedComments(const DisplayPlan& plan);

} // namespace sylvane::storage
