#pragma once
// The names the file manager accepts and how it turns a folder and a typed name into the three
// files of a saved session. Whatever extension is typed is dropped: "abc", "abc.tst" and
// "abc.xyz" all name the set abc.Tst, abc.Hdr and abc.Txt, all three in the same folder.

#include <string>
#include <string_view>

namespace sylvane::dialogs {

inline constexpr const char* kReservedNameText =
    "'tempdata.tst' is a reserved filename\r\nPlease use another name.";
inline constexpr const char* kNotAbsoluteText = "Should have found a ':' at pos. # 3";

// The working files' own names, refused as typed ("tempdata" or "tempdata.tst", exact letter
// case). Other spellings are caught where the files are written, by what they point at.
bool isReservedName(std::string_view typed);

struct ParsedFilePath {
    enum class Outcome {
        Parsed,
        NotAbsolute, // no folder to anchor the name: the user is told
        NoName, // nothing usable after the folder (empty, or a name starting with "."): ignored
    };
    Outcome outcome = Outcome::NoName;
    // The folder with its trailing "/"; empty for NotAbsolute.
    std::string folder;
    std::string baseName;
    std::string tstPath;
    std::string hdrPath;
    std::string txtPath;

    bool parsed() const { return outcome == Outcome::Parsed; }
};

// Splits path at its last "/" into the folder and the name, and builds the three targets from
// the name up to its first ".". Only absolute paths are accepted.
ParsedFilePath ParseFilePath(std::string_view path);

// The set's files as they are spelt on disk: where the folder holds the base name with an
// extension that differs from ".Tst", ".Hdr" or ".Txt" only in letter case (UPPER.TST,
// UPPER.HDR), that file is used. A file not on disk keeps the spelling a new set is written with.
void useNamesOnDisk(ParsedFilePath& parsed);

// folder + "/" + name, without doubling a separator the folder already ends with. An empty
// folder leaves the name alone (and so relative).
std::string joinFolderAndName(std::string_view folder, std::string_view name);

} // namespace sylvane::dialogs
