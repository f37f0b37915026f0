// Copying a file's bytes block by block, for copies that show progress and can be cancelled
// between blocks. The destination is replaced whole: the bytes go to a new file beside it
// (platform/file_io.h, PendingFile) that only Commit puts in its place, so a failure, a cancel
// or a kill at any moment leaves the old destination as it was. A block is copied inside the kernel where the two files' file systems allow it
// (no bytes pass through the program), else through the caller's buffer; either way at most one
// block is in flight, so memory stays bounded by the block size.
//
// Paths are Windows paths of the current machine (a path starting with "/" is a host path, as
// in files.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <memory>
#include <string>

#include "platform/file_io.h"

namespace plenova::platform {

class BlockCopy {
public:
    enum class Result { Copied, ReadFailed, WriteFailed };

    BlockCopy(BlockCopy&& other) noexcept;
    BlockCopy(const BlockCopy&) = delete;
    BlockCopy& operator=(const BlockCopy&) = delete;
    ~BlockCopy();

    // Opens a regular file for reading and takes its length; empty when either fails.
    static std::optional<BlockCopy> OpenSource(const std::string& source);
    std::int64_t SourceLength() const noexcept { return length_; }

    // Starts the new version of the destination (nothing is changed yet); false when that
    // fails, and for a destination that is a folder, FIFO or device.
    bool CreateDestination(const std::string& destination);

    // Reserves room for the source's length in the destination without changing its size, so
    // that its blocks are allocated once. False only when the file system has no room for it
    // (then every write would fail too); where reserving is not supported, true.
    bool ReserveDestination();

    // Copies the next `bytes` bytes of the source to the end of the destination. `buffer` holds
    // at least `bytes` bytes and is used where the kernel cannot copy. ReadFailed also when the
    // source ends early.
    Result CopyBlock(std::span<std::byte> buffer, std::size_t bytes);

    // Gives the new version the source's modification time and puts it in the destination's
    // place; false when that fails (the destination is then unchanged). Closes both files.
    bool Commit();

    // Closes both files, dropping an uncommitted destination (also done on destruction).
    void Close() noexcept;

private:
    BlockCopy(int source, std::int64_t length) : source_(source), length_(length) {}
    Result CopyThroughBuffer(std::span<std::byte> buffer, std::size_t bytes);

    int source_ = -1;
    std::unique_ptr<PendingFile> destination_;
    std::string destinationName_;
    std::int64_t length_ = 0;
    bool kernelCopy_ = true;
};

}  // namespace plenova::platform
