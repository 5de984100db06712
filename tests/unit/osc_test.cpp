// OSC packets of stimulus software: which incoming packets make markers, what a marker's text
// becomes, and the rate of markers taken (the messages sent out are read back in osc_e2e).

#include "acquisition/osc_packets.h"

#include <gtest/gtest.h>

using namespace sylvane::acquisition;
using namespace std::string_literals;

namespace {

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
    const std::string mixed = bundle(element(go) + element(bare) + element(other));
    const std::string x100 = "/sylvane/marker\0,s\0\0"s + std::string(100, 'x') + "\0\0\0\0"s;
    // what, the packet; the markers taken and the packets refused. Every cut of a marker message
    // and other types in its place are sent to the real program (osc_e2e).
    const std::tuple<const char*, std::string, std::vector<std::string>, int> rows[] = {
        {"a marker with its text", go, {"go"}, 0},
        {"a marker without one", bare, {""}, 0},
        {"an empty text", "/sylvane/marker\0,s\0\0\0\0\0\0"s, {""}, 0},
        {"another address", "/sylvane/markers\0\0\0\0,s\0\0go\0\0"s, {}, 1},
        {"no address", "\0\0\0\0,s\0\0go\0\0"s, {}, 1},
        {"a byte too many", go + "x", {}, 1},
        {"random bytes", "\x9c\x01\xff\x00\x12\x34\x56\x78"s, {}, 1},
        {"two markers and another in a bundle", mixed, {"go", ""}, 1},
        {"a bundle within a bundle", bundle(element(bundle(element(go)))), {"go"}, 0},
        {"a bundle nine deep", deep, {}, 1},
        {"an empty bundle", bundle(""), {}, 1},
        {"a bundle tag alone", "#bundle\0"s, {}, 1},
        {"a bundle whose element runs past its end", bundle(element(go)).substr(0, 40), {}, 1},
        {"a bundle element of a size not a multiple of 4", bundle(element(go + "x")), {}, 1},
        {"a bundle element of size 0", bundle("\0\0\0\0"s), {}, 1},
        {"a cut message beside a good one", bundle(element(go) + element(go.substr(0, 20))), {}, 1},
        {"a bundle with an element that is neither", bundle(element(go) + element("abcd")), {}, 1},
        {"ours (a record and a text)", "/sylvane/marker\0,is\0\0\0\0\7go\0\0"s, {}, 1},
        {"a text of 100 letters", x100, {std::string(80, 'x')}, 0},
    };
    for (const auto& [what, packet, markers, refused] : rows) {
        const OscInbound in =
            decodeOscPacket(std::vector<std::uint8_t>(packet.begin(), packet.end()));
        EXPECT_EQ(std::pair(in.markers, in.refused), std::pair(markers, refused)) << what;
    }
}

TEST(OscPackets, AMarkersTextIsWhatTheMarkBoxCouldHold) {
    const std::string a79(79, 'a'), R = "\xEF\xBF\xBD", ideo = "\xE3\x80\x80";
    std::string e81;
    for (int i = 0; i < 81; ++i) e81 += "\xC3\xA9";
    const std::pair<std::string, std::string> rows[] = {
        {"  stimulus  ", "stimulus"},
        {"a\r\nb\tc", "a  b c"},
        // Overlong, a surrogate, past U+10FFFF, cut short: one U+FFFD (R) a byte.
        {"\xC0\xAF!", R + R + "!"},
        {"\xED\xA0\x80", R + R + R},
        {"\xF4\x90\x80\x80", R + R + R + R},
        {"x\xE2\x82", "x" + R + R},
        // DEL, C1 controls and no-break spaces are blanks; an ideographic space within is kept.
        {"\x7F\xC2\x85" + std::string("a\xC2\xA0"), "a"},
        {ideo + "mid" + ideo + "dle", "mid" + ideo + "dle"},
        {e81, e81.substr(0, 160)},
        // U+1F600 takes two of the 80.
        {a79 + "\xF0\x9F\x98\x80", a79},
        {a79.substr(1) + "\xF0\x9F\x98\x80", a79.substr(1) + "\xF0\x9F\x98\x80"},
        {std::string(85, ' ') + "late", ""},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(markerTextOf(in), out) << in;
}

TEST(OscPackets, AtMostFiftyMarkersInAnySecond) {
    MarkerRateLimit limit;
    // 60 asked for 10 ms apart from 0: the first 50 taken.
    int taken = 0;
    for (int i = 0; i < 60; ++i)
        if (limit.allows(0.01 * i)) limit.taken(0.01 * i), ++taken;
    EXPECT_EQ(taken, 50);
    // The oldest taken was at 0.00, the next at 0.01, then 0.02.
    const std::pair<double, bool> rows[] = {{0.999, false}, {1.0, true},    {1.005, false},
                                            {1.01, true},   {1.011, false}, {1.02, true}};
    for (const auto& [t, allowed] : rows) {
        EXPECT_EQ(limit.allows(t), allowed) << t;
        if (limit.allows(t)) limit.taken(t);
    }
}
