// OSC packets of stimulus software: which incoming packets make markers, what a marker's text
// becomes, the messages sent out byte for byte, and the rate of markers taken.

#include "acquisition/osc_packets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace sylvane::acquisition;
using namespace std::string_literals;

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

// A bundle element: its size, big-endian, then the element.
std::string element(const std::string& e) {
    const auto n = static_cast<std::uint32_t>(e.size());
    return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                       static_cast<char>(n >> 8), static_cast<char>(n)} +
           e;
}

std::string bundle(const std::string& elements) {
    return "#bundle\0"s + "\0\0\0\0\0\0\0\1"s + elements;
}

} // namespace

TEST(OscPackets, OnlyTheMarkerMessageMakesMarkersAndAnythingUnreadableIsOneRefusal) {
    const std::string go = "/sylvane/marker\0,s\0\0go\0\0"s;
    const std::string bare = "/sylvane/marker\0,\0\0\0"s;
    const std::string other = "/x\0\0,i\0\0\0\0\0\5"s;
    std::string deep = go;
    for (int i = 0; i < 9; ++i) deep = bundle(element(deep));
    const struct {
        const char* what;
        std::string packet;
        std::vector<std::string> markers;
        int refused;
    } rows[] = {
        {"a marker with its text", go, {"go"}, 0},
        {"a marker without one", bare, {""}, 0},
        {"an empty text", "/sylvane/marker\0,s\0\0\0\0\0\0"s, {""}, 0},
        {"no type tags", "/sylvane/marker\0"s, {}, 1},
        {"another address", "/sylvane/markers\0\0\0\0,s\0\0go\0\0"s, {}, 1},
        {"a longer address", "/sylvane/marker/x\0\0\0,s\0\0go\0\0"s, {}, 1},
        {"no address", "\0\0\0\0,s\0\0go\0\0"s, {}, 1},
        {"a number", "/sylvane/marker\0,i\0\0\0\0\0\1"s, {}, 1},
        {"a symbol", "/sylvane/marker\0,S\0\0go\0\0"s, {}, 1},
        {"two texts", "/sylvane/marker\0,ss\0go\0\0go\0\0"s, {}, 1},
        {"the text's type without the text", "/sylvane/marker\0,s\0\0"s, {}, 1},
        {"cut inside the text", go.substr(0, 22), {}, 1},
        {"a text without its end", "/sylvane/marker\0,s\0\0gogo"s, {}, 1},
        {"a byte too many", go + "x", {}, 1},
        {"nothing", "", {}, 1},
        {"random bytes", "\x9c\x01\xff\x00\x12\x34\x56\x78"s, {}, 1},
        {"a bundle of two markers and another message",
         bundle(element(go) + element(bare) + element(other)),
         {"go", ""},
         1},
        {"a bundle within a bundle", bundle(element(bundle(element(go)))), {"go"}, 0},
        {"a bundle nine deep", deep, {}, 1},
        {"an empty bundle", bundle(""), {}, 1},
        {"a bundle tag alone", "#bundle\0"s, {}, 1},
        {"a bundle whose element runs past its end", bundle(element(go)).substr(0, 40), {}, 1},
        {"a bundle element of a size not a multiple of 4", bundle(element(go + "x")), {}, 1},
        {"a bundle element of size 0", bundle("\0\0\0\0"s), {}, 1},
        {"a bundle with a cut message beside a good one",
         bundle(element(go) + element(go.substr(0, 20))),
         {},
         1},
        {"a bundle with an element that is neither", bundle(element(go) + element("abcd")), {}, 1},
        {"our own marker message (record and text)",
         "/sylvane/marker\0,is\0\0\0\0\7go\0\0"s,
         {},
         1},
        {"a text of 100 letters",
         "/sylvane/marker\0,s\0\0"s + std::string(100, 'x') + "\0\0\0\0"s,
         {std::string(80, 'x')},
         0},
    };
    for (const auto& r : rows) {
        const OscInbound in = decodeOscPacket(bytesOf(r.packet));
        EXPECT_EQ(in.markers, r.markers) << r.what;
        EXPECT_EQ(in.refused, r.refused) << r.what;
    }
}

