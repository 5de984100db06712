#include "dialogs/file_path_parse.h"

namespace sylvane::dialogs {

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

std::string joinFolderAndName(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && joined.back() != '/') joined += '/';
    joined += name;
    return joined;
}

} // namespace sylvane::dialogs
