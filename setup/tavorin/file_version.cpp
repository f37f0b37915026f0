#include "setup/tavorin/file_version.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "platform/file_io.h"

namespace plenova::tavorin {
namespace {

class SpanSource : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const noexcept override { return bytes_.size(); }
    bool Read(std::uint64_t offset, void* out, std::size_t count) const noexcept override {
        if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
        if (count != 0) std::memcpy(out, bytes_.data() + offset, count);
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

// Positional reads on an open file through one fixed block: the readers ask for a few bytes at a
// time, mostly close together (header tables, notes, directory entries), and a system call for
// each would make a file of many headers slow. Only the block is ever held in memory.
class FileSource : public ByteSource {
public:
    FileSource(int fd, std::uint64_t size, const std::filesystem::path& path)
        : fd_(fd), size_(size), path_(path), block_(kBlockBytes) {}
    std::uint64_t Size() const noexcept override { return size_; }
    bool Read(std::uint64_t offset, void* out, std::size_t count) const noexcept override {
        if (offset > size_ || count > size_ - offset) return false;
        auto* dest = static_cast<std::byte*>(out);
        try {
            while (count > 0) {
                if (offset >= blockStart_ && offset - blockStart_ < blockLength_) {
                    const std::size_t at = static_cast<std::size_t>(offset - blockStart_);
                    const std::size_t n = std::min(count, blockLength_ - at);
                    std::memcpy(dest, block_.data() + at, n);
                    dest += n;
                    offset += n;
                    count -= n;
                } else if (count >= kBlockBytes) {
                    // Too large for the block: straight into the caller's buffer.
                    return platform::ReadAt(fd_, offset, {dest, count}, path_) == count;
                } else {
                    blockStart_ = offset & ~std::uint64_t{kAlign - 1};
                    blockLength_ = 0;
                    blockLength_ = platform::ReadAt(fd_, blockStart_, block_, path_);
                    // The file shrank meanwhile.
                    if (offset - blockStart_ >= blockLength_) return false;
                }
            }
            return true;
        } catch (const std::exception&) {  // unreadable: no version
            return false;
        }
    }

private:
    static constexpr std::size_t kBlockBytes = 64 * 1024;
    static constexpr std::size_t kAlign = 4096;
    int fd_;
    std::uint64_t size_;
    const std::filesystem::path& path_;
    mutable std::vector<std::byte> block_;
    mutable std::uint64_t blockStart_ = 0;
    mutable std::size_t blockLength_ = 0;
};

// Little- or big-endian integers at an offset of the source.
struct Reader {
    const ByteSource& src;
    bool bigEndian = false;

    template <std::size_t N>
    std::optional<std::uint64_t> Unsigned(std::uint64_t offset) const noexcept {
        std::array<std::uint8_t, N> b{};
        if (!src.Read(offset, b.data(), N)) return std::nullopt;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < N; ++i)
            v |= std::uint64_t{b[bigEndian ? N - 1 - i : i]} << (8 * i);
        return v;
    }
    std::optional<std::uint64_t> U16(std::uint64_t o) const noexcept { return Unsigned<2>(o); }
    std::optional<std::uint64_t> U32(std::uint64_t o) const noexcept { return Unsigned<4>(o); }
    std::optional<std::uint64_t> U64(std::uint64_t o) const noexcept { return Unsigned<8>(o); }
};

// ----- PE -----

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::size_t kSectionHeaderSize = 40;
// The Windows loader refuses more sections than this; the rest of a longer table is not looked at.
constexpr unsigned kMaxPeSections = 96;
// A resource directory of our kind holds a handful of entries; a claim of 131070 is only walked
// this far.
constexpr std::uint64_t kMaxDirectoryEntries = 1024;

// Maps a relative virtual address to a file offset through the section table; only addresses
// backed by the section's raw data in the file count.
std::optional<std::uint64_t> RvaToOffset(const Reader& r, std::uint64_t sectionTable,
                                         unsigned sectionCount, std::uint64_t rva,
                                         std::uint64_t length) {
    for (unsigned i = 0; i < sectionCount; ++i) {
        const std::uint64_t h = sectionTable + std::uint64_t{i} * kSectionHeaderSize;
        const auto va = r.U32(h + 12);
        const auto rawSize = r.U32(h + 16);
        const auto rawOffset = r.U32(h + 20);
        if (!va || !rawSize || !rawOffset) return std::nullopt;
        if (rva < *va || rva - *va >= *rawSize) continue;
        const std::uint64_t inSection = rva - *va;
        if (length > *rawSize - inSection) return std::nullopt;
        const std::uint64_t offset = *rawOffset + inSection;
        if (offset > r.src.Size() || length > r.src.Size() - offset) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

struct DirectoryEntry {
    std::uint32_t name = 0;
    std::uint32_t target = 0;  // high bit: a subdirectory
};

// The first entry of a resource directory whose ID matches `id` (any entry when `id` is empty).
std::optional<DirectoryEntry> FindEntry(const Reader& r, std::uint64_t dirOffset,
                                        std::optional<std::uint32_t> id) {
    const auto named = r.U16(dirOffset + 12);
    const auto ids = r.U16(dirOffset + 14);
    if (!named || !ids) return std::nullopt;
    const std::uint64_t count = std::min(*named + *ids, kMaxDirectoryEntries);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t e = dirOffset + 16 + i * 8;
        const auto name = r.U32(e);
        const auto target = r.U32(e + 4);
        if (!name || !target) return std::nullopt;  // entries past the end of the file
        DirectoryEntry entry{static_cast<std::uint32_t>(*name),
                             static_cast<std::uint32_t>(*target)};
        if (!id) return entry;
        if ((entry.name & 0x80000000u) == 0 && entry.name == *id) return entry;
    }
    return std::nullopt;
}

std::optional<FileVersion> ParseVersionInfo(const Reader& r, std::uint64_t offset,
                                            std::uint64_t size) {
    // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO\0", padding to 32 bits,
    // then VS_FIXEDFILEINFO.
    static constexpr char16_t kKey[] = u"VS_VERSION_INFO";
    constexpr std::uint64_t kKeyBytes = sizeof kKey;  // 32, the NUL included
    constexpr std::uint64_t kValueOffset = (6 + kKeyBytes + 3) & ~std::uint64_t{3};
    constexpr std::uint64_t kFixedInfoSize = 52;
    if (size < kValueOffset + kFixedInfoSize) return std::nullopt;
    const auto length = r.U16(offset);
    const auto valueLength = r.U16(offset + 2);
    if (!length || !valueLength) return std::nullopt;
    if (*length > size || *length < kValueOffset + kFixedInfoSize) return std::nullopt;
    if (*valueLength < kFixedInfoSize) return std::nullopt;
    for (std::size_t i = 0; i < kKeyBytes / 2; ++i) {
        const auto c = r.U16(offset + 6 + 2 * i);
        if (!c || *c != static_cast<std::uint64_t>(kKey[i])) return std::nullopt;
    }
    const std::uint64_t info = offset + kValueOffset;
    const auto signature = r.U32(info);
    const auto ms = r.U32(info + 8);
    const auto ls = r.U32(info + 12);
    if (!signature || !ms || !ls || *signature != kFixedFileInfoSignature) return std::nullopt;
    return FileVersion{static_cast<std::uint16_t>(*ms >> 16), static_cast<std::uint16_t>(*ms),
                       static_cast<std::uint16_t>(*ls >> 16), static_cast<std::uint16_t>(*ls)};
}

// ----- ELF -----

constexpr std::uint32_t kShtNote = 7;
constexpr std::uint32_t kPtNote = 4;
// Header table entries larger than this are not ELF as any tool writes it (64 bytes at most).
constexpr std::uint64_t kMaxHeaderEntrySize = 128;

// What one file may cost, whatever its headers claim: every section and segment may name the same
// huge note area, so each distinct area is walked once, and all walks together stop after a fixed
// number of areas, notes and bytes. Our version note sits among the first few notes of a file;
// real files have a handful of note areas of a few hundred bytes.
struct NoteBudget {
    static constexpr std::size_t kMaxAreas = 64;
    unsigned notes = 4096;
    std::uint64_t bytes = 4 * 1024 * 1024;
    std::array<std::pair<std::uint64_t, std::uint64_t>, kMaxAreas> walked{};  // offset, end
    std::size_t walkedCount = 0;

    bool Spent() const noexcept { return notes == 0 || bytes == 0 || walkedCount == kMaxAreas; }
    // False when [offset, end) overlaps an area walked before (it was looked through, or is a
    // hostile copy of one) or no more areas may be walked; otherwise records it.
    bool Claim(std::uint64_t offset, std::uint64_t end) noexcept {
        if (Spent()) return false;
        for (std::size_t i = 0; i < walkedCount; ++i)
            if (offset < walked[i].second && walked[i].first < end) return false;
        walked[walkedCount++] = {offset, end};
        return true;
    }
};

// Looks through the notes in [offset, offset + size) for the version note.
std::optional<FileVersion> FindVersionNote(const Reader& r, std::uint64_t offset,
                                           std::uint64_t size, std::uint64_t align,
                                           NoteBudget& budget) {
    if (offset > r.src.Size() || size > r.src.Size() - offset || size < 12) return std::nullopt;
    const std::uint64_t end = offset + size;
    if (!budget.Claim(offset, end)) return std::nullopt;
    align = align == 8 ? 8 : 4;
    const auto up = [align](std::uint64_t v) { return (v + align - 1) & ~(align - 1); };
    std::uint64_t at = offset;
    while (end - at >= 12) {  // each turn moves on by at least the 12-byte note header
        if (budget.notes == 0 || budget.bytes == 0) return std::nullopt;
        --budget.notes;
        const auto nameSize = r.U32(at);
        const auto descSize = r.U32(at + 4);
        const auto type = r.U32(at + 8);
        if (!nameSize || !descSize || !type) return std::nullopt;
        const std::uint64_t name = at + 12;
        const std::uint64_t desc = name + up(*nameSize);
        if (desc > end || *descSize > end - desc) return std::nullopt;
        if (*nameSize == sizeof kVersionNoteName && *type == kVersionNoteType && *descSize == 8) {
            char text[sizeof kVersionNoteName];
            if (!r.src.Read(name, text, sizeof text)) return std::nullopt;
            if (std::memcmp(text, kVersionNoteName, sizeof text) == 0) {
                const auto a = r.U16(desc), b = r.U16(desc + 2), c = r.U16(desc + 4),
                           d = r.U16(desc + 6);
                if (!a || !b || !c || !d) return std::nullopt;
                return FileVersion{static_cast<std::uint16_t>(*a), static_cast<std::uint16_t>(*b),
                                   static_cast<std::uint16_t>(*c),
                                   static_cast<std::uint16_t>(*d)};
            }
        }
        const std::uint64_t next = desc + up(*descSize);
        if (next > end) break;
        budget.bytes -= std::min(budget.bytes, next - at);
        at = next;
    }
    return std::nullopt;
}

// One header table (sections or program headers) of an ELF file.
struct HeaderTable {
    std::uint64_t offset = 0;
    std::uint64_t entrySize = 0;
    std::uint64_t count = 0;
};

}  // namespace

std::optional<FileVersion> ReadPeVersion(const ByteSource& bytes) noexcept {
    const Reader r{bytes};
    const auto mz = r.U16(0);
    const auto peOffset = r.U32(0x3C);
    if (!mz || *mz != 0x5A4D || !peOffset) return std::nullopt;
    const auto signature = r.U32(*peOffset);
    if (!signature || *signature != 0x00004550) return std::nullopt;  // "PE\0\0"
    const std::uint64_t coff = *peOffset + 4;
    const auto sectionCount = r.U16(coff + 2);
    const auto optionalSize = r.U16(coff + 16);
    if (!sectionCount || !optionalSize) return std::nullopt;
    const std::uint64_t optional = coff + 20;
    const auto magic = r.U16(optional);
    if (!magic) return std::nullopt;
    std::uint64_t dirCountAt = 0;
    if (*magic == 0x10B)
        dirCountAt = 92;   // PE32
    else if (*magic == 0x20B)
        dirCountAt = 108;  // PE32+
    else
        return std::nullopt;
    const auto dirCount = r.U32(optional + dirCountAt);
    constexpr unsigned kResourceDirectory = 2;
    const std::uint64_t resourceEntry = dirCountAt + 4 + kResourceDirectory * 8;
    if (!dirCount || *dirCount <= kResourceDirectory || resourceEntry + 8 > *optionalSize)
        return std::nullopt;
    const auto resourceRva = r.U32(optional + resourceEntry);
    const auto resourceSize = r.U32(optional + resourceEntry + 4);
    if (!resourceRva || !resourceSize || *resourceRva == 0 || *resourceSize == 0)
        return std::nullopt;
    const std::uint64_t sections = optional + *optionalSize;
    const unsigned count = std::min(static_cast<unsigned>(*sectionCount), kMaxPeSections);

    // Three fixed levels: type RT_VERSION, then the first name, then the first language.
    const auto directoryAt = [&](const DirectoryEntry& e) -> std::optional<std::uint64_t> {
        if ((e.target & 0x80000000u) == 0) return std::nullopt;
        return RvaToOffset(r, sections, count, *resourceRva + (e.target & 0x7FFFFFFFu), 16);
    };
    const auto root = RvaToOffset(r, sections, count, *resourceRva, 16);
    if (!root) return std::nullopt;
    const auto type = FindEntry(r, *root, kRtVersion);
    if (!type) return std::nullopt;
    const auto nameDir = directoryAt(*type);
    if (!nameDir) return std::nullopt;
    const auto name = FindEntry(r, *nameDir, std::nullopt);
    if (!name) return std::nullopt;
    const auto languageDir = directoryAt(*name);
    if (!languageDir) return std::nullopt;
    const auto language = FindEntry(r, *languageDir, std::nullopt);
    if (!language || (language->target & 0x80000000u) != 0) return std::nullopt;
    const auto dataEntry =
        RvaToOffset(r, sections, count, *resourceRva + language->target, 16);
    if (!dataEntry) return std::nullopt;
    const auto dataRva = r.U32(*dataEntry);
    const auto dataSize = r.U32(*dataEntry + 4);
    if (!dataRva || !dataSize) return std::nullopt;
    const auto data = RvaToOffset(r, sections, count, *dataRva, *dataSize);
    if (!data) return std::nullopt;
    return ParseVersionInfo(r, *data, *dataSize);
}

std::optional<FileVersion> ReadElfVersionNote(const ByteSource& bytes) noexcept {
    std::array<std::uint8_t, 6> ident{};
    if (!bytes.Read(0, ident.data(), ident.size())) return std::nullopt;
    if (ident[0] != 0x7F || ident[1] != 'E' || ident[2] != 'L' || ident[3] != 'F')
        return std::nullopt;
    const bool is64 = ident[4] == 2;
    if (ident[4] != 1 && !is64) return std::nullopt;
    if (ident[5] != 1 && ident[5] != 2) return std::nullopt;
    const Reader r{bytes, ident[5] == 2};
    const auto word = [&](std::uint64_t o) { return is64 ? r.U64(o) : r.U32(o); };

    const auto table = [&](std::uint64_t offsetAt, std::uint64_t entrySizeAt,
                           std::uint64_t countAt, std::uint64_t minEntrySize) {
        const auto offset = word(offsetAt);
        const auto entrySize = r.U16(entrySizeAt);
        const auto count = r.U16(countAt);
        if (!offset || !entrySize || !count || *offset == 0 || *entrySize < minEntrySize ||
            *entrySize > kMaxHeaderEntrySize)
            return HeaderTable{};
        // Entries past the end of the file are never read.
        return HeaderTable{*offset, *entrySize, std::min(*count, bytes.Size() / *entrySize + 1)};
    };
    NoteBudget budget;

    const HeaderTable sections = table(is64 ? 0x28 : 0x20, is64 ? 0x3A : 0x2E,
                                       is64 ? 0x3C : 0x30, is64 ? 64 : 40);
    for (std::uint64_t i = 0; i < sections.count && !budget.Spent(); ++i) {
        const std::uint64_t h = sections.offset + i * sections.entrySize;
        const auto type = r.U32(h + 4);
        if (!type) break;
        if (*type != kShtNote) continue;
        const auto offset = word(h + (is64 ? 24 : 16));
        const auto size = word(h + (is64 ? 32 : 20));
        const auto align = word(h + (is64 ? 48 : 32));
        if (!offset || !size || !align) break;
        if (auto v = FindVersionNote(r, *offset, *size, *align, budget)) return v;
    }

    const HeaderTable segments = table(is64 ? 0x20 : 0x1C, is64 ? 0x36 : 0x2A,
                                       is64 ? 0x38 : 0x2C, is64 ? 56 : 32);
    for (std::uint64_t i = 0; i < segments.count && !budget.Spent(); ++i) {
        const std::uint64_t h = segments.offset + i * segments.entrySize;
        const auto type = r.U32(h);
        if (!type) break;
        if (*type != kPtNote) continue;
        const auto offset = word(h + (is64 ? 8 : 4));
        const auto size = word(h + (is64 ? 32 : 16));
        const auto align = word(h + (is64 ? 48 : 28));
        if (!offset || !size || !align) break;
        if (auto v = FindVersionNote(r, *offset, *size, *align, budget)) return v;
    }
    return std::nullopt;
}

std::optional<FileVersion> ReadFileVersion(const ByteSource& bytes) noexcept {
    std::array<std::uint8_t, 2> magic{};
    if (!bytes.Read(0, magic.data(), magic.size())) return std::nullopt;
    if (magic[0] == 'M' && magic[1] == 'Z') return ReadPeVersion(bytes);
    if (magic[0] == 0x7F && magic[1] == 'E') return ReadElfVersionNote(bytes);
    return std::nullopt;
}

std::optional<FileVersion> ReadFileVersion(std::span<const std::uint8_t> bytes) noexcept {
    return ReadFileVersion(SpanSource(bytes));
}

std::optional<FileVersion> ReadFileVersion(const std::filesystem::path& file) noexcept {
    try {
        // A FIFO, device or folder is refused without blocking.
        const platform::UniqueFd fd = platform::OpenForReading(file);
        return ReadFileVersion(FileSource(fd.Get(), platform::FileSize(fd.Get(), file), file));
    } catch (const std::exception&) {  // unreadable or damaged: no version
        return std::nullopt;
    }
}

}  // namespace plenova::tavorin
