#include "platform/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace plenova::platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowErrno(const std::string& what, const fs::path& path, int error = errno) {
    throw FileError(what + " " + path.string() + ": " + std::strerror(error), error);
}

const char* KindName(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "something else";
}

FileTooLargeError TooLarge(const fs::path& path, std::size_t limit) {
    return FileTooLargeError(path.string() + " is larger than " + std::to_string(limit) + " bytes",
                             EFBIG);
}

// Refuses anything but a regular file, then puts the descriptor back into blocking mode.
void CheckRegular(int fd, const fs::path& path) {
    struct stat st;
    if (::fstat(fd, &st) != 0) ThrowErrno("cannot examine", path);
    if (!S_ISREG(st.st_mode)) {
        throw NotRegularFileError(
            path.string() + " is " + KindName(st.st_mode) + ", not a regular file", 0);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

// Opens an existing regular file without ever blocking on the open itself.
int OpenChecked(const fs::path& path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

// ----- UniqueFd ------------------------------------------------------------------------------

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

int UniqueFd::Release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset(int fd) noexcept {
    if (fd_ >= 0 && fd_ != fd) ::close(fd_);
    fd_ = fd;
}

fs::path SiblingPath(const fs::path& path, std::string_view suffix) {
    fs::path out = path;
    out += std::string(suffix);
    return out;
}

// ----- reading -------------------------------------------------------------------------------

UniqueFd OpenForReading(const fs::path& path) {
    UniqueFd fd(OpenChecked(path, O_RDONLY, 0));
    if (!fd.IsOpen()) ThrowErrno("cannot open", path);
    CheckRegular(fd.Get(), path);
    return fd;
}

std::optional<UniqueFd> OpenForReadingIfExists(const fs::path& path) {
    UniqueFd fd(OpenChecked(path, O_RDONLY, 0));
    if (!fd.IsOpen()) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        ThrowErrno("cannot open", path);
    }
    CheckRegular(fd.Get(), path);
    return fd;
}

std::size_t ReadFully(int fd, std::span<std::byte> buffer, const fs::path& path) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("cannot read", path);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::string ReadAll(int fd, std::size_t limit, const fs::path& path) {
    // The size on record is only a hint for the first allocation, and never beyond the limit:
    // the file may be sparse, growing, or lie about its size.
    struct stat st;
    std::size_t capacity = 64 * 1024;
    const bool known = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (known && static_cast<std::uint64_t>(st.st_size) > limit) throw TooLarge(path, limit);
    if (known && st.st_size > 0)
        capacity = static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size) + 1, limit + 1));
    capacity = std::min(capacity, limit + 1);
    std::string text;
    text.resize(capacity);
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() > limit) break;  // holds limit + 1 bytes: more than allowed
            text.resize(std::min(text.size() * 2, limit + 1));
        }
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("cannot read", path);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > limit) throw TooLarge(path, limit);
    text.resize(got);
    return text;
}

std::string ReadFileLimited(const fs::path& path, std::size_t limit) {
    UniqueFd fd = OpenForReading(path);
    return ReadAll(fd.Get(), limit, path);
}

// ----- writing -------------------------------------------------------------------------------

UniqueFd OpenForWriting(const fs::path& path, WriteOpen how, FileMode mode) {
    const int flags = O_WRONLY | O_CREAT | (how == WriteOpen::CreateNew ? O_EXCL : 0) |
                      (how == WriteOpen::Append ? O_APPEND : 0);
    UniqueFd fd(OpenChecked(path, flags, mode));
    if (!fd.IsOpen()) {
        // A FIFO without a reader answers a non-blocking open for writing with ENXIO.
        if (errno == ENXIO)
            throw NotRegularFileError(path.string() + " is a FIFO or socket, not a regular file",
                                      0);
        ThrowErrno("cannot create", path);
    }
    CheckRegular(fd.Get(), path);
    if (how == WriteOpen::CreateOrTruncate) {
        while (::ftruncate(fd.Get(), 0) != 0) {
            if (errno != EINTR) ThrowErrno("cannot empty", path);
        }
    }
    return fd;
}

void WriteAll(int fd, std::span<const std::byte> bytes, const fs::path& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("cannot write", path);
        }
        if (n == 0) ThrowErrno("cannot write", path, ENOSPC);
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void WriteAll(int fd, std::string_view text, const fs::path& path) {
    WriteAll(fd, std::as_bytes(std::span<const char>(text.data(), text.size())), path);
}

