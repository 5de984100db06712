#include "storage/saved_set_writer.h"

#include "platform/free_format.h"
#include "storage/working_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace sylvane::storage {

namespace fs = std::filesystem;

namespace {
std::string described(const std::string& reason, const fs::path& path) {
    return reason + ": " + path.string();
}
} // namespace

TargetProbe probeFile(const fs::path& path) {
    TargetProbe probe;
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        const int err = errno;
        if (err == ENOENT) {
            probe.state = TargetState::Missing;
            probe.description = described("File not found", path);
        } else {
            probe.state = TargetState::Unusable;
            probe.description = described(std::strerror(err), path);
        }
        return probe;
    }
    std::fclose(f);
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        probe.state = TargetState::Unusable;
        probe.description = described(std::strerror(EISDIR), path);
        return probe;
    }
    probe.state = TargetState::Exists;
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
                          std::string* error) {
    const fs::path header = workingFolder / kWorkingHdr;
    std::ifstream in(header, std::ios::binary);
    const bool opened = in.is_open();
    const std::string old{std::istreambuf_iterator<char>(in), {}};
    platform::FreeFormatReader reader(old);
    std::string text;
    for (int item = 0; item < 4; ++item) {
        const auto field = reader.nextField();
        if (!opened || !field) {
            if (error) *error = "The session header cannot be read: " + header.string();
            return false;
        }
        text += platform::quotedLine(*field);
    }
    text += platform::quotedLine(comments);

    fs::path fresh = header;
    fresh += ".new";
    {
        std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::error_code ignored;
            fs::remove(fresh, ignored);
            if (error) *error = "Could not write the session header " + header.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(fresh, header, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(fresh, ignored);
        if (error)
            *error = "Could not write the session header " + header.string() + ": " + ec.message();
        return false;
    }
    return true;
}

bool copyWorkingSet(const fs::path& workingFolder, const SaveTargets& targets, std::string* error) {
    const std::pair<const char*, const fs::path*> copies[] = {
        {kWorkingTst, &targets.tst}, {kWorkingTxt, &targets.txt}, {kWorkingHdr, &targets.hdr}};
    for (const auto& [working, target] : copies) {
        const fs::path source = workingFolder / working;
        fs::path partial = *target;
        partial += ".saving";
        std::error_code ec;
        fs::copy_file(source, partial, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::rename(partial, *target, ec);
        if (ec) {
            std::error_code ignored;
            fs::remove(partial, ignored);
            if (error) {
                *error = "Could not save " + target->string() + " from " + source.string() + ": " +
                         ec.message();
            }
            return false;
        }
    }
    return true;
}

} // namespace sylvane::storage
