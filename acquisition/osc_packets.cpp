#include "acquisition/osc_packets.h"

#include "platform/number_rules.h"

#include <lo/lo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

namespace sylvane::acquisition {

namespace {

// Bundles within bundles: deeper than any sender goes.
constexpr int kDeepestBundle = 8;
constexpr std::string_view kBundleTag{"#bundle\0", 8};

struct MessageFree {
    void operator()(lo_message m) const { lo_message_free(m); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageFree>;

// One message, judged into `into`; false when it cannot be read.
bool readMessage(std::span<const std::uint8_t> bytes, OscInbound& into) {
    // liblo wants writable memory for what it only reads.
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    int result = 0;
    const Message m(lo_message_deserialise(copy.data(), copy.size(), &result));
    if (!m) return false;
    // liblo has checked that the path is a terminated string within the packet.
    const std::string_view path(reinterpret_cast<const char*>(copy.data()),
                                ::strnlen(reinterpret_cast<const char*>(copy.data()), copy.size()));
    const char* types = lo_message_get_types(m.get());
    const std::string_view t = types ? types : "";
    if (path == kOscMarkerPath && t.empty()) {
        into.markers.emplace_back();
    } else if (path == kOscMarkerPath && t == "s") {
        into.markers.push_back(markerTextOf(&lo_message_get_argv(m.get())[0]->s));
    } else {
        ++into.refused;
    }
    return true;
}

// A message or a bundle of them. liblo reads messages, but reads a bundle only inside a server
// with its socket; a bundle's framing is a tag, a time and a big-endian size before each element.
bool readElement(std::span<const std::uint8_t> bytes, int depth, OscInbound& into) {
    if (bytes.empty()) return false;
    if (bytes[0] == '/') return readMessage(bytes, into);
    if (depth >= kDeepestBundle || bytes.size() < 16 ||
        std::memcmp(bytes.data(), kBundleTag.data(), kBundleTag.size()) != 0)
        return false;
    // The time tag is passed over: a marker stands where it arrives.
    std::size_t at = 16;
    while (at < bytes.size()) {
        if (bytes.size() - at < 4) return false;
        const std::uint32_t size = std::uint32_t{bytes[at]} << 24 |
                                   std::uint32_t{bytes[at + 1]} << 16 |
                                   std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
        at += 4;
        if (size == 0 || size % 4 != 0 || size > bytes.size() - at) return false;
        if (!readElement(bytes.subspan(at, size), depth + 1, into)) return false;
        at += size;
    }
    return true;
}

// Decodes one UTF-8 sequence at text[at]; a byte that does not begin a well-formed one is U+FFFD.
char32_t nextCodePoint(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b = byte(at);
    int length = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if (b < 0x80) {
        ++at;
        return b;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2, cp = b & 0x1F, least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, cp = b & 0x0F, least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, cp = b & 0x07, least = 0x10000;
    }
    if (length == 0 || at + static_cast<std::size_t>(length) > text.size()) {
        ++at;
        return 0xFFFD;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char c = byte(at + static_cast<std::size_t>(i));
        if ((c & 0xC0) != 0x80) {
            ++at;
            return 0xFFFD;
        }
        cp = cp << 6 | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not characters.
    if (cp < least || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        ++at;
        return 0xFFFD;
    }
    at += static_cast<std::size_t>(length);
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The blanks the Mark box trims (Qt's spaces).
bool blank(char32_t cp) {
    return cp == ' ' || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) ||
           cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

std::string serialised(lo_message m, const char* path) {
    std::size_t size = 0;
    void* bytes = lo_message_serialise(m, path, nullptr, &size);
    std::string out(static_cast<const char*>(bytes), bytes ? size : 0);
    std::free(bytes);
    lo_message_free(m);
    return out;
}

} // namespace

OscInbound decodeOscPacket(std::span<const std::uint8_t> packet) {
    OscInbound in;
    if (!readElement(packet, 0, in) || (in.markers.empty() && in.refused == 0))
        return OscInbound{{}, 1};
    return in;
}

std::string markerTextOf(std::string_view bytes) {
    std::vector<char32_t> text;
    int units = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t cp = nextCodePoint(bytes, at);
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) cp = ' ';
        units += cp >= 0x10000 ? 2 : 1;
        if (units > kMarkerTextLength) break;
        text.push_back(cp);
    }
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    std::string out;
    for (auto it = first; it < last; ++it) appendUtf8(out, *it);
    return out;
}

std::string oscReadingPacket(std::int32_t record, double seconds, std::int32_t adc) {
    const float ohms = platform::resistanceOfAdc(adc);
    // As the readouts: the conductance of a resistance, none (0 here) for none.
    const float microsiemens =
        ohms != 0.0f ? static_cast<float>(1000000.0 / static_cast<double>(ohms)) : 0.0f;
    lo_message m = lo_message_new();
    lo_message_add_int32(m, record);
    lo_message_add_double(m, seconds);
    lo_message_add_int32(m, adc);
    lo_message_add_float(m, ohms);
    lo_message_add_float(m, microsiemens);
    return serialised(m, kOscReadingPath);
}

std::string oscMarkerPacket(std::int32_t record, std::string_view text) {
    lo_message m = lo_message_new();
    lo_message_add_int32(m, record);
    // A C string ends at the first NUL; a marker's text holds none.
    lo_message_add_string(m, std::string(text).c_str());
    return serialised(m, kOscMarkerPath);
}

std::string oscSessionPacket(bool started) {
    lo_message m = lo_message_new();
    lo_message_add_string(m, started ? "start" : "stop");
    return serialised(m, kOscSessionPath);
}

bool MarkerRateLimit::allows(double seconds) const {
    // When full, m_next is the oldest of the last kOscMarkersPerSecond.
    return m_count < m_times.size() || seconds - m_times[m_next] >= 1.0;
}

void MarkerRateLimit::taken(double seconds) {
    m_times[m_next] = seconds;
    m_next = (m_next + 1) % m_times.size();
    m_count = std::min(m_count + 1, m_times.size());
}

void OscReadingFollower::sessionStarted(float) {
    if (send) send(oscSessionPacket(true));
}

void OscReadingFollower::readingRecorded(std::int32_t recordNumber, std::int32_t value,
                                         double seconds) {
    if (send) send(oscReadingPacket(recordNumber, seconds, value));
}

void OscReadingFollower::sessionStopped() {
    if (send) send(oscSessionPacket(false));
}

} // namespace sylvane::acquisition
