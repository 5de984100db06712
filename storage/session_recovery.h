#pragma once
// What program start does with the working files of the last run. Only a session that File >
// Save session has copied (tempdata.tim says so) is cleared as always: tempdata.tst and
// tempdata.hdr deleted. Any other session with a whole record is kept, whatever ended it (Stop,
// Exit, a signal, a kill, a power cut, a full disk), so that it can be saved or exported after
// any number of starts. One that never got its whole header still has every reading it recorded
// in tempdata.tst and is made whole first:
//   - a torn last record (a write cut short) is cut off, and the reading times with it;
//   - tempdata.txt is made to agree with the records, which are the truth;
//   - markers in tempdata.mrk past the last record go with the torn record;
//   - the header is written as Stop writes it: the range of the records of 1 and more, and the
//     comments as far as a cut header holds them (" " when it holds none).
// A tempdata.tst without one whole record is cleared as always; one that is there but cannot be
// read is left as it is, with everything beside it.

#include "storage/session_header.h"
#include "storage/session_times.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sylvane::storage {

struct WorkingSessionRecovery {
    enum class Found {
        Nothing,    // no session (or less than one whole record): cleared
        Saved,      // a saved session: cleared as always
        Kept,       // an unsaved session, kept as it is or made whole
        Unreadable, // tempdata.tst is there but cannot be read: nothing touched
    };
    Found found = Found::Nothing;
    // The session was made whole (its header was missing or cut).
    bool recovered = false;
    // Records in tempdata.tst.
    std::int64_t readings = 0;
    // When the session was started (tempdata.tim), if that is known.
    std::optional<LocalTime> start;
    bool tornRecordCut = false;
    bool textRepaired = false;
    int markerLinesDropped = 0;
    // The header the session now has, or would have had when the disk refused it (then the
    // program keeps it for Save).
    SessionHeader header;
    bool headerWritten = false;
    // What could not be mended, each naming the file and the reason; for Unreadable, why the
    // readings cannot be read.
    std::vector<std::string> problems;
};

WorkingSessionRecovery clearOrRecoverWorkingSession(const std::filesystem::path& folder);

// The session in the working files has been saved (tempdata.tim says so).
bool workingSessionSaved(const std::filesystem::path& folder);

// Notes in tempdata.tim that the session has been saved now. False with *error when the note
// could not be written (the session then counts as unsaved: nothing is lost).
bool markWorkingSessionSaved(const std::filesystem::path& folder, std::string* error = nullptr);

} // namespace sylvane::storage
