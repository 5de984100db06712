#pragma once
// Stimulus software and the session, over OSC (Open Sound Control, UDP): the packets, without any
// socket. In: "/sylvane/marker" with one string (or nothing) marks the moment as Session > Mark
// does. Out: every recorded reading as "/sylvane/reading" (record, seconds from Start, smoothed
// ADC value, ohms, microsiemens: types "idiff"), every marker as "/sylvane/marker" (record, text:
// "is") and Start and Stop as "/sylvane/session" ("start" or "stop"). Messages are read and
// written with Debian's liblo.

#include "acquisition/session_engine.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sylvane::acquisition {

inline constexpr const char* kOscMarkerPath = "/sylvane/marker";
inline constexpr const char* kOscReadingPath = "/sylvane/reading";
inline constexpr const char* kOscSessionPath = "/sylvane/session";
// What the Mark box lets the user type.
inline constexpr int kMarkerTextLength = 80;
// Markers taken from OSC in any one second; the rest are dropped.
inline constexpr int kOscMarkersPerSecond = 50;

// What one incoming packet asks for: the texts of its markers in order, and how many of its
// messages ask for something else (another address, other arguments). A packet that cannot be read
// as a whole (cut, random, a bundle whose framing or any element is broken, or nothing in it) asks
// for no marker and counts as one refused.
struct OscInbound {
    std::vector<std::string> markers;
    int refused = 0;
};
OscInbound decodeOscPacket(std::span<const std::uint8_t> packet);

// A marker's text as it may come from the wire, made what the Mark box could hold: bytes that are
// not UTF-8 become U+FFFD, control characters blanks, cut to 80 characters (UTF-16 units, as the
// box counts them) without splitting one, and trimmed of blanks.
std::string markerTextOf(std::string_view bytes);

// The outgoing messages, ready for a datagram.
std::string oscReadingPacket(std::int32_t record, double seconds, std::int32_t adc);
std::string oscMarkerPacket(std::int32_t record, std::string_view text);
std::string oscSessionPacket(bool started);

// At most kOscMarkersPerSecond markers in any second: allows() says whether one may be taken at
// `seconds` (a steady clock), taken() notes one that was.
class MarkerRateLimit {
public:
    bool allows(double seconds) const;
    void taken(double seconds);

private:
    std::array<double, kOscMarkersPerSecond> m_times{};
    std::size_t m_next = 0;
    std::size_t m_count = 0;
};

// Follows a session's readings and hands each one's packet, and Start's and Stop's, to send.
class OscReadingFollower final : public ReadingFollower {
public:
    std::function<void(const std::string& packet)> send;
    void sessionStarted(float startClock) override;
    void readingRecorded(std::int32_t recordNumber, std::int32_t value, double seconds) override;
    void sessionStopped() override;
};

} // namespace sylvane::acquisition
