#pragma once
// Where the bytes of the working session files go. The program writes them to disk, one
// system call per write so that a recorded reading reaches the operating system at once; the
// fuzzers, the benchmarks and the recorder's own tests keep them in memory, and can make a write
// fail part-way through as a full disk does.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace sylvane::storage {

inline constexpr const char* kWorkingTst = "tempdata.tst";
inline constexpr const char* kWorkingTxt = "tempdata.txt";
inline constexpr const char* kWorkingHdr = "tempdata.hdr";
// The time of each reading: record n holds the milliseconds from Start to the arrival of the
// frame of record n of tempdata.tst, a little-endian unsigned 32-bit number. Save copies it as
// name.Tms.
inline constexpr const char* kWorkingTms = "tempdata.tms";
inline constexpr const char* kSavedTmsExtension = ".Tms";

enum class WorkingFile { Hdr, Tst, Txt, Tms };
inline constexpr int kWorkingFileCount = 4;

// "tempdata.hdr", "tempdata.tst", "tempdata.txt" or "tempdata.tms".
const char* workingFileName(WorkingFile file);

class FileStore {
public:
    virtual ~FileStore() = default;

    // A name for messages ("/data/tempdata.tst").
    virtual std::string name(WorkingFile file) const = 0;

    // 0 when the file could be opened for writing without emptying it, or does not exist;
    // otherwise the errno that refuses it.
    virtual int probe(WorkingFile file) = 0;
    // Creates the file, or empties it, and keeps it open. 0 or an errno.
    virtual int create(WorkingFile file) = 0;
    virtual bool isOpen(WorkingFile file) const = 0;
    // Writes all of data at offset: 0, or an errno with the file possibly holding part of it.
    virtual int writeAt(WorkingFile file, std::int64_t offset, const void* data,
                        std::size_t size) = 0;
    // Bytes read at offset (fewer at the end of the file), or -1.
    virtual std::int64_t readAt(WorkingFile file, std::int64_t offset, void* out,
                                std::size_t size) = 0;
    virtual int truncate(WorkingFile file, std::int64_t size) = 0;
    // Closes the file and puts data in its place in one step: the file then holds all of data or
    // is as it was. 0 or an errno.
    virtual int replace(WorkingFile file, const void* data, std::size_t size) = 0;
    // Closes the file: 0, or the errno of a write the close found refused.
    virtual int close(WorkingFile file) = 0;
    // Removes the file (closing it first); a missing file is no error.
    virtual void remove(WorkingFile file) = 0;
};

// The working files in a folder of the disk.
class DiskFileStore final : public FileStore {
public:
    explicit DiskFileStore(std::filesystem::path folder = {});
    ~DiskFileStore() override;
    DiskFileStore(const DiskFileStore&) = delete;
    DiskFileStore& operator=(const DiskFileStore&) = delete;

    // Takes effect for files opened from now on.
    void setFolder(std::filesystem::path folder) { m_folder = std::move(folder); }
    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path path(WorkingFile file) const;

    std::string name(WorkingFile file) const override;
    int probe(WorkingFile file) override;
    int create(WorkingFile file) override;
    bool isOpen(WorkingFile file) const override;
    int writeAt(WorkingFile file, std::int64_t offset, const void* data, std::size_t size) override;
    std::int64_t readAt(WorkingFile file, std::int64_t offset, void* out,
                        std::size_t size) override;
    int truncate(WorkingFile file, std::int64_t size) override;
    int replace(WorkingFile file, const void* data, std::size_t size) override;
    int close(WorkingFile file) override;
    void remove(WorkingFile file) override;

private:
    std::filesystem::path m_folder;
    int m_fd[kWorkingFileCount] = {-1, -1, -1, -1};
};

// The working files in memory. A budget of bytes makes writes fail with ENOSPC once it is spent,
// after writing what still fits, as a disk that fills does.
class MemoryFileStore final : public FileStore {
public:
    std::string name(WorkingFile file) const override;
    int probe(WorkingFile file) override;
    int create(WorkingFile file) override;
    bool isOpen(WorkingFile file) const override;
    int writeAt(WorkingFile file, std::int64_t offset, const void* data, std::size_t size) override;
    std::int64_t readAt(WorkingFile file, std::int64_t offset, void* out,
                        std::size_t size) override;
    int truncate(WorkingFile file, std::int64_t size) override;
    int replace(WorkingFile file, const void* data, std::size_t size) override;
    int close(WorkingFile file) override;
    void remove(WorkingFile file) override;

    const std::string& bytes(WorkingFile file) const { return m_files[index(file)].bytes; }
    bool exists(WorkingFile file) const { return m_files[index(file)].exists; }
    // Bytes that may still be written, all files together; negative: no limit.
    void setBudget(std::int64_t bytes) { m_budget = bytes; }
    std::int64_t budget() const { return m_budget; }
    // Write system calls so far (each writeAt is one).
    std::int64_t writes() const { return m_writes; }

private:
    struct File {
        std::string bytes;
        bool exists = false;
        bool open = false;
    };
    static std::size_t index(WorkingFile file) { return static_cast<std::size_t>(file); }
    File m_files[kWorkingFileCount];
    std::int64_t m_budget = -1;
    std::int64_t m_writes = 0;
};

} // namespace sylvane::storage
