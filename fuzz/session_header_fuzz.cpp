// The session header (tempdata.hdr, name.Hdr) as any file can hold it: reading must never trap
// and must take at most five items; and whatever the comment, writing a header and reading it
// back gives the same five items, the comment exactly as it was typed.

#include "storage/session_header.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "session header: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The bytes as a header file someone handed us.
    const auto read = sylvane::storage::readSessionHeader(bytes);
    check(read.itemCount >= 0 && read.itemCount <= 5, "item count outside 0..5");
    check(read.minLabel.size() + read.minText.size() + read.maxLabel.size() + read.maxText.size() <=
              size,
          "items longer than the file");
    (void)read.minADC();
    (void)read.maxADC();

    // The bytes as the comment of a session we write.
    std::int32_t minADC = 4095;
    std::int32_t maxADC = 0;
    if (size >= 8) {
        std::memcpy(&minADC, data, 4);
        std::memcpy(&maxADC, data + 4, 4);
    }
    const std::string comment(bytes);
    const std::string written =
        sylvane::storage::headerBytes(sylvane::storage::sessionHeader(minADC, maxADC, comment));
    const auto back = sylvane::storage::readSessionHeader(written);
    check(back.complete(), "a written header does not read back as five items");
    check(back.minLabel == "MinADC" && back.maxLabel == "MaxADC", "labels changed");
    check(back.minADC() == minADC && back.maxADC() == maxADC, "extremes changed");
    check(back.comments == comment, "the comment did not come back as typed");
    check(sylvane::storage::readComment(sylvane::storage::storedComment(comment)) == comment,
          "the stored form of the comment does not decode to it");
    return 0;
}