void SyncFolder(const fs::path& folder) {
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

namespace {

std::atomic<unsigned> tempCounter{0};

// A fresh name beside the target, unique within the process too, so that two threads
// replacing one file never share it.
fs::path TempName(const fs::path& target) {
    return SiblingPath(target, ".new-" + std::to_string(::getpid()) + "-" +
                                   std::to_string(tempCounter.fetch_add(1)));
}

// Gives a file made with O_TMPFILE a temporary name; false when that cannot be done here (no
// /proc, a file system that refuses the link).
bool NameUnnamed(int fd, const fs::path& target, fs::path& tmp) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = TempName(target);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, tmp.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

UniqueFd CreateNamedTemp(const fs::path& target, fs::path& tmp, mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = TempName(target);
        UniqueFd fd(
            ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd.IsOpen()) return fd;
        if (errno != EEXIST) ThrowErrno("cannot write", tmp);
    }
    ThrowErrno("cannot write", tmp, EEXIST);
}

// Named temporaries of `target` ("<name>.new-<pid>-<n>") left by processes that were killed
// while the file system could not keep them unnamed. Each folder is looked through once per
// process, so that many files written into one folder cost one scan.
void RemoveStaleTemps(const fs::path& target) {
    static std::mutex mutex;
    static std::set<fs::path> scanned;
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    {
        std::lock_guard lock(mutex);
        if (!scanned.insert(folder).second) return;
    }
    const std::string prefix = ".new-";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::size_t at = name.rfind(prefix);
        if (at == std::string::npos || at == 0) continue;
        const std::string rest = name.substr(at + prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos ||
            rest.find_first_not_of("0123456789-") != std::string::npos)
            continue;
        const long pid = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 ||
            errno != ESRCH)
            continue;
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(entry.path().c_str());
    }
}

}  // namespace

PendingFile PendingFile::Create(const fs::path& target, FileMode mode) {
    const fs::path folder = target.parent_path();
    RemoveStaleTemps(target);
    UniqueFd fd(
        ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (fd.IsOpen()) return PendingFile(std::move(fd), target, fs::path());
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        ThrowErrno("cannot write", target);
    fs::path tmp;
    UniqueFd named = CreateNamedTemp(target, tmp, mode);
    return PendingFile(std::move(named), target, tmp);
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      target_(std::move(other.target_)),
      tmp_(std::exchange(other.tmp_, fs::path())) {}

PendingFile::~PendingFile() { Abandon(); }

void PendingFile::Abandon() noexcept {
    fd_.Reset();
    if (!tmp_.empty()) ::unlink(tmp_.c_str());
    tmp_.clear();
}

void PendingFile::Commit(Durable durable) {
    try {
        if (durable == Durable::Yes && ::fsync(fd_.Get()) != 0) ThrowErrno("cannot write", target_);
        if (tmp_.empty() && !NameUnnamed(fd_.Get(), target_, tmp_))
            ThrowErrno("cannot name the new version of", target_);
        if (::close(fd_.Release()) != 0) ThrowErrno("cannot write", tmp_);
        if (::rename(tmp_.c_str(), target_.c_str()) != 0) ThrowErrno("cannot replace", target_);
    } catch (...) {
        Abandon();
        throw;
    }
    tmp_.clear();
    if (durable == Durable::Yes) SyncFolder(target_.parent_path());
}

void ReplaceFile(const fs::path& target, std::string_view content, FileMode mode) {
    // The new content is written to a file without a name and named only once it is complete,
    // so that a process killed while writing leaves nothing behind.
    PendingFile file = PendingFile::Create(target, 0600);
    if (::fchmod(file.Fd(), mode) != 0) ThrowErrno("cannot set the mode of", target);
    WriteAll(file.Fd(), content, target);
    file.Commit();
}

// ----- locks ---------------------------------------------------------------------------------

UniqueFd OpenLockFile(const fs::path& target, LockMode mode) {
    const fs::path lock = SiblingPath(target, ".lock");
    UniqueFd fd(OpenChecked(lock, O_RDWR | O_CREAT | O_NOFOLLOW, 0600));
    if (fd.IsOpen()) return fd;
    if (mode == LockMode::Exclusive) ThrowErrno("cannot open the lock", lock);
    fd.Reset(OpenChecked(lock, O_RDONLY | O_NOFOLLOW, 0));
    return fd;
}

void LockDescriptor(int fd, LockMode mode, const fs::path& target) {
    while (::flock(fd, mode == LockMode::Shared ? LOCK_SH : LOCK_EX) != 0) {
        if (errno != EINTR) ThrowErrno("cannot lock", target);
    }
}

FileLock FileLock::Acquire(const fs::path& target, LockMode mode) {
    UniqueFd fd = OpenLockFile(target, mode);
    if (fd.IsOpen()) LockDescriptor(fd.Get(), mode, target);
    return FileLock(std::move(fd));
}

// ----- positional reads ------------------------------------------------------------------

std::uint64_t FileSize(int fd, const fs::path& path) {
    struct stat st;
    if (::fstat(fd, &st) != 0) ThrowErrno("cannot examine", path);
    return st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::size_t ReadAt(int fd, std::uint64_t offset, std::span<std::byte> buffer,
                   const fs::path& path) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::uint64_t at = offset + done;
        if (at < offset || at > static_cast<std::uint64_t>(INT64_MAX)) break;  // past any file
        const ssize_t n =
            ::pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("cannot read", path);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace plenova::platform
