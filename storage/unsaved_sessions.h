#pragma once
// Sessions that were never saved are not thrown away by the next one: Session > Start and
// Restart first move the working set (tempdata.tst, .hdr, .txt, .mrk, .tim, .tms) into the
// folder unsaved/ of the program folder, under the local date and time of its Start
// ("unsaved/2026-12-07 10-15-02.Tst", .Hdr, .Txt, .Mrk, .Tim, .Tms, as Save writes them), where
// the file manager and Display open it like any saved session. At most a number of them stay
// (UnsavedSessionsKept in sylvane-extra.ini); the oldest go first.

#include "storage/session_header.h"

#include <filesystem>
#include <string>
#include <vector>

namespace sylvane::storage {

inline constexpr const char* kUnsavedFolder = "unsaved";

// The working files hold a session with a whole record that File > Save session has not copied.
bool unsavedWorkingSession(const std::filesystem::path& folder);

struct KeptSession {
    // The .Tst of the set under unsaved/.
    std::filesystem::path tst;
    // The .Tst of the sets removed to keep at most the number asked for, oldest first.
    std::vector<std::filesystem::path> dropped;
};

// Moves the unsaved working set into unsaved/, its header first given the comments as Save gives
// them (from `unwritten` when the disk refused it at Stop), then removes the oldest sets beyond
// `kept`. False with *error when the set could not be moved: the working files are then as they
// were.
bool keepUnsavedSession(const std::filesystem::path& folder, const std::string& comments,
                        const SessionHeader* unwritten, int kept, KeptSession* out,
                        std::string* error);

} // namespace sylvane::storage
