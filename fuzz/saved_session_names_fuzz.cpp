// Typed file names and header ranges as the file manager and the saved-session display get
// them: the targets always share the chosen folder, and a range that is accepted always gives a
// finite, upright scale.

#include "dialogs/file_path_parse.h"
#include "storage/saved_sessions.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = sylvane::dialogs::ParseFilePath(text);
    if (parsed.parsed()) {
        for (const std::string* target : {&parsed.tstPath, &parsed.hdrPath, &parsed.txtPath}) {
            if (target->rfind(parsed.folder, 0) != 0) std::abort();
            if (target->find('/', parsed.folder.size()) != std::string::npos) std::abort();
        }
        if (parsed.baseName.find('.') != std::string::npos || parsed.baseName.empty()) std::abort();
    }

    if (size >= 16) {
        std::int32_t minADC = 0;
        std::int32_t maxADC = 0;
        std::int32_t longest = 0;
        std::int32_t extent = 0;
        std::memcpy(&minADC, data, 4);
        std::memcpy(&maxADC, data + 4, 4);
        std::memcpy(&longest, data + 8, 4);
        std::memcpy(&extent, data + 12, 4);
        const float width = static_cast<float>(extent & 0xFFF);
        const float height = static_cast<float>((extent >> 12) & 0xFFF) + 10;
        if (sylvane::storage::commonScaleDefined(minADC, maxADC)) {
            const auto s = sylvane::storage::commonScale(minADC, maxADC, longest, width, height);
            if (s.readingsPerStep < 1) std::abort();
            // Beyond float range the resistances themselves overflow; the scale must still not
            // turn upside down.
            if (std::isfinite(s.bottomOhms) && std::isfinite(s.topOhms) &&
                !(s.bottomOhms > s.topOhms))
                std::abort();
        }
    }
    return 0;
}
