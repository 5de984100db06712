#pragma once
// Writing a saved session: the three working files copied under a chosen name. A saved set is
// never half written over an older one, and the working files are never the target.

#include "storage/session_header.h"

#include <filesystem>
#include <string>

namespace sylvane::storage {

struct SaveTargets {
    std::filesystem::path tst;
    std::filesystem::path txt;
    std::filesystem::path hdr;
};

enum class TargetState { Missing, Exists, Unusable };

struct TargetProbe {
    TargetState state = TargetState::Missing;
    // What went wrong, naming the file ("File not found: /data/run1.Tst" when missing).
    std::string description;
};

// Whether a session file is there and can be read: a missing one is told apart from one that is
// there but cannot be opened (no permission, a folder of that name...).
TargetProbe probeFile(const std::filesystem::path& path);

// Opens a session file for reading as probeFile judges it: the descriptor, with the file's size
// in *size, when it Exists; else -1, with *probe saying why.
int openProbed(const std::filesystem::path& path, TargetProbe* probe, std::int64_t* size);

// True when any target is one of the working files in workingFolder: the same file on disk, so
// also a name in another letter case on a file system that ignores case, or a link.
bool targetsWorkingSet(const SaveTargets& targets, const std::filesystem::path& workingFolder);

// Rewrites the working tempdata.hdr with comments as its fifth item, keeping its first four
// items as they are; a header that is missing or short gets the range of `unwritten` (the header
// the disk refused at Stop) when given, else the range of the recorded readings. The new header
// replaces the old one in one step, so a failure leaves the old one. False with *error naming
// the file and the reason.
bool refreshWorkingHeader(const std::filesystem::path& workingFolder, const std::string& comments,
                          std::string* error = nullptr, const SessionHeader* unwritten = nullptr);

// Copies the working tempdata.tst, tempdata.txt and tempdata.hdr to the targets in that order,
// byte for byte, then the markers tempdata.mrk, when the session has any, as the .Hdr's name
// with the extension .Mrk (a marker file that an older saved set of that name left goes). Each
// copy is written beside its target under a temporary name and replaces the target only once
// complete, so a failure (disk full, no permission) leaves any older saved file as it was. False
// at the first failure, with *error naming the file and the reason.
// The session times tempdata.tim and the reading times tempdata.tms follow the same way, as
// name.Tim and name.Tms beside name.Hdr. Once all is copied, tempdata.tim notes that the session
// has been saved (session_recovery.h).
bool copyWorkingSet(const std::filesystem::path& workingFolder, const SaveTargets& targets,
                    std::string* error = nullptr);

} // namespace sylvane::storage
