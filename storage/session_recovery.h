#pragma once
// What program start does with the working files of the last run. A session that reached Stop,
// or the close of the program, has its header and is cleared as always (tempdata.tst and
// tempdata.hdr deleted). A session that never got its header (the program killed, a power cut,
// a disk that refused the header) still has every reading it recorded in tempdata.tst: it is
// made whole instead, so that it can be saved:
//   - a torn last record (a write cut short) is cut off;
//   - tempdata.txt is made to agree with the records, which are the truth;
//   - markers in tempdata.mrk past the last record go with the torn record;
//   - the header is written as Stop writes it: the range of the records of 1 and more, and " "
//     as the comments.
// A tempdata.tst without one whole record is cleared as always.

#include "storage/session_header.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sylvane::storage {

struct WorkingSessionRecovery {
    // False: the last run's session was cleared (or there was none).
    bool recovered = false;
    // Records kept in tempdata.tst.
    std::int64_t readings = 0;
    bool tornRecordCut = false;
    bool textRepaired = false;
    int markerLinesDropped = 0;
    // The header the session now has, or would have had when the disk refused it (then the
    // program keeps it for Save).
    SessionHeader header;
    bool headerWritten = false;
    // What could not be mended, each naming the file and the reason.
    std::vector<std::string> problems;
};

WorkingSessionRecovery clearOrRecoverWorkingSession(const std::filesystem::path& folder);

} // namespace sylvane::storage
