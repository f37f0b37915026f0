#include "platform/file_copy.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <utility>

#include "platform/machine.h"

namespace plenova::platform {

namespace {

std::optional<std::filesystem::path> HostPath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return std::filesystem::path(path);
    try {
        return CurrentMachine().ToHost(path);
    } catch (const std::exception&) {
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
      destination_(std::exchange(other.destination_, -1)),
      length_(other.length_),
      kernelCopy_(other.kernelCopy_) {}

BlockCopy& BlockCopy::operator=(BlockCopy&& other) noexcept {
    if (this != &other) {
        Close();
        source_ = std::exchange(other.source_, -1);
        destination_ = std::exchange(other.destination_, -1);
        length_ = other.length_;
        kernelCopy_ = other.kernelCopy_;
    }
    return *this;
}

BlockCopy::~BlockCopy() { Close(); }

std::optional<BlockCopy> BlockCopy::OpenSource(const std::string& source) {
    const auto host = HostPath(source);
    if (!host) return std::nullopt;
    // Non-blocking open, so that a FIFO in the file's place never stalls the program.
    const int fd = ::open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return BlockCopy(fd, st.st_size);
}

bool BlockCopy::CreateDestination(const std::string& destination) {
    CloseFd(destination_);
    const auto host = HostPath(destination);
    if (!host) return false;
    destination_ = ::open(host->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return destination_ >= 0;
}

bool BlockCopy::ReserveDestination() {
    if (destination_ < 0) return false;
    if (length_ <= 0) return true;
    while (::fallocate(destination_, FALLOC_FL_KEEP_SIZE, 0, length_) != 0) {
        if (errno == EINTR) continue;
        return !WriteFails(errno);
    }
    return true;
}

BlockCopy::Result BlockCopy::CopyBlock(std::span<std::byte> buffer, std::size_t bytes) {
    if (source_ < 0) return Result::ReadFailed;
    if (destination_ < 0) return Result::WriteFailed;
    std::size_t done = 0;
    while (kernelCopy_ && done < bytes) {
        const ssize_t n =
            ::copy_file_range(source_, nullptr, destination_, nullptr, bytes - done, 0);
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
        const ssize_t n = ::write(destination_, buffer.data() + put, bytes - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Result::WriteFailed;
        put += static_cast<std::size_t>(n);
    }
    return Result::Copied;
}

void BlockCopy::Close() noexcept {
    CloseFd(source_);
    CloseFd(destination_);
}

}  // namespace plenova::platform
