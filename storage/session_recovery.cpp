#include "storage/session_recovery.h"

#include "platform/free_format.h"
#include "platform/number_rules.h"
#include "storage/file_store.h"
#include "storage/marker_file.h"
#include "storage/session_times.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sylvane::storage {

namespace fs = std::filesystem;

namespace {

constexpr int kNotAPlainFile = -1;

// 0 with the file's bytes, or the errno that refused them. Only a plain file is read: a device
// or a pipe in its place (a test's /dev/full, say) could hold the start for ever.
int readWhole(const fs::path& path, std::string* out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? EISDIR : kNotAPlainFile;
    }
    out->clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int e = n < 0 ? errno : 0;
            ::close(fd);
            return e;
        }
        out->append(buffer, static_cast<std::size_t>(n));
    }
}

int writeAll(int fd, std::int64_t offset, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return 0;
}

// Writes the file beside itself and puts it in place in one step, so a refusal leaves it as it
// was. 0 or an errno.
int replaceWhole(const fs::path& path, std::string_view bytes) {
    fs::path fresh = path;
    fresh += ".new";
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int e = writeAll(fd, 0, bytes);
    if (::close(fd) != 0 && e == 0) e = errno;
    if (e == 0 && ::rename(fresh.c_str(), path.c_str()) != 0) e = errno;
    if (e != 0) ::unlink(fresh.c_str());
    return e;
}

// Cuts the file to its first `keep` bytes and appends the rest of `wanted`; a refused append is
// cut back to `keep`, so no part of a line stays. 0 or an errno.
int mendTail(const fs::path& path, std::string_view wanted, std::size_t keep) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int e = ::ftruncate(fd, static_cast<off_t>(keep)) == 0 ? 0 : errno;
    if (e == 0) {
        e = writeAll(fd, static_cast<std::int64_t>(keep), wanted.substr(keep));
        if (e != 0 && ::ftruncate(fd, static_cast<off_t>(keep)) != 0) {
            // The cut-back was refused too: the next start mends what is left.
        }
    }
    if (::close(fd) != 0 && e == 0) e = errno;
    return e;
}

std::string problem(const fs::path& path, int errnum) {
    return path.string() + ": " +
           (errnum == kNotAPlainFile ? "Not a regular file" : std::strerror(errnum));
}

std::optional<SessionTimes> timesOf(const fs::path& folder) {
    std::string bytes;
    if (readWhole(folder / kWorkingTim, &bytes) != 0) return std::nullopt;
    return readSessionTimes(bytes);
}

} // namespace

bool workingSessionSaved(const fs::path& folder) {
    const auto times = timesOf(folder);
    return times && times->saved;
}

bool markWorkingSessionSaved(const fs::path& folder, std::string* error) {
    const fs::path path = folder / kWorkingTim;
    std::string bytes;
    if (const int e = readWhole(path, &bytes); e != 0 && e != ENOENT) {
        if (error) *error = problem(path, e);
        return false;
    }
    // A line cut by an earlier failure is not continued.
    if (!bytes.empty() && bytes.back() != '\n') bytes += "\r\n";
    bytes += savedLine(localTimeOf(std::chrono::system_clock::now()));
    if (const int e = replaceWhole(path, bytes)) {
        if (error) *error = problem(path, e);
        return false;
    }
    return true;
}

