#include "storage/saved_set_writer.h"

#include "storage/file_store.h"
#include "storage/marker_file.h"
#include "storage/saved_markers.h"
#include "storage/session_header.h"
#include "storage/session_recovery.h"
#include "storage/session_times.h"
#include "storage/tst_reader.h"
#include "storage/working_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sylvane::storage {

namespace fs = std::filesystem;

namespace {
std::string described(const std::string& reason, const fs::path& path) {
    return reason + ": " + path.string();
}

// Side files of the working set, saved beside name.Hdr under their own extension.
const std::pair<const char*, const char*> kSideFiles[] = {{kWorkingMrk, kSavedMrkExtension},
                                                          {kWorkingTim, kSavedTimExtension},
                                                          {kWorkingTms, kSavedTmsExtension}};
} // namespace

int openProbed(const fs::path& path, TargetProbe* probe, std::int64_t* size) {
    *probe = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        probe->state = err == ENOENT ? TargetState::Missing : TargetState::Unusable;
        probe->description = described(err == ENOENT ? "File not found" : std::strerror(err), path);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        probe->state = TargetState::Unusable;
        probe->description = described(std::strerror(err), path);
        return -1;
    }
    probe->state = TargetState::Exists;
    if (size) *size = static_cast<std::int64_t>(st.st_size);
    return fd;
}

TargetProbe probeFile(const fs::path& path) {
    TargetProbe probe;
    const int fd = openProbed(path, &probe, nullptr);
    if (fd >= 0) ::close(fd);
    return probe;
}

bool targetsWorkingSet(const SaveTargets& targets, const fs::path& workingFolder) {
    for (const fs::path& target : {targets.tst, targets.txt, targets.hdr}) {
        for (const char* working : {kWorkingTst, kWorkingTxt, kWorkingHdr}) {
            std::error_code ec;
            if (fs::equivalent(target, workingFolder / working, ec) && !ec) return true;
        }
    }
    return false;
}

bool refreshWorkingHeader(const fs::path& workingFolder, const std::string& comments,
                          std::string* error, const SessionHeader* unwritten) {
    const fs::path header = workingFolder / kWorkingHdr;
    std::ifstream in(header, std::ios::binary);
    const bool opened = in.is_open();
    SessionHeader h = readSessionHeader(std::string{std::istreambuf_iterator<char>(in), {}});
    const bool missing = !opened || h.itemCount < 4;
    if (missing && unwritten) {
        // The disk refused the header at Stop; the program kept it for this.
        h = *unwritten;
    } else if (missing) {
        // The session's header was never completed and the program that recorded it has gone:
        // its range is that of the recorded readings, so the session can still be saved.
        std::int32_t minADC = 4095;
        std::int32_t maxADC = 0;
        TstReader readings;
        bool ok = false;
        if (readings.open(workingFolder / kWorkingTst)) {
            readings.read(
                1, readings.recordCount(),
                [&](std::int64_t, std::span<const std::int32_t> values) {
                    for (const std::int32_t v : values) {
                        if (v < 1) continue;
                        minADC = std::min(minADC, v);
                        maxADC = std::max(maxADC, v);
                    }
                },
                &ok);
        }
        if (!ok) {
            if (error) *error = "The session header cannot be read: " + header.string();
            return false;
        }
        h = sessionHeader(minADC, maxADC, comments);
    }
    h.comments = comments;
    h.itemCount = 5;
    return replaceFile(header, headerBytes(h), error, "the session header");
}

bool copyWorkingSet(const fs::path& workingFolder, const SaveTargets& targets, std::string* error) {
    const auto copy = [&](const fs::path& source, const fs::path& target) {
        fs::path partial = target;
        partial += ".saving";
        std::error_code ec;
        fs::copy_file(source, partial, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::rename(partial, target, ec);
        if (!ec) return true;
        std::error_code ignored;
        fs::remove(partial, ignored);
        if (error) {
            *error = "Could not save " + target.string() + " from " + source.string() + ": " +
                     ec.message();
        }
        return false;
    };
    const std::pair<const char*, const fs::path*> copies[] = {
        {kWorkingTst, &targets.tst}, {kWorkingTxt, &targets.txt}, {kWorkingHdr, &targets.hdr}};
    for (const auto& [working, target] : copies) {
        if (!copy(workingFolder / working, *target)) return false;
    }
    // The markers of an older session saved under this name must not be drawn with this one,
    // whatever the letter case of their extension (the display takes the .Mrk in any case).
    const fs::path markers = fs::path(targets.hdr).replace_extension(kSavedMrkExtension);
    std::error_code probe;
    for (fs::path old = savedMarkerFile(targets.hdr); !old.empty() && old != markers;
         old = savedMarkerFile(targets.hdr)) {
        if (!fs::remove(old, probe)) break;
    }
    for (const auto& [working, extension] : kSideFiles) {
        const fs::path source = workingFolder / working;
        const fs::path target = fs::path(targets.hdr).replace_extension(extension);
        std::error_code ec;
        if (fs::exists(source, ec)) {
            if (!copy(source, target)) return false;
        } else {
            // A side file left by an older session of that name would describe another session.
            fs::remove(target, ec);
        }
    }
    // The session is kept now: the next start may clear it. A note that cannot be written only
    // keeps it longer.
    markWorkingSessionSaved(workingFolder);
    return true;
}

} // namespace sylvane::storage
