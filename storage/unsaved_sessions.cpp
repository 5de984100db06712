#include "storage/unsaved_sessions.h"

#include "storage/file_store.h"
#include "storage/marker_file.h"
#include "storage/saved_set_writer.h"
#include "storage/session_recovery.h"
#include "storage/session_times.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace sylvane::storage {

namespace fs = std::filesystem;

namespace {

// The working files and the extensions of their saved copies.
constexpr std::pair<const char*, const char*> kSet[] = {{kWorkingTst, ".Tst"},
                                                        {kWorkingHdr, ".Hdr"},
                                                        {kWorkingTxt, ".Txt"},
                                                        {kWorkingMrk, kSavedMrkExtension},
                                                        {kWorkingTim, kSavedTimExtension},
                                                        {kWorkingTms, kSavedTmsExtension}};

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "2026-12-07 10-15-02": the session's Start, or when its readings were last written.
std::string stampOf(const fs::path& folder) {
    std::ifstream in(folder / kWorkingTim, std::ios::binary);
    const SessionTimes times =
        readSessionTimes(std::string{std::istreambuf_iterator<char>(in), {}});
    LocalTime t;
    if (times.start) {
        t = *times.start;
    } else {
        std::error_code ec;
        const auto written = fs::last_write_time(folder / kWorkingTst, ec);
        t = localTimeOf(ec ? std::chrono::system_clock::now()
                           : std::chrono::time_point_cast<std::chrono::system_clock::duration>(
                                 std::chrono::file_clock::to_sys(written)));
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d-%02d-%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// Removes the oldest sets (by name, which is their Start) beyond `kept`.
std::vector<fs::path> prune(const fs::path& unsaved, int kept) {
    std::vector<fs::path> sets;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(unsaved, ec)) {
        if (lower(entry.path().extension().string()) == ".tst") sets.push_back(entry.path());
    }
    // By Start; sets started in the same second, "... (2)", after the first of them.
    const auto key = [](const fs::path& p) {
        std::string stem = p.stem().string();
        int n = 1;
        if (const auto open = stem.rfind(" ("); open != std::string::npos && stem.back() == ')') {
            n = std::atoi(stem.c_str() + open + 2);
            stem.resize(open);
        }
        return std::pair(stem, n);
    };
    std::sort(sets.begin(), sets.end(),
              [&](const fs::path& a, const fs::path& b) { return key(a) < key(b); });
    std::vector<fs::path> dropped;
    for (std::size_t i = 0; i + static_cast<std::size_t>(std::max(kept, 1)) < sets.size(); ++i) {
        for (const auto& [working, extension] : kSet) {
            fs::remove(fs::path(sets[i]).replace_extension(extension), ec);
        }
        fs::remove(sets[i], ec); // an extension in another letter case
        dropped.push_back(sets[i]);
    }
    return dropped;
}

} // namespace

bool unsavedWorkingSession(const fs::path& folder) {
    std::error_code ec;
    // Only a file can hold readings; one that cannot be read is kept as well.
    if (!fs::is_regular_file(folder / kWorkingTst, ec)) return false;
    const auto size = fs::file_size(folder / kWorkingTst, ec);
    return (ec || size >= 4) && !workingSessionSaved(folder);
}

bool keepUnsavedSession(const fs::path& folder, const std::string& comments,
                        const SessionHeader* unwritten, int kept, KeptSession* out,
                        std::string* error) {
    const fs::path unsaved = folder / kUnsavedFolder;
    std::error_code ec;
    fs::create_directories(unsaved, ec);
    if (ec) {
        if (error) *error = unsaved.string() + ": " + ec.message();
        return false;
    }
    // The header as Save would write it; a disk that refuses it still lets the session move.
    refreshWorkingHeader(folder, comments, nullptr, unwritten);

    const std::string stamp = stampOf(folder);
    fs::path base = unsaved / stamp;
    for (int n = 2; fs::exists(fs::path(base).replace_extension(".Tst"), ec) ||
                    fs::exists(fs::path(base).replace_extension(".Hdr"), ec);
         ++n)
        base = unsaved / (stamp + " (" + std::to_string(n) + ")");

    std::vector<std::pair<fs::path, fs::path>> moved;
    for (const auto& [working, extension] : kSet) {
        const fs::path from = folder / working;
        if (!fs::exists(fs::symlink_status(from, ec))) continue;
        // A name with a dot of its own: replace_extension would cut it.
        const fs::path to = base.string() + extension;
        fs::rename(from, to, ec);
        if (ec) {
            if (error)
                *error =
                    "Could not move " + from.string() + " to " + to.string() + ": " + ec.message();
            // All or nothing: what moved goes back.
            for (const auto& [source, target] : moved) fs::rename(target, source, ec);
            return false;
        }
        moved.emplace_back(from, to);
    }
    if (out) {
        out->tst = base.string() + ".Tst";
        out->dropped = prune(unsaved, kept);
    } else {
        prune(unsaved, kept);
    }
    return true;
}

} // namespace sylvane::storage
