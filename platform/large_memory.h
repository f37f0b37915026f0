// Zeroed memory for large pictures. A block of a few megabytes or more comes straight from the
// system, in large pages where the system offers them: filling a fresh full-screen picture then
// costs one page fault per 2 MiB instead of one per 4 KiB, which is most of the cost of the first
// frame on a large screen. Smaller blocks come from the ordinary heap.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <new>

namespace plenova::platform {

// `bytes` of zeroed memory, aligned to at least 64 bytes; null when there is not enough.
void* AllocateLargeZeroed(std::size_t bytes) noexcept;
// Gives back a block of AllocateLargeZeroed, with the size it was asked for.
void FreeLarge(void* block, std::size_t bytes) noexcept;

struct LargeFree {
    std::size_t bytes = 0;
    void operator()(void* block) const noexcept { FreeLarge(block, bytes); }
};

// An array of `count` zeroed elements (of a type whose zero bytes are a value); null when
// there is not enough memory.
template <typename T>
using LargeArray = std::unique_ptr<T[], LargeFree>;

template <typename T>
LargeArray<T> MakeLargeArray(std::size_t count) noexcept {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return {nullptr, {}};
    const std::size_t bytes = count * sizeof(T);
    return {static_cast<T*>(AllocateLargeZeroed(bytes)), {bytes}};
}

// The same memory for standard containers.
template <typename T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}  // NOLINT: converting, as allocators are

    T* allocate(std::size_t count) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
        void* block = AllocateLargeZeroed(count * sizeof(T));
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t count) noexcept { FreeLarge(block, count * sizeof(T)); }

    friend bool operator==(const LargeAllocator&, const LargeAllocator&) noexcept { return true; }
};

}  // namespace plenova::platform