TEST(OscPackets, AMarkersTextIsWhatTheMarkBoxCouldHold) {
    const std::string a79(79, 'a');
    const std::string e81 = [] {
        std::string s;
        for (int i = 0; i < 81; ++i) s += "\xC3\xA9";
        return s;
    }();
    const std::pair<std::string, std::string> rows[] = {
        {"  stimulus  ", "stimulus"},
        {"a\r\nb\tc", "a  b c"},
        {"say \"go\" \\ now", "say \"go\" \\ now"},
        {"\xFF\xFEok", "\xEF\xBF\xBD\xEF\xBF\xBDok"},
        // Overlong, a surrogate, past U+10FFFF, cut short: one U+FFFD a byte.
        {"\xC0\xAF!", "\xEF\xBF\xBD\xEF\xBF\xBD!"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"x\xE2\x82", "x\xEF\xBF\xBD\xEF\xBF\xBD"},
        // DEL, C1 controls and no-break spaces are blanks.
        {"\x7F\xC2\x85"
         "a\xC2\xA0",
         "a"},
        {"\xE3\x80\x80"
         "mid\xE3\x80\x80"
         "dle",
         "mid\xE3\x80\x80"
         "dle"},
        {e81, e81.substr(0, 160)},
        // U+1F600 takes two of the 80.
        {a79 + "\xF0\x9F\x98\x80", a79},
        {a79.substr(1) + "\xF0\x9F\x98\x80", a79.substr(1) + "\xF0\x9F\x98\x80"},
        {std::string(85, ' ') + "late", ""},
        {"", ""},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(markerTextOf(in), out) << in;
}

TEST(OscPackets, OutgoingMessagesByteForByte) {
    // 2048: 1924650000 / 2048 - 470000 = 469770.5078125 ohms, 469770.5 as a float (0x48E56150).
    const float g2048 = static_cast<float>(1e6 / 469770.5);
    std::uint32_t gBits = 0;
    std::memcpy(&gBits, &g2048, 4);
    const std::string gBytes{static_cast<char>(gBits >> 24), static_cast<char>(gBits >> 16),
                             static_cast<char>(gBits >> 8), static_cast<char>(gBits)};
    const std::pair<std::string, std::string> rows[] = {
        {oscSessionPacket(true), "/sylvane/session\0\0\0\0,s\0\0start\0\0\0"s},
        {oscSessionPacket(false), "/sylvane/session\0\0\0\0,s\0\0stop\0\0\0\0"s},
        {oscMarkerPacket(7, "go"), "/sylvane/marker\0,is\0\0\0\0\7go\0\0"s},
        {oscMarkerPacket(70000, ""), "/sylvane/marker\0,is\0\0\1\x11\x70\0\0\0\0"s},
        {oscReadingPacket(1, 0.5, 2048), "/sylvane/reading\0\0\0\0,idiff\0\0"s +
                                             "\0\0\0\1\x3F\xE0\0\0\0\0\0\0\0\0\x08\0"s +
                                             "\x48\xE5\x61\x50"s + gBytes},
        // 4095: no resistance, and no conductance either (0).
        {oscReadingPacket(2, 1.25, 4095), "/sylvane/reading\0\0\0\0,idiff\0\0"s +
                                              "\0\0\0\2\x3F\xF4\0\0\0\0\0\0\0\0\x0F\xFF"s +
                                              "\0\0\0\0\0\0\0\0"s},
    };
    for (const auto& [got, want] : rows) EXPECT_EQ(got, want);
    EXPECT_NEAR(g2048, 2.12869, 1e-5);

    // The follower sends Start, each reading and Stop, in order.
    OscReadingFollower follower;
    std::vector<std::string> sent;
    follower.sessionStarted(0);
    follower.send = [&](const std::string& p) { sent.push_back(p); };
    follower.sessionStarted(0);
    follower.readingRecorded(1, 2048, 0.5);
    follower.sessionStopped();
    EXPECT_EQ(sent, (std::vector<std::string>{oscSessionPacket(true), rows[4].second,
                                              oscSessionPacket(false)}));
}

TEST(OscPackets, AtMostFiftyMarkersInAnySecond) {
    MarkerRateLimit limit;
    // 60 asked for 10 ms apart from 0: the first 50 taken.
    int taken = 0;
    for (int i = 0; i < 60; ++i) {
        const double t = 0.01 * i;
        if (limit.allows(t)) {
            limit.taken(t);
            ++taken;
        }
    }
    EXPECT_EQ(taken, 50);
    // The oldest taken was at 0.00, the next at 0.01, then 0.02.
    const std::pair<double, bool> rows[] = {{0.999, false}, {1.0, true},    {1.005, false},
                                            {1.01, true},   {1.011, false}, {1.02, true}};
    for (const auto& [t, allowed] : rows) {
        EXPECT_EQ(limit.allows(t), allowed) << t;
        if (limit.allows(t)) limit.taken(t);
    }
}