WorkingSessionRecovery clearOrRecoverWorkingSession(const fs::path& folder) {
    using Found = WorkingSessionRecovery::Found;
    WorkingSessionRecovery r;
    const fs::path tstPath = folder / kWorkingTst;
    const fs::path txtPath = folder / kWorkingTxt;
    const fs::path hdrPath = folder / kWorkingHdr;

    std::string tst;
    if (const int e = readWhole(tstPath, &tst); e != 0 && e != ENOENT) {
        // Readings that cannot be read now may be readable later (a disk that is back, rights
        // given again): nothing is touched.
        r.found = Found::Unreadable;
        r.problems.push_back(problem(tstPath, e));
        return r;
    }
    const auto times = timesOf(folder);
    if (times) r.start = times->start;
    if (tst.size() < 4 || (times && times->saved)) {
        r.found = tst.size() < 4 ? Found::Nothing : Found::Saved;
        ::unlink(tstPath.c_str());
        ::unlink(hdrPath.c_str());
        return r;
    }

    r.found = Found::Kept;
    r.readings = static_cast<std::int64_t>(tst.size() / 4);
    std::string bytes;
    const SessionHeader header =
        readWhole(hdrPath, &bytes) == 0 ? readSessionHeader(bytes) : SessionHeader{};
    if (header.complete() && !header.torn) return r;

    r.recovered = true;
    if (tst.size() % 4 != 0) {
        tst.resize(tst.size() / 4 * 4);
        if (::truncate(tstPath.c_str(), static_cast<off_t>(tst.size())) == 0) {
            r.tornRecordCut = true;
        } else {
            // Readers take no part of a record, so the session is whole all the same.
            r.problems.push_back(problem(tstPath, errno));
        }
    }

    // A time written just before the program stopped, without its record, goes.
    const fs::path tmsPath = folder / kWorkingTms;
    struct stat timesFile {};
    if (::stat(tmsPath.c_str(), &timesFile) == 0 && S_ISREG(timesFile.st_mode) &&
        timesFile.st_size > static_cast<off_t>(tst.size())) {
        if (::truncate(tmsPath.c_str(), static_cast<off_t>(tst.size())) != 0)
            r.problems.push_back(problem(tmsPath, errno));
    }

    std::int32_t minADC = 4095;
    std::int32_t maxADC = 0;
    std::string lines;
    lines.reserve(tst.size() * 2);
    for (std::size_t at = 0; at < tst.size(); at += 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(tst.data() + at);
        const auto value =
            static_cast<std::int32_t>(std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                                      std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24);
        if (value >= 1) {
            minADC = std::min(minADC, value);
            maxADC = std::max(maxADC, value);
        }
        char line[24];
        lines.append(line, platform::writeNumberLine(value, line));
    }

    std::string text;
    if (const int e = readWhole(txtPath, &text); e != 0 && e != ENOENT) {
        r.problems.push_back(problem(txtPath, e));
    } else if (text != lines) {
        // Keep the whole lines that agree and write the rest from the records.
        const auto differ = std::mismatch(text.begin(), text.end(), lines.begin(), lines.end());
        const auto same = static_cast<std::size_t>(differ.second - lines.begin());
        const std::size_t lineEnd = lines.rfind('\n', same == 0 ? 0 : same - 1);
        const std::size_t keep = same == 0 || lineEnd == std::string::npos ? 0 : lineEnd + 1;
        if (const int e = mendTail(txtPath, lines, keep)) {
            r.problems.push_back(problem(txtPath, e));
        } else {
            r.textRepaired = true;
        }
    }

    const fs::path mrkPath = folder / kWorkingMrk;
    std::string marks;
    if (readWhole(mrkPath, &marks) == 0) {
        const MarkerFile sound = readMarkers(marks, r.readings);
        if (!sound.badLines.empty()) {
            std::string kept;
            for (const Marker& m : sound.markers) kept += markerLine(m);
            if (const int e = replaceWhole(mrkPath, kept)) {
                r.problems.push_back(problem(mrkPath, e));
            } else {
                r.markerLinesDropped = static_cast<int>(sound.badLines.size());
            }
        }
    }

    // What a cut header still holds of the comments is theirs.
    r.header = sessionHeader(minADC, maxADC,
                             header.itemCount == 5 && !platform::trimmed(header.comments).empty()
                                 ? header.comments
                                 : std::string(" "));
    if (const int e = replaceWhole(hdrPath, headerBytes(r.header))) {
        r.problems.push_back(problem(hdrPath, e));
    } else {
        r.headerWritten = true;
    }
    return r;
}

} // namespace sylvane::storage
