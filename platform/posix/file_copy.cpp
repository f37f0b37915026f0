#include "platform/file_copy.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <utility>

#include "platform/file_io.h"
#include "platform/machine.h"

namespace plenova::platform {

namespace {

std::optional<std::filesystem::path> HostPath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return std::filesystem::path(path);
    try {
        return CurrentMachine().ToHost(path);
    } catch (const std::exception&) {  // no machine: no such file
        return std::nullopt;
    }
}

void CloseFd(int& fd) noexcept {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// copy_file_range cannot copy between these files (another file system, an old kernel, a file
// system without it): the bytes go through the buffer instead.
bool KernelCannotCopy(int error) {
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL ||
           error == EPERM || error == ETXTBSY || error == EBADF;
}

bool WriteFails(int error) { return error == ENOSPC || error == EFBIG || error == EDQUOT; }

}  // namespace

BlockCopy::BlockCopy(BlockCopy&& other) noexcept
    : source_(std::exchange(other.source_, -1)),
      destination_(std::move(other.destination_)),
      destinationName_(std::move(other.destinationName_)),
      length_(other.length_),
      kernelCopy_(other.kernelCopy_) {}

BlockCopy::~BlockCopy() { Close(); }

std::optional<BlockCopy> BlockCopy::OpenSource(const std::string& source) {
    const auto host = HostPath(source);
    if (!host) return std::nullopt;
    try {
        // Refuses a FIFO or device in the file's place without waiting on it.
        UniqueFd fd = OpenForReading(*host);
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0) return std::nullopt;
        return BlockCopy(fd.Release(), st.st_size);
    } catch (const FileError&) {  // unreadable: the caller's box
        return std::nullopt;
    }
}

bool BlockCopy::CreateDestination(const std::string& destination) {
    destination_.reset();
    destinationName_ = destination;
    const auto host = HostPath(destination);
    if (!host) return false;
    struct stat st {};
    // Only a plain file (or nothing) is replaced; a link in its place is replaced, not followed.
    if (::lstat(host->c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return false;
    try {
        destination_ = std::make_unique<PendingFile>(PendingFile::Create(*host, 0666));
    } catch (const FileError&) {  // not creatable: the caller's box
        return false;
    }
    return true;
}

bool BlockCopy::Commit() {
    if (!destination_) return false;
    struct stat st {};
    bool done = false;
    if (source_ >= 0 && ::fstat(source_, &st) == 0) {
        const timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
        try {
            if (::futimens(destination_->Fd(), times) == 0) {
                // Like cp, a copy is not synced: a kill still leaves the old file or the whole
                // new one, and syncing every file would make an installation several times slower.
                destination_->Commit(PendingFile::Durable::No);
                done = true;
                try {
                    CurrentMachine().NoteCreated(destinationName_);
                } catch (const std::exception&) {
                    // Only a lookup hint: the next lookup looks through the folder instead.
                }
            }
        } catch (const FileError&) {
            // Reported as false: the caller shows the write error, the old file stays.
        }
    }
    Close();
    return done;
}

bool BlockCopy::ReserveDestination() {
    if (!destination_) return false;
    if (length_ <= 0) return true;
    while (::fallocate(destination_->Fd(), FALLOC_FL_KEEP_SIZE, 0, length_) != 0) {
        if (errno == EINTR) continue;
        return !WriteFails(errno);
    }
    return true;
}

BlockCopy::Result BlockCopy::CopyBlock(std::span<std::byte> buffer, std::size_t bytes) {
    if (source_ < 0) return Result::ReadFailed;
    if (!destination_) return Result::WriteFailed;
    const int destination = destination_->Fd();
    std::size_t done = 0;
    while (kernelCopy_ && done < bytes) {
        const ssize_t n =
            ::copy_file_range(source_, nullptr, destination, nullptr, bytes - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return Result::ReadFailed;  // the source ended early
        const int error = errno;
        if (error == EINTR) continue;
        if (WriteFails(error)) return Result::WriteFailed;
        if (KernelCannotCopy(error)) {
            kernelCopy_ = false;
            break;
        }
        // Another error: the buffer's way tells which side failed.
        break;
    }
    if (done == bytes) return Result::Copied;
    return CopyThroughBuffer(buffer, bytes - done);
}

BlockCopy::Result BlockCopy::CopyThroughBuffer(std::span<std::byte> buffer, std::size_t bytes) {
    if (buffer.size() < bytes) return Result::ReadFailed;
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::read(source_, buffer.data() + got, bytes - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Result::ReadFailed;
        got += static_cast<std::size_t>(n);
    }
    std::size_t put = 0;
    while (put < bytes) {
        const ssize_t n = ::write(destination_->Fd(), buffer.data() + put, bytes - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Result::WriteFailed;
        put += static_cast<std::size_t>(n);
    }
    return Result::Copied;
}

void BlockCopy::Close() noexcept {
    CloseFd(source_);
    destination_.reset();
}

}  // namespace plenova::platform
