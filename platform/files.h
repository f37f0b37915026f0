// Files and folders of the emulated Windows machine, addressed by Windows paths
// ("C:\WINDOWS\SETUP.ini"). Every component is looked up without regard to letter case against
// what exists; a path that starts with "/" is taken as a host path as it stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace plenova::platform {

// A byte-level file handle (the classic _lopen/_lread/_hwrite/_lclose family). Move-only;
// closing happens on destruction or with Close().
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Opens an existing regular file for reading; an empty optional when it cannot be opened
    // or is something else (a folder, FIFO or device is refused at once, never waited on).
    static std::optional<FileHandle> OpenRead(const std::string& path);
    // Creates (or truncates) a regular file for writing; an empty optional on failure, and for
    // a name that is a FIFO or device (never written to).
    static std::optional<FileHandle> Create(const std::string& path);

    bool IsOpen() const noexcept { return fd_ >= 0; }
    // Reads up to buffer.size() bytes; returns the count read (0 at the end), -1 on error.
    std::int64_t Read(std::span<std::byte> buffer);
    // Writes the bytes; returns the count written, -1 on error.
    std::int64_t Write(std::span<const std::byte> bytes);
    // Length of the open file in bytes, -1 on error.
    std::int64_t Length() const;
    // Moves the read/write position to `offset` from the start; false on error.
    bool Seek(std::int64_t offset);
    void Close() noexcept;

private:
    explicit FileHandle(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Existence of an ordinary file (not a folder) and of a folder.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// Replaces the file as a whole for readers that may look at any moment: they see the old
// version or the new one, never a part. Not synced to disk (for files that a power cut may
// lose). False on failure, the old file then unchanged.
bool ReplaceWholeFile(const std::string& path, std::span<const std::byte> bytes);
// Deletes a plain file; false when there was none or it could not be deleted.
bool DeletePlainFile(const std::string& path);

}  // namespace plenova::platform
