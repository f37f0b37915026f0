#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "platform/file_io.h"
#include "platform/machine.h"

namespace plenova::platform {

namespace {

bool IsHostPath(const std::string& path) { return !path.empty() && path.front() == '/'; }

// The host path of a Windows path on the process's machine; none when it has no host name or
// the machine cannot be opened. A host path needs no machine, so tools that read host files
// never create one.
std::optional<std::filesystem::path> HostPath(const std::string& path) {
    if (IsHostPath(path)) return std::filesystem::path(path).lexically_normal();
    try {
        return CurrentMachine().ToHost(path);
    } catch (const std::exception&) {  // no machine: no such file
        return std::nullopt;
    }
}

enum class Kind { File, Folder };

// Whether a file or folder of that name exists; a host path is looked at without a machine.
bool Exists(const std::string& path, Kind kind) {
    if (IsHostPath(path)) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return false;
        return kind == Kind::File ? S_ISREG(st.st_mode) : S_ISDIR(st.st_mode);
    }
    try {
        const Machine& machine = CurrentMachine();
        return kind == Kind::File ? machine.FileExists(path) : machine.FolderExists(path);
    } catch (const std::exception&) {  // no machine: nothing exists
        return false;
    }
}

}  // namespace

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

std::optional<FileHandle> FileHandle::OpenRead(const std::string& path) {
    auto host = HostPath(path);
    if (!host) return std::nullopt;
    try {
        return FileHandle(OpenForReading(*host).Release());
    } catch (const FileError&) {  // unreadable: the caller's result
        return std::nullopt;
    }
}

std::optional<FileHandle> FileHandle::Create(const std::string& path) {
    auto host = HostPath(path);
    if (!host) return std::nullopt;
    try {
        return FileHandle(OpenForWriting(*host, WriteOpen::CreateOrTruncate, 0666).Release());
    } catch (const FileError&) {  // not creatable: the caller's result
        return std::nullopt;
    }
}

std::int64_t FileHandle::Read(std::span<std::byte> buffer) {
    if (fd_ < 0) return -1;
    try {
        return static_cast<std::int64_t>(ReadFully(fd_, buffer, "file handle"));
    } catch (const FileError&) {  // read error: the caller's result
        return -1;
    }
}

std::int64_t FileHandle::Write(std::span<const std::byte> bytes) {
    if (fd_ < 0) return -1;
    try {
        WriteAll(fd_, bytes, "file handle");
        return static_cast<std::int64_t>(bytes.size());
    } catch (const FileError&) {  // write error: the caller's result
        return -1;
    }
}

bool ReplaceWholeFile(const std::string& path, std::span<const std::byte> bytes) {
    const auto host = HostPath(path);
    if (!host) return false;
    try {
        PendingFile file = PendingFile::Create(*host, 0644);
        WriteAll(file.Fd(), bytes, *host);
        file.Commit(PendingFile::Durable::No);
        return true;
    } catch (const FileError&) {  // not written: the caller's result
        return false;
    }
}

bool DeletePlainFile(const std::string& path) {
    const auto host = HostPath(path);
    struct stat st;
    if (!host || ::lstat(host->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::unlink(host->c_str()) == 0;
}

std::int64_t FileHandle::Length() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool FileHandle::Seek(std::int64_t offset) {
    if (fd_ < 0 || offset < 0) return false;
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

void FileHandle::Close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool FileExists(const std::string& path) { return Exists(path, Kind::File); }

bool FolderExists(const std::string& path) { return Exists(path, Kind::Folder); }

}  // namespace plenova::platform
