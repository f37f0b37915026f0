#include "platform/large_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace plenova::platform {
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
// From here on a block is mapped on its own, in whole large pages.
constexpr std::size_t kMappedFrom = kLargePage;

std::size_t MappedSize(std::size_t bytes) {
    return (bytes + kLargePage - 1) / kLargePage * kLargePage;
}

}  // namespace

void* AllocateLargeZeroed(std::size_t bytes) noexcept {
    if (bytes < kMappedFrom) {
        // The heap's blocks are 16-byte aligned; the pictures' rows want 64.
        void* block = nullptr;
        const std::size_t rounded = (std::max<std::size_t>(bytes, 1) + 63) / 64 * 64;
        if (::posix_memalign(&block, 64, rounded) != 0) return nullptr;
        return std::memset(block, 0, rounded);
    }
    if (bytes > std::numeric_limits<std::size_t>::max() - 2 * kLargePage) return nullptr;
    const std::size_t size = MappedSize(bytes);
    // A large page must start on a large-page boundary: map one more, then give back the ends.
    void* mapped = ::mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kLargePage - 1) / kLargePage * kLargePage;
    if (aligned > start) ::munmap(mapped, aligned - start);
    const std::uintptr_t end = start + size + kLargePage;
    if (end > aligned + size)
        ::munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
    // Only advice: where large pages are off, the block is made of small ones.
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void FreeLarge(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (bytes < kMappedFrom) {
        std::free(block);
        return;
    }
    ::munmap(block, MappedSize(bytes));
}

}  // namespace plenova::platform
