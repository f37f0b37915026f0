// Fixed file versions of executables and libraries: the version resource of Windows PE files
// (PE32 and PE32+) and the version note of the machine's own ELF programs and libraries.
//
// The files are untrusted. The readers check every offset and size against the file, never read
// past its end, never allocate more than a few bytes whatever the file claims, and walk a fixed
// number of levels (no recursion or loop that the file's contents can make endless). What one
// file may cost is capped whatever its tables claim: at most 96 PE sections and 1024 entries of a
// resource directory are looked at; each ELF note area is walked once (areas overlapping one
// walked before are passed over), and all of them together at most 64 areas, 4096 notes and
// 4 MiB. A file is read through one 64 KiB block; only regular files are opened.
//
// The version note is an ELF note (in a section named ".note.plenova.version", found through
// the section headers or, when those are stripped, the PT_NOTE program headers) with the name
// "Plenova", type kVersionNoteType and an 8-byte description: four 16-bit parts major, minor,
// patch, build in the file's byte order, like the four parts of a Windows file version.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace plenova::tavorin {

inline constexpr char kVersionNoteName[] = "Plenova";
inline constexpr std::uint32_t kVersionNoteType = 0x100;

// Four 16-bit parts, most significant first (dwFileVersionMS high word first); ordered as one
// 64-bit number.
struct FileVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t patch = 0;
    std::uint16_t build = 0;

    std::uint64_t Packed() const noexcept {
        return (std::uint64_t{major} << 48) | (std::uint64_t{minor} << 32) |
               (std::uint64_t{patch} << 16) | build;
    }
    friend std::strong_ordering operator<=>(const FileVersion& a, const FileVersion& b) noexcept {
        return a.Packed() <=> b.Packed();
    }
    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// Random access to the bytes of a file or a buffer. Read fails (false) when the range is not
// wholly inside the bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const noexcept = 0;
    virtual bool Read(std::uint64_t offset, void* out, std::size_t count) const noexcept = 0;
};

// The version of a PE or ELF file (told apart by their first bytes); empty when the file is
// neither, carries no version, or is damaged where the version would be.
std::optional<FileVersion> ReadFileVersion(const ByteSource& bytes) noexcept;
std::optional<FileVersion> ReadFileVersion(std::span<const std::uint8_t> bytes) noexcept;
// Reads only the parts of the file it needs; empty also when the file cannot be opened.
std::optional<FileVersion> ReadFileVersion(const std::filesystem::path& file) noexcept;

// The readers of each format, for callers that know which one they have.
std::optional<FileVersion> ReadPeVersion(const ByteSource& bytes) noexcept;
std::optional<FileVersion> ReadElfVersionNote(const ByteSource& bytes) noexcept;

}  // namespace plenova::tavorin
