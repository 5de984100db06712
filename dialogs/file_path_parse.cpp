#include "dialogs/file_path_parse.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace sylvane::dialogs {

namespace {

namespace fs = std::filesystem;

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// folder + base + the extension as spelt on disk; the exact spelling first, then the first
// other spelling in name order, so the choice does not depend on the order of the folder.
std::string spelledOnDisk(const std::string& folder, const std::string& base,
                          std::string_view extension) {
    const std::string exact = folder + base + std::string(extension);
    std::error_code error;
    if (fs::exists(exact, error)) return exact;
    std::string found;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != base.size() + extension.size() || name.compare(0, base.size(), base))
            continue;
        if (!sameIgnoringCase(std::string_view(name).substr(base.size()), extension)) continue;
        if (found.empty() || name < found) found = name;
    }
    return found.empty() ? exact : folder + found;
}

} // namespace

bool isReservedName(std::string_view typed) {
    return typed == "tempdata.tst" || typed == "tempdata";
}

ParsedFilePath ParseFilePath(std::string_view path) {
    ParsedFilePath out;
    if (path.empty() || path.front() != '/') {
        out.outcome = ParsedFilePath::Outcome::NotAbsolute;
        return out;
    }
    const std::size_t lastSeparator = path.rfind('/');
    out.folder = std::string(path.substr(0, lastSeparator + 1));
    const std::string_view rest = path.substr(lastSeparator + 1);
    if (rest.empty() || rest.front() == '.') {
        out.outcome = ParsedFilePath::Outcome::NoName;
        return out;
    }
    out.baseName = std::string(rest.substr(0, rest.find('.')));
    out.tstPath = out.folder + out.baseName + ".Tst";
    out.hdrPath = out.folder + out.baseName + ".Hdr";
    // The text copy belongs with the other two, not wherever the process happens to be.
    out.txtPath = out.folder + out.baseName + ".Txt";
    out.outcome = ParsedFilePath::Outcome::Parsed;
    return out;
}

void useNamesOnDisk(ParsedFilePath& parsed) {
    if (!parsed.parsed()) return;
    parsed.tstPath = spelledOnDisk(parsed.folder, parsed.baseName, ".Tst");
    parsed.hdrPath = spelledOnDisk(parsed.folder, parsed.baseName, ".Hdr");
    parsed.txtPath = spelledOnDisk(parsed.folder, parsed.baseName, ".Txt");
}

std::string joinFolderAndName(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && joined.back() != '/') joined += '/';
    joined += name;
    return joined;
}

} // namespace sylvane::dialogs
