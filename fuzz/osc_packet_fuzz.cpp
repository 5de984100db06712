// A UDP packet from anyone, as the OSC marker port takes it: decoding must never trap, every
// packet must count as a marker or a refusal, and every marker's text must be one the Mark box
// could hold (UTF-8, at most 80 characters, no control characters, trimmed), unchanged when made
// safe again, and stored in the marker file so that it reads back the same. The input's bytes are
// also taken as a marker's text on their own, and that text sent back in a marker message must
// decode to itself.

#include "acquisition/osc_packets.h"
#include "storage/marker_file.h"

#include <lo/lo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "osc packet: %s\n", what);
    std::abort();
}

// UTF-8 without control characters, and its length in UTF-16 units; -1 when it is not.
int safeLength(std::string_view s) {
    int units = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
        if (n == 0 || i + n > s.size()) return -1;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return -1;
        if (b < 0x20 || b == 0x7F || (b == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0))
            return -1;
        units += n == 4 ? 2 : 1;
        i += n;
    }
    return units;
}

void checkText(const std::string& text) {
    using namespace sylvane;
    const int units = safeLength(text);
    check(units >= 0, "a marker text that is not UTF-8 or holds a control character");
    check(units <= acquisition::kMarkerTextLength, "a marker text over 80 characters");
    check(text.empty() || (text.front() != ' ' && text.back() != ' '), "an untrimmed marker text");
    check(acquisition::markerTextOf(text) == text, "a safe text changed when made safe again");
    const storage::MarkerFile file = storage::readMarkers(storage::markerLine({1, 0.5, text}));
    check(file.badLines.empty() && file.markers.size() == 1 && file.markers[0].text == text,
          "a marker text that does not read back from the marker file");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sylvane::acquisition;
    const OscInbound in = decodeOscPacket({data, size});
    check(in.refused >= 0, "a negative count");
    check(!in.markers.empty() || in.refused > 0, "a packet counted as nothing");
    check(in.markers.size() + static_cast<std::size_t>(in.refused) <= size / 8 + 1,
          "more messages than the packet can hold");
    for (const std::string& text : in.markers) checkText(text);

    const std::string text = markerTextOf({reinterpret_cast<const char*>(data), size});
    checkText(text);
    lo_message m = lo_message_new();
    lo_message_add_string(m, text.c_str());
    std::size_t length = 0;
    void* bytes = lo_message_serialise(m, kOscMarkerPath, nullptr, &length);
    lo_message_free(m);
    const OscInbound back = decodeOscPacket({static_cast<const std::uint8_t*>(bytes), length});
    std::free(bytes);
    check(back.refused == 0 && back.markers.size() == 1 && back.markers[0] == text,
          "a marker message does not decode to its text");
    return 0;
}
