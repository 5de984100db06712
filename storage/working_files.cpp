#include "storage/working_files.h"

namespace sylvane::storage {

WorkingFiles::~WorkingFiles() { close(); }
bool WorkingFiles::open(const std::filesystem::path&, std::string*) { return false; }
bool WorkingFiles::record(std::int32_t, std::int32_t, std::string*) { return false; }
bool WorkingFiles::writeHeaderAndClose(std::int32_t, std::int32_t, const std::string&, std::string*) {
    return false;
}
void WorkingFiles::close() {}

} // namespace sylvane::storage
