// The one layer through which the machine reads and writes its own files (registry hives, the
// drive table, WININIT.INI) and through which files are copied.
//
// Reading: only regular files are read. A file is opened without blocking (so a FIFO in its
// place never stalls the program), checked with fstat, and anything else (FIFO, device, folder,
// socket) is refused with NotRegularFileError. Whole-file reads take a byte limit that is
// enforced while reading: at most limit + 1 bytes are ever requested or held, whatever the
// file's size claims or however it grows. A regular file whose size is already over the limit
// is refused before any of it is read, so a sparse 1 GiB file costs nothing.
//
// Writing: WriteAll writes every byte (short writes and EINTR handled). ReplaceFile replaces a
// file as a whole: the new content goes to a temporary file in the same folder with the
// caller's mode, is fsynced, renamed over the target, and the folder is fsynced; a crash at any
// moment leaves the old file or the new one, never a torn one. The temporary is written without
// a name (O_TMPFILE) and named "<target>.new-<pid>-<n>" only once complete, so a process killed
// while writing leaves nothing behind; where the file system cannot do that, the named file is
// created at once (O_EXCL | O_NOFOLLOW, never through a planted link).
//
// Locking: one discipline for every file that several processes change. The lock is a flock on
// "<target>.lock" beside the target (mode 0600, never followed through a symbolic link);
// readers take it shared, writers exclusive for their whole read-modify-write. A reader that
// cannot open or create the lock file (a folder it may not write) goes on without it: since
// files are only ever replaced whole, it still sees one complete version.
//
// Errors: every failure throws FileError (or a subclass) whose message names the path and the
// reason (strerror for failed system calls); ErrorNumber() keeps errno, 0 when none applies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace plenova::platform {

// Permission bits of a new file, as the owner/group/other octal digits (0644, 0600).
using FileMode = std::uint32_t;

class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& message, int errorNumber = 0)
        : std::runtime_error(message), errorNumber_(errorNumber) {}
    int ErrorNumber() const noexcept { return errorNumber_; }

private:
    int errorNumber_;
};

// The path names something other than a regular file (FIFO, device, folder, socket).
class NotRegularFileError : public FileError {
public:
    using FileError::FileError;
};

// The file holds more bytes than the reader's limit.
class FileTooLargeError : public FileError {
public:
    using FileError::FileError;
};

// An owned file descriptor, closed on destruction. Move-only.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const noexcept { return fd_; }
    bool IsOpen() const noexcept { return fd_ >= 0; }
    // Gives up ownership: the caller closes the returned descriptor.
    int Release() noexcept;
    // Closes the descriptor held (if any) and takes `fd`.
    void Reset(int fd = -1) noexcept;

private:
    int fd_ = -1;
};

// "<path><suffix>", a name beside the file.
std::filesystem::path SiblingPath(const std::filesystem::path& path, std::string_view suffix);

// Opens a regular file for reading (see above). Throws FileError (ErrorNumber() ENOENT when it
// does not exist) or NotRegularFileError. The descriptor is left in blocking mode.
UniqueFd OpenForReading(const std::filesystem::path& path);
// The same, but a missing file (or a missing folder on the way) gives an empty optional.
std::optional<UniqueFd> OpenForReadingIfExists(const std::filesystem::path& path);

enum class WriteOpen {
    CreateOrTruncate,  // an existing file is emptied
    CreateNew,         // fails with EEXIST when the name exists
    Append,            // created when missing; every write goes to the end
};
// Opens a regular file for writing in place, following symbolic links as the name's owner
// set them up. A new file gets `mode` (less the umask); an existing one keeps its mode. Opened
// without blocking and checked with fstat before anything is truncated, so a FIFO or device of
// that name is refused (NotRegularFileError) and never written to.
UniqueFd OpenForWriting(const std::filesystem::path& path, WriteOpen how, FileMode mode);

