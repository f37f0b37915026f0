#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

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
    } catch (const std::exception&) {
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
    } catch (const std::exception&) {
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
    int fd = ::open(host->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // a folder is no file to read
        ::close(fd);
        return std::nullopt;
    }
    return FileHandle(fd);
}

std::optional<FileHandle> FileHandle::Create(const std::string& path) {
    auto host = HostPath(path);
    if (!host) return std::nullopt;
    int fd = ::open(host->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return std::nullopt;
    return FileHandle(fd);
}

std::int64_t FileHandle::Read(std::span<std::byte> buffer) {
    if (fd_ < 0) return -1;
    std::size_t done = 0;
    while (done < buffer.size()) {
        ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t FileHandle::Write(std::span<const std::byte> bytes) {
    if (fd_ < 0) return -1;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
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
