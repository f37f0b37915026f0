#include "platform/machine_formats.h"

#include <algorithm>
#include <exception>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "base/utf8.h"
#include "platform/text_conversion.h"

namespace plenova::platform {

namespace fs = std::filesystem;

namespace path_text {

std::vector<std::string> SplitComponents(std::string_view text, bool backslashToo) {
    std::vector<std::string> out;
    std::string current;
    for (char c : text) {
        if (c == '/' || (backslashToo && c == '\\')) {
            if (!current.empty()) out.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) out.push_back(std::move(current));
    return out;
}

// Applies "." and ".." to `base` (already normalised) followed by `more`.
void AppendNormalised(std::vector<std::string>& base, const std::vector<std::string>& more) {
    for (const std::string& c : more) {
        if (c == ".") continue;
        if (c == "..") {
            if (!base.empty()) base.pop_back();  // ".." at a root stays at the root
            continue;
        }
        base.push_back(c);
    }
}

// The host path of these components below the host root.
fs::path HostRootPath(const std::vector<std::string>& components) {
    fs::path out("/");
    for (const std::string& c : components) out /= c;
    return out;
}

// Normalised absolute host path without a trailing separator ("/" stays "/").
fs::path NormaliseHost(const fs::path& p) {
    std::error_code ec;
    fs::path abs = p.is_absolute() ? p : fs::absolute(p, ec);
    if (ec) abs = fs::path("/") / p;
    std::vector<std::string> parts;
    AppendNormalised(parts, SplitComponents(abs.native(), false));
    return HostRootPath(parts);
}

// Blanks around the fields of the machine's line files (drive table, WININIT.INI).
std::string TrimBlanks(std::string_view s) { return std::string(TrimView(s, " \t\r")); }

}  // namespace path_text

using namespace path_text;

std::optional<Drive> ParseDriveLine(std::string_view raw, const fs::path& root) {
    if (raw.find('\0') != std::string_view::npos) return std::nullopt;
    std::string line = TrimBlanks(raw);
    if (line.size() < 6 || !IsAsciiLetter(line[0]) || line[1] != ':') return std::nullopt;
    std::size_t i = 2;
    if (line[i] != ' ' && line[i] != '\t') return std::nullopt;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t digitsStart = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i == digitsStart || i - digitsStart > 2 || i >= line.size()) return std::nullopt;
    int type = std::stoi(line.substr(digitsStart, i - digitsStart));
    if (type > kDriveRamDisk || (line[i] != ' ' && line[i] != '\t')) return std::nullopt;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) return std::nullopt;
    Drive d;
    d.letter = UpperAscii(line[0]);
    if (d.letter == 'C' || d.letter == 'Z') return std::nullopt;
    d.type = type;
    fs::path folder(line.substr(i));
    d.hostFolder = NormaliseHost(folder.is_absolute() ? folder : root / folder);
    return d;
}

DriveTable ParseDriveTable(std::string_view text, const fs::path& root) {
    DriveTable table;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        table.lines.emplace_back(line);
        const std::string t = TrimBlanks(line);
        if (t.empty() || t[0] == '#') continue;
        if (auto d = ParseDriveLine(line, root)) {
            std::erase_if(table.drives, [&](const Drive& x) { return x.letter == d->letter; });
            table.drives.push_back(*d);
        }
    }
    return table;
}

std::vector<BootEntry> ParseBootScript(std::string_view text) {
    // The setup program writes in the ANSI code page; hand-made files may be UTF-8.
    auto decode = [](const std::string& t) {
        if (IsValidUtf8(t)) return t;
        try {
            return FromShiftJis(t);
        } catch (const std::exception&) {  // not Shift-JIS either: kept as read
            return t;
        }
    };
    std::vector<BootEntry> entries;
    bool inRename = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string line = TrimBlanks(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[') {
            inRename = plenova::EqualsIgnoreCase(line, "[rename]");
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inRename || eq == std::string::npos) continue;
        BootEntry entry{decode(TrimBlanks(line.substr(0, eq))),
                        decode(TrimBlanks(line.substr(eq + 1)))};
        if (!entry.source.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace plenova::platform