// Reads from the descriptor's position to the end of the file. More than `limit` bytes
// throws FileTooLargeError naming `path` and the limit. Read errors throw FileError.
std::string ReadAll(int fd, std::size_t limit, const std::filesystem::path& path);
// OpenForReading and ReadAll in one.
std::string ReadFileLimited(const std::filesystem::path& path, std::size_t limit);

// The size of the open regular file. Throws FileError.
std::uint64_t FileSize(int fd, const std::filesystem::path& path);

// Reads from `offset` until `buffer` is full or the file ends, leaving the descriptor's position
// alone; returns the count read. Throws FileError naming `path`.
std::size_t ReadAt(int fd, std::uint64_t offset, std::span<std::byte> buffer,
                   const std::filesystem::path& path);

// Reads until `buffer` is full or the file ends; returns the count read. Throws FileError.
std::size_t ReadFully(int fd, std::span<std::byte> buffer, const std::filesystem::path& path);
// Writes every byte. Throws FileError (a full disk included).
void WriteAll(int fd, std::span<const std::byte> bytes, const std::filesystem::path& path);
void WriteAll(int fd, std::string_view text, const std::filesystem::path& path);

// Replaces `target` as a whole with `content`; the new file has exactly `mode` (the umask is
// not applied: a hive must stay 0600 whatever the umask). On failure the target is unchanged,
// the temporary removed, and FileError thrown.
void ReplaceFile(const std::filesystem::path& target, std::string_view content, FileMode mode);

// A new version of a file being written: its bytes go to a file without a name in the target's
// folder (or, where the file system cannot do that, to a temporary "<target>.new-<pid>-<n>"
// beside it, which is removed on failure and, when its process was killed, by the next process
// writing into that folder), and only Commit puts it in the target's place, whole. Dropped
// without Commit, it leaves the target as it was and nothing behind. Move-only.
class PendingFile {
public:
    // A new file of `mode` (less the umask) beside `target`. Throws FileError.
    static PendingFile Create(const std::filesystem::path& target, FileMode mode);
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&&) = delete;
    ~PendingFile();

    int Fd() const noexcept { return fd_.Get(); }
    // Renames the file over the target (replacing a link there, never following it). With
    // Durable::Yes the bytes and then the folder are synced first and after, so that the new
    // version also survives a power cut; without, a killed process still leaves the old version
    // or the new one whole. Throws FileError; the target is then unchanged.
    enum class Durable { Yes, No };
    void Commit(Durable durable = Durable::Yes);

private:
    PendingFile(UniqueFd fd, std::filesystem::path target, std::filesystem::path tmp)
        : fd_(std::move(fd)), target_(std::move(target)), tmp_(std::move(tmp)) {}
    void Abandon() noexcept;

    UniqueFd fd_;
    std::filesystem::path target_;
    std::filesystem::path tmp_;  // the temporary name, empty while the file has none
};

// fsyncs a folder so that a rename in it is durable. Best effort: failures are ignored, as a
// folder that cannot be opened for reading cannot be synced by anyone.
void SyncFolder(const std::filesystem::path& folder);

enum class LockMode { Shared, Exclusive };

// Opens the lock file of `target` ("<target>.lock"). Exclusive: created when missing; failure
// throws FileError (ErrorNumber() ENOENT when the folder is missing). Shared: created when
// possible, else opened read-only; when neither works the result is not open.
UniqueFd OpenLockFile(const std::filesystem::path& target, LockMode mode);
// flock on an open descriptor, waiting as long as it takes (EINTR retried). Throws FileError
// naming `target`.
void LockDescriptor(int fd, LockMode mode, const std::filesystem::path& target);

// A lock held for the lifetime of the object (released on destruction).
class FileLock {
public:
    // Waits for the lock of `target` in `mode`. A shared lock whose file cannot be had is not
    // held (Held() false) and not an error; see above.
    static FileLock Acquire(const std::filesystem::path& target, LockMode mode);
    bool Held() const noexcept { return fd_.IsOpen(); }

private:
    explicit FileLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

}  // namespace plenova::platform
