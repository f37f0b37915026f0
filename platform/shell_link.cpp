#include "platform/shell_link.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

#include "base/utf8.h"
#include "platform/file_io.h"
#include "platform/text_conversion.h"

namespace plenova::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kHasLinkTargetIdList = 0x01;
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kHasWorkingDir = 0x10;
constexpr std::uint32_t kHasArguments = 0x20;
constexpr std::uint32_t kIsUnicode = 0x80;

constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;

// {00021401-0000-0000-C000-000000000046}, the shell link class, in its stored byte order.
constexpr std::uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {20D04FE0-3AEA-1069-A2D8-08002B30309D}, My Computer.
constexpr std::uint8_t kMyComputerClsid[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                               0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put64(Bytes& out, std::uint64_t v) {
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}
void Set16(Bytes& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Set32(Bytes& out, std::size_t at, std::uint32_t v) {
    Set16(out, at, v & 0xFFFF);
    Set16(out, at + 2, v >> 16);
}
void PutBytes(Bytes& out, std::string_view s) { out.insert(out.end(), s.begin(), s.end()); }

std::u16string ToUtf16(std::string_view utf8) {
    std::u16string out;
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Char c = DecodeUtf8(utf8, at);
        at += c.length;
        const char32_t cp = c.valid ? c.codePoint : U'\uFFFD';
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

void PutUtf16(Bytes& out, std::u16string_view s) {
    for (char16_t c : s) Put16(out, c);
}

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// The path in the ANSI code page; characters it cannot hold become "?" (the Unicode copy of the
// path is then the one that counts).
std::string ToAnsi(std::string_view utf8) {
    try {
        return ToShiftJis(utf8);
    } catch (const std::exception&) {  // not all of it fits: character by character
        std::string out;
        for (std::size_t at = 0; at < utf8.size();) {
            const Utf8Char c = DecodeUtf8(utf8, at);
            const std::string_view one = utf8.substr(at, c.length);
            at += c.length;
            try {
                out += ToShiftJis(one);
            } catch (const std::exception&) {  // does not fit the code page
                out += '?';
            }
        }
        return out;
    }
}

// FAT date and time words (UTC), zero when the time is unknown or out of the FAT range.
std::uint32_t FatDateTime(const std::optional<std::int64_t>& ns) {
    if (!ns) return 0;
    const std::time_t seconds = static_cast<std::time_t>(*ns / 1000000000);
    std::tm tm{};
    if (::gmtime_r(&seconds, &tm) == nullptr || tm.tm_year < 80 || tm.tm_year > 207) return 0;
    const std::uint32_t date =
        ((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | static_cast<unsigned>(tm.tm_mday);
    const std::uint32_t time = (tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2);
    return date | (time << 16);
}

// 100-nanosecond steps since 1601-01-01 UTC.
std::uint64_t FileTime(const std::optional<std::int64_t>& ns) {
    constexpr std::int64_t kEpochDifference = 116444736000000000;  // 1601 to 1970
    if (!ns) return 0;
    const std::int64_t steps = *ns / 100 + kEpochDifference;
    return steps > 0 ? static_cast<std::uint64_t>(steps) : 0;
}

// Splits "X:\a\b" into its components; throws when it is not an absolute drive path.
std::vector<std::string> Components(std::string_view path) {
    const bool drivePath =
        path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (!drivePath) throw std::invalid_argument("not an absolute drive path");
    std::vector<std::string> parts;
    std::size_t start = 3;
    while (start < path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// One file-entry shell item: 8.3 name (ANSI) and the extension block 0xBEEF0004 (version 3)
// with the long name in Unicode.
Bytes FileEntryItem(const std::string& name, bool folder, const ShellLinkTarget& target,
                    bool last) {
    Bytes item;
    Put16(item, 0);  // size, set below
    item.push_back(folder ? 0x31 : 0x32);
    item.push_back(0);
    Put32(item, last && !folder ? static_cast<std::uint32_t>(target.size) : 0);
    const std::uint32_t fat = last ? FatDateTime(target.writeTimeNs) : 0;
    Put32(item, fat);
    Put16(item, folder ? kAttributeDirectory : kAttributeArchive);
    PutBytes(item, ShortName(name));
    item.push_back(0);
    if (item.size() % 2 != 0) item.push_back(0);

    const std::size_t extension = item.size();
    Put16(item, 0);  // size, set below
    Put16(item, 3);
    Put32(item, 0xBEEF0004);
    Put32(item, fat);  // creation
    Put32(item, fat);  // last access
    Put16(item, 0x14);
    Put16(item, 0);  // no localised name
    PutUtf16(item, ToUtf16(name));
    Put16(item, 0);
    Put16(item, static_cast<std::uint32_t>(extension));
    if (item.size() > 0xFFFF) throw std::invalid_argument("path component too long");
    Set16(item, extension, static_cast<std::uint32_t>(item.size() - extension));
    Set16(item, 0, static_cast<std::uint32_t>(item.size()));
    return item;
}

Bytes TargetIdList(const ShellLinkTarget& target, const std::vector<std::string>& parts) {
    Bytes list;
    // My Computer.
    Put16(list, 20);
    list.push_back(0x1F);
    list.push_back(0x50);
    list.insert(list.end(), std::begin(kMyComputerClsid), std::end(kMyComputerClsid));
    // The drive, "C:\" padded to the size shells use.
    Put16(list, 25);
    list.push_back(0x2F);
    std::string drive = target.windowsPath.substr(0, 3);
    drive[0] = static_cast<char>(drive[0] & ~0x20);
    PutBytes(list, drive);
    list.insert(list.end(), 25 - 2 - 1 - 3, 0);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const Bytes item = FileEntryItem(parts[i], !last || target.isFolder, target, last);
        list.insert(list.end(), item.begin(), item.end());
    }
    Put16(list, 0);  // terminal item
    if (list.size() > 0xFFFF) throw std::invalid_argument("path too long");
    Bytes out;
    Put16(out, static_cast<std::uint32_t>(list.size()));
    out.insert(out.end(), list.begin(), list.end());
    return out;
}

Bytes LinkInfo(const ShellLinkTarget& target) {
    const bool unicode = !IsAscii(target.windowsPath);
    const std::uint32_t headerSize = unicode ? 0x24 : 0x1C;
    Bytes info(headerSize, 0);
    Set32(info, 4, headerSize);
    Set32(info, 8, 0x1);  // VolumeIDAndLocalBasePath

    Set32(info, 12, static_cast<std::uint32_t>(info.size()));
    Put32(info, 17);  // VolumeID: size, drive type, serial number, label offset, empty label
    Put32(info, target.driveType);
    Put32(info, 0);
    Put32(info, 0x10);
    info.push_back(0);

    Set32(info, 16, static_cast<std::uint32_t>(info.size()));
    PutBytes(info, ToAnsi(target.windowsPath));
    info.push_back(0);
    Set32(info, 24, static_cast<std::uint32_t>(info.size()));  // common path suffix: empty
    info.push_back(0);
    if (unicode) {
        if (info.size() % 2 != 0) info.push_back(0);
        Set32(info, 28, static_cast<std::uint32_t>(info.size()));
        PutUtf16(info, ToUtf16(target.windowsPath));
        Put16(info, 0);
        Set32(info, 32, static_cast<std::uint32_t>(info.size()));
        Put16(info, 0);
    }
    Set32(info, 0, static_cast<std::uint32_t>(info.size()));
    return info;
}

void PutStringData(Bytes& out, std::string_view utf8) {
    const std::u16string s = ToUtf16(utf8);
    if (s.size() > 0xFFFF) throw std::invalid_argument("string too long for a shell link");
    Put16(out, static_cast<std::uint32_t>(s.size()));
    PutUtf16(out, s);
}

std::string WorkingFolder(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) return std::string(path);
    return std::string(path.substr(0, slash <= 2 ? 3 : slash));
}

bool IsShortNameChar(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= '0' && c <= '9') return true;
    return std::string_view("$%'-_@~`!(){}^#&").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

}  // namespace

std::string ShortName(std::string_view longName) {
    std::string upper(longName);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::size_t dot = upper.rfind('.');
    const std::string_view base =
        std::string_view(upper).substr(0, dot == std::string::npos ? upper.size() : dot);
    const std::string_view ext =
        dot == std::string::npos ? std::string_view() : std::string_view(upper).substr(dot + 1);

    const auto fits = [](std::string_view part, std::size_t max) {
        if (part.size() > max) return false;
        for (unsigned char c : part)
            if (!IsShortNameChar(c)) return false;
        return true;
    };
    if (!base.empty() && fits(base, 8) && fits(ext, 3)) return upper;

    // Every character outside the 8.3 set (a UTF-8 sequence counts as one) becomes "_";
    // blanks and dots are dropped, as file systems do.
    const auto clean = [](std::string_view part) {
        std::string out;
        for (std::size_t at = 0; at < part.size();) {
            const Utf8Char c = DecodeUtf8(part, at);
            if (c.length == 1 && IsShortNameChar(static_cast<unsigned char>(part[at])))
                out += part[at];
            else if (part[at] != ' ' && part[at] != '.')
                out += '_';
            at += c.length;
        }
        return out;
    };
    std::string shortBase = clean(base).substr(0, 6);
    if (shortBase.empty()) shortBase.push_back('_');
    std::string shortExt = clean(ext).substr(0, 3);
    shortBase += "~1";
    if (!shortExt.empty()) {
        shortBase += '.';
        shortBase += shortExt;
    }
    return shortBase;
}

std::vector<std::uint8_t> BuildShellLink(const ShellLinkTarget& target,
                                         std::string_view arguments) {
    const std::vector<std::string> parts = Components(target.windowsPath);
    Bytes out;
    std::uint32_t flags = kHasLinkTargetIdList | kHasLinkInfo | kHasWorkingDir | kIsUnicode;
    if (!arguments.empty()) flags |= kHasArguments;

    Put32(out, 0x4C);
    out.insert(out.end(), std::begin(kLinkClsid), std::end(kLinkClsid));
    Put32(out, flags);
    Put32(out, target.isFolder ? kAttributeDirectory : kAttributeArchive);
    const std::uint64_t time = FileTime(target.writeTimeNs);
    Put64(out, time);  // creation
    Put64(out, time);  // access
    Put64(out, time);  // write
    Put32(out, target.isFolder ? 0 : static_cast<std::uint32_t>(target.size));
    Put32(out, 0);  // icon index
    Put32(out, 1);  // SW_SHOWNORMAL
    Put16(out, 0);  // no hot key
    Put16(out, 0);
    Put32(out, 0);
    Put32(out, 0);

    const Bytes idList = TargetIdList(target, parts);
    out.insert(out.end(), idList.begin(), idList.end());
    const Bytes info = LinkInfo(target);
    out.insert(out.end(), info.begin(), info.end());
    PutStringData(out, WorkingFolder(target.windowsPath));
    if (!arguments.empty()) PutStringData(out, arguments);
    Put32(out, 0);  // terminal extra-data block
    return out;
}

void WriteShellLinkFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    ReplaceFile(file, content, kShellLinkFileMode);
}

// ----- reading -----

namespace {

using Span = std::span<const std::uint8_t>;

constexpr std::uint32_t kHasName = 0x04;
constexpr std::uint32_t kHasRelativePath = 0x08;
constexpr std::uint32_t kHasIconLocation = 0x40;
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x01;

// A refusal while reading; turned into a ShellLinkError at the top.
struct Damaged {
    std::string message;
};

std::uint32_t Get16(Span bytes, std::size_t at, const char* what) {
    if (at > bytes.size() || bytes.size() - at < 2) throw Damaged{std::string(what) + " cut short"};
    return bytes[at] | (bytes[at + 1] << 8);
}
std::uint32_t Get32(Span bytes, std::size_t at, const char* what) {
    return Get16(bytes, at, what) | (Get16(bytes, at + 2, what) << 16);
}

std::string Utf16ToUtf8(Span bytes, std::size_t at, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = Get16(bytes, at + 2 * i, "Unicode text");
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            const char32_t low = Get16(bytes, at + 2 * i + 2, "Unicode text");
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, c);  // a lone surrogate becomes U+FFFD
    }
    return out;
}

// ANSI text in this machine's code page; bytes it cannot decode become U+FFFD one by one.
std::string AnsiToUtf8(std::string_view ansi) {
    try {
        return FromShiftJis(ansi);
    } catch (const std::exception&) {  // not all of it decodes: byte by byte
        std::string out;
        for (unsigned char c : ansi) AppendUtf8(out, c < 0x80 ? c : U'\uFFFD');
        return out;
    }
}

// A NUL-terminated ANSI string starting at `at` and ending before `end`.
std::string AnsiZ(Span bytes, std::size_t at, std::size_t end, const char* what) {
    if (at >= end || end > bytes.size()) throw Damaged{std::string(what) + " outside its block"};
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(at);
    const auto last = bytes.begin() + static_cast<std::ptrdiff_t>(end);
    const auto nul = std::find(first, last, 0);
    if (nul == last) throw Damaged{std::string(what) + " not terminated"};
    return AnsiToUtf8(std::string(first, nul));
}

// A NUL-terminated UTF-16 string starting at `at` and ending before `end`.
std::string Utf16Z(Span bytes, std::size_t at, std::size_t end, const char* what) {
    if (at >= end || end > bytes.size()) throw Damaged{std::string(what) + " outside its block"};
    for (std::size_t units = 0; at + 2 * units + 1 < end; ++units) {
        if (Get16(bytes, at + 2 * units, what) == 0) return Utf16ToUtf8(bytes, at, units);
    }
    throw Damaged{std::string(what) + " not terminated"};
}

// The local path of a LinkInfo block that starts at `at` and holds `size` bytes.
std::string LocalPath(Span bytes, std::size_t at, std::size_t size) {
    const std::size_t end = at + size;
    const std::uint32_t headerSize = Get32(bytes, at + 4, "link info");
    if (headerSize < 0x1C || headerSize > size) throw Damaged{"link info header of a wrong size"};
    const std::uint32_t flags = Get32(bytes, at + 8, "link info");
    if ((flags & kVolumeIdAndLocalBasePath) == 0) return "";
    if (headerSize >= 0x24) {
        const std::uint32_t unicodePath = Get32(bytes, at + 28, "link info");
        if (unicodePath != 0) {
            std::string path = Utf16Z(bytes, at + unicodePath, end, "Unicode local path");
            const std::uint32_t suffix = Get32(bytes, at + 32, "link info");
            if (suffix != 0) path += Utf16Z(bytes, at + suffix, end, "Unicode path suffix");
            return path;
        }
    }
    std::string path = AnsiZ(bytes, at + Get32(bytes, at + 16, "link info"), end, "local path");
    const std::uint32_t suffix = Get32(bytes, at + 24, "link info");
    if (suffix != 0) path += AnsiZ(bytes, at + suffix, end, "path suffix");
    return path;
}

// The long name of a file-entry item (its 0xBEEF0004 extension block), else its 8.3 name.
std::string FileEntryName(Span item) {
    if (item.size() < 15) throw Damaged{"file entry item cut short"};
    const std::string shortName = AnsiZ(item, 14, item.size(), "8.3 name");
    // The extension block's own offset is the item's last word (before the next item).
    const std::uint32_t extension = Get16(item, item.size() - 2, "file entry item");
    if (extension < 14 || extension + 8 > item.size() - 2 ||
        Get32(item, extension + 4, "file entry extension") != 0xBEEF0004)
        return shortName;
    const std::uint32_t version = Get16(item, extension + 2, "file entry extension");
    std::size_t name = extension + 20;  // version 3 (Windows XP)
    if (version >= 7) name = extension + 38 + (version >= 8 ? 4 : 0) + (version >= 9 ? 4 : 0);
    const std::size_t end = item.size() - 2;
    if (name >= end) return shortName;
    return Utf16Z(item, name, end, "long name");
}

// The path that a target item list spells with its drive and file-entry items; empty when it
// names something else (a network place, a special folder).
std::string IdListPath(Span list) {
    std::string path;
    for (std::size_t at = 0;;) {
        const std::uint32_t itemSize = Get16(list, at, "item list");
        if (itemSize == 0) return path;
        if (itemSize < 3 || itemSize > list.size() - at) throw Damaged{"item of a wrong size"};
        const Span item = list.subspan(at, itemSize);
        const std::uint8_t type = item[2];
        if (type == 0x2F) {
            path = AnsiZ(item, 3, item.size(), "drive item");
            if (path.size() < 2 || path[1] != ':') return "";
            if (path.back() != '\\') path += '\\';
        } else if ((type & 0x70) == 0x30) {
            if (path.empty()) return "";
            if (path.back() != '\\') path += '\\';
            path += FileEntryName(item);
        } else if (type != 0x1F) {
            return "";
        }
        at += itemSize;
    }
}

std::string StringData(Span bytes, std::size_t& at, bool unicode) {
    const std::uint32_t count = Get16(bytes, at, "string");
    at += 2;
    const std::size_t length = unicode ? 2 * std::size_t{count} : count;
    if (length > bytes.size() - at) throw Damaged{"string longer than the file"};
    std::string text =
        unicode ? Utf16ToUtf8(bytes, at, count)
                : AnsiToUtf8(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(at + count)));
    at += length;
    return text;
}

ShellLink Parse(Span bytes) {
    if (Get32(bytes, 0, "header") != 0x4C || bytes.size() < 0x4C ||
        !std::equal(std::begin(kLinkClsid), std::end(kLinkClsid), bytes.begin() + 4))
        throw Damaged{"not a shell link"};
    const std::uint32_t flags = Get32(bytes, 20, "header");
    ShellLink link;
    link.isFolder = (Get32(bytes, 24, "header") & kAttributeDirectory) != 0;
    std::size_t at = 0x4C;
    std::string idListPath;
    if (flags & kHasLinkTargetIdList) {
        const std::uint32_t size = Get16(bytes, at, "item list");
        if (size > bytes.size() - at - 2) throw Damaged{"item list longer than the file"};
        idListPath = IdListPath(bytes.subspan(at + 2, size));
        at += 2 + size;
    }
    if (flags & kHasLinkInfo) {
        const std::uint32_t size = Get32(bytes, at, "link info");
        if (size < 0x1C || size > bytes.size() - at) throw Damaged{"link info of a wrong size"};
        link.targetPath = LocalPath(bytes, at, size);
        at += size;
    }
    if (link.targetPath.empty()) link.targetPath = idListPath;
    const bool unicode = (flags & kIsUnicode) != 0;
    if (flags & kHasName) link.description = StringData(bytes, at, unicode);
    if (flags & kHasRelativePath) (void)StringData(bytes, at, unicode);
    if (flags & kHasWorkingDir) link.workingFolder = StringData(bytes, at, unicode);
    if (flags & kHasArguments) link.arguments = StringData(bytes, at, unicode);
    if (flags & kHasIconLocation) (void)StringData(bytes, at, unicode);
    return link;
}

}  // namespace

Result<ShellLink, ShellLinkError> ReadShellLink(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxShellLinkSize) return Failure{ShellLinkError{"file too large"}};
    try {
        return Parse(bytes);
    } catch (const Damaged& e) {
        return Failure{ShellLinkError{e.message}};
    }
}

Result<ShellLink, ShellLinkError> ReadShellLinkFile(const std::filesystem::path& file) {
    std::string bytes;
    try {
        bytes = ReadFileLimited(file, kMaxShellLinkSize);
    } catch (const NotRegularFileError&) {
        return Failure{ShellLinkError{file.string() + " is no regular file"}};
    } catch (const FileTooLargeError&) {
        return Failure{ShellLinkError{file.string() + ": file too large"}};
    } catch (const FileError& e) {
        return Failure{ShellLinkError{e.what()}};
    }
    auto link =
        ReadShellLink(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!link) return Failure{ShellLinkError{file.string() + ": " + link.error().message}};
    return link;
}

}  // namespace plenova::platform
