// Small Windows PE images for the version reader's tests and fuzz seeds: a DLL with a code
// section and a resource section holding an icon and, when asked, a version resource.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plenova::testing {

struct PeImage {
    std::vector<std::uint8_t> bytes;
    // File offsets of the places the hostile variants tamper with.
    std::size_t peHeader = 0;        // "PE\0\0"
    std::size_t optionalHeader = 0;
    std::size_t sectionTable = 0;    // the code section's header; the resource one follows
    std::size_t resourceRoot = 0;
    std::size_t versionTypeEntry = 0;  // the root's RT_VERSION entry
    std::size_t versionLanguageDir = 0;
    std::size_t versionDataEntry = 0;
    std::size_t versionInfo = 0;     // VS_VERSIONINFO
};

struct PeOptions {
    bool pe32Plus = false;
    std::optional<std::array<std::uint16_t, 4>> version;  // none: only the icon resource
    bool withResources = true;  // false: no resource section and no resource directory
};

namespace pe_detail {
inline void Set16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Set32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    Set16(b, at, v & 0xFFFF);
    Set16(b, at + 2, v >> 16);
}
}  // namespace pe_detail

inline PeImage MakePeImage(const PeOptions& options) {
    using pe_detail::Set16;
    using pe_detail::Set32;
    constexpr std::uint32_t kCodeRva = 0x1000, kResourceRva = 0x2000;
    constexpr std::size_t kCodeFile = 0x200, kResourceFile = 0x400, kResourceRaw = 0x200;
    PeImage image;
    auto& b = image.bytes;
    b.assign(options.withResources ? kResourceFile + kResourceRaw : kResourceFile, 0);

    b[0] = 'M';
    b[1] = 'Z';
    image.peHeader = 0x80;
    Set32(b, 0x3C, static_cast<std::uint32_t>(image.peHeader));
    b[0x80] = 'P';
    b[0x81] = 'E';
    const std::size_t coff = image.peHeader + 4;
    const std::uint32_t optionalSize = options.pe32Plus ? 240 : 224;
    Set16(b, coff, options.pe32Plus ? 0x8664 : 0x14C);
    Set16(b, coff + 2, options.withResources ? 2 : 1);
    Set16(b, coff + 16, optionalSize);
    Set16(b, coff + 18, options.pe32Plus ? 0x2022 : 0x2102);
    const std::size_t opt = image.optionalHeader = coff + 20;
    Set16(b, opt, options.pe32Plus ? 0x20B : 0x10B);
    Set32(b, opt + 32, 0x1000);  // section alignment
    Set32(b, opt + 36, 0x200);   // file alignment
    Set32(b, opt + 56, 0x3000);  // size of image
    Set32(b, opt + 60, 0x200);   // size of headers
    const std::size_t dirs = opt + (options.pe32Plus ? 112 : 96);
    Set32(b, dirs - 4, 16);  // number of data directories
    if (options.withResources) {
        Set32(b, dirs + 2 * 8, kResourceRva);
        Set32(b, dirs + 2 * 8 + 4, static_cast<std::uint32_t>(kResourceRaw));
    }

    const std::size_t sections = image.sectionTable = opt + optionalSize;
    const auto section = [&](std::size_t at, const char* name, std::uint32_t rva,
                             std::size_t file, std::size_t size, std::uint32_t flags) {
        for (std::size_t i = 0; name[i] != 0 && i < 8; ++i)
            b[at + i] = static_cast<std::uint8_t>(name[i]);
        Set32(b, at + 8, static_cast<std::uint32_t>(size));
        Set32(b, at + 12, rva);
        Set32(b, at + 16, static_cast<std::uint32_t>(size));
        Set32(b, at + 20, static_cast<std::uint32_t>(file));
        Set32(b, at + 36, flags);
    };
    section(sections, ".text", kCodeRva, kCodeFile, 0x200, 0x60000020);
    b[kCodeFile] = 0xC3;  // ret
    if (!options.withResources) return image;
    section(sections + 40, ".rsrc", kResourceRva, kResourceFile, kResourceRaw, 0x40000040);

    // The resource tree: type, name and language directories, then data entries and data.
    const std::size_t base = image.resourceRoot = kResourceFile;
    std::size_t next = 0;  // offset within the resource section
    const auto directory = [&](std::vector<std::pair<std::uint32_t, std::uint32_t>> entries) {
        const std::size_t at = next;
        Set16(b, base + at + 14, static_cast<std::uint32_t>(entries.size()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Set32(b, base + at + 16 + 8 * i, entries[i].first);
            Set32(b, base + at + 16 + 8 * i + 4, entries[i].second);
        }
        next += 16 + 8 * entries.size();
        return at;
    };
    constexpr std::uint32_t kSubdirectory = 0x80000000;
    const bool hasVersion = options.version.has_value();
    // Offsets are known in advance: root, two name directories, two language directories.
    const std::size_t rootSize = 16 + 8 * (hasVersion ? 2 : 1);
    const std::size_t iconNames = rootSize, iconLanguages = iconNames + 24;
    const std::size_t versionNames = iconLanguages + 24, versionLanguages = versionNames + 24;
    const std::size_t dataEntries = hasVersion ? versionLanguages + 24 : versionNames;
    const std::size_t iconData = dataEntries + 32, versionData = iconData + 8;

    std::vector<std::pair<std::uint32_t, std::uint32_t>> types{
        {3, kSubdirectory | static_cast<std::uint32_t>(iconNames)}};
    if (hasVersion) types.push_back({16, kSubdirectory | static_cast<std::uint32_t>(versionNames)});
    directory(types);
    image.versionTypeEntry = base + 16 + 8;
    directory({{1, kSubdirectory | static_cast<std::uint32_t>(iconLanguages)}});
    directory({{0x411, static_cast<std::uint32_t>(dataEntries)}});
    if (hasVersion) {
        directory({{1, kSubdirectory | static_cast<std::uint32_t>(versionLanguages)}});
        image.versionLanguageDir = base + next;
        directory({{0x411, static_cast<std::uint32_t>(dataEntries + 16)}});
    }
    Set32(b, base + dataEntries, kResourceRva + static_cast<std::uint32_t>(iconData));
    Set32(b, base + dataEntries + 4, 8);
    if (!hasVersion) return image;

    constexpr std::uint32_t kInfoSize = 40 + 52;
    image.versionDataEntry = base + dataEntries + 16;
    Set32(b, image.versionDataEntry, kResourceRva + static_cast<std::uint32_t>(versionData));
    Set32(b, image.versionDataEntry + 4, kInfoSize);
    const std::size_t info = image.versionInfo = base + versionData;
    Set16(b, info, kInfoSize);
    Set16(b, info + 2, 52);
    const std::u16string key = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < key.size(); ++i) Set16(b, info + 6 + 2 * i, key[i]);
    const auto& v = *options.version;
    Set32(b, info + 40, 0xFEEF04BD);
    Set32(b, info + 44, 0x00010000);
    Set32(b, info + 48, (std::uint32_t{v[0]} << 16) | v[1]);
    Set32(b, info + 52, (std::uint32_t{v[2]} << 16) | v[3]);
    Set32(b, info + 56, (std::uint32_t{v[0]} << 16) | v[1]);  // product version
    Set32(b, info + 60, (std::uint32_t{v[2]} << 16) | v[3]);
    return image;
}

}  // namespace plenova::testing
