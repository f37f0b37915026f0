#include "saver/xscreensaver_install.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <system_error>

#include "platform/file_io.h"

namespace plenova::saver::XScreenSaverInstall {

namespace {

namespace fs = std::filesystem;

constexpr const char* kHackName = "plenova";
// The files are a few hundred lines; anything far larger is not an XScreenSaver file.
constexpr std::size_t kMaxFileBytes = 4 << 20;
// Where Debian (and the upstream build) keep XScreenSaver's defaults.
constexpr const char* kSystemDefaults[] = {"/etc/X11/app-defaults/XScreenSaver",
                                           "/usr/share/X11/app-defaults/XScreenSaver"};

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// Blanks and tabs off both ends (the files line their entries up with tabs).
std::string Stripped(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string ProgramOf(std::string_view entry) {
    std::string rest = Stripped(entry);
    if (rest.starts_with('-')) rest = Stripped(std::string_view(rest).substr(1));
    // An optional visual ("GL:", "default:") before the command.
    const std::size_t blank = rest.find_first_of(" \t");
    if (std::string_view(rest).substr(0, blank).ends_with(':')) {
        rest = blank == std::string::npos ? std::string()
                                          : Stripped(std::string_view(rest).substr(blank));
    }
    return rest.substr(0, rest.find_first_of(" \t"));
}

bool Continued(std::string_view line) { return line.ends_with('\\'); }

// The first and last line of the programs resource, when there is one.
struct Block {
    std::size_t first = 0;
    std::size_t last = 0;
};

std::optional<Block> FindBlock(const std::vector<std::string_view>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        line.remove_prefix(std::min(line.size(), line.find_first_not_of(" \t")));
        if (line.starts_with('*')) line.remove_prefix(1);
        if (!line.starts_with("programs:")) continue;
        Block block{i, i};
        while (block.last + 1 < lines.size() && Continued(lines[block.last])) ++block.last;
        return block;
    }
    return std::nullopt;
}

std::vector<std::string> EntriesOf(const std::vector<std::string_view>& lines, Block block) {
    // The resource's value: continued lines joined, then split at the "\n" escapes.
    std::string value;
    for (std::size_t i = block.first; i <= block.last; ++i) {
        std::string_view line = lines[i];
        if (i == block.first) line.remove_prefix(line.find("programs:") + 9);
        if (Continued(line)) line.remove_suffix(1);
        value += line;
    }
    std::vector<std::string> entries;
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = value.find("\\n", at);
        const std::string entry =
            Stripped(std::string_view(value).substr(at, end == std::string::npos ? end : end - at));
        if (!entry.empty()) entries.push_back(entry);
        if (end == std::string::npos) break;
        at = end + 2;
    }
    return entries;
}

// The programs resource as XScreenSaver writes it: one entry a line.
std::string BlockText(const std::vector<std::string>& entries) {
    std::string text = "programs:\t\t\t\t\t\t\t\t      \\\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        text += "\t\t\t\t" + entries[i] + "\t\t\t\t    \\n";
        text += i + 1 < entries.size() ? "\\\n" : "\n";
    }
    if (entries.empty()) text += "\n";
    return text;
}

std::vector<std::string> WithOurs(std::vector<std::string> entries, std::string_view command) {
    std::vector<std::string> out;
    bool placed = false;
    for (std::string& entry : entries) {
        if (!IsPlenovaEntry(entry, ProgramOf(command))) {
            out.push_back(std::move(entry));
        } else if (!placed) {
            out.emplace_back(command);
            placed = true;
        }
    }
    if (!placed) out.insert(out.begin(), std::string(command));
    return out;
}

std::optional<std::string> ReadIfExists(const fs::path& path) {
    std::optional<platform::UniqueFd> file = platform::OpenForReadingIfExists(path);
    if (!file) return std::nullopt;
    return platform::ReadAll(file->Get(), kMaxFileBytes, path);
}

}  // namespace

std::optional<std::vector<std::string>> ProgramEntries(std::string_view text) {
    const std::vector<std::string_view> lines = Lines(text);
    const std::optional<Block> block = FindBlock(lines);
    if (!block) return std::nullopt;
    return EntriesOf(lines, *block);
}

bool IsPlenovaEntry(std::string_view entry, std::string_view program) {
    const std::string entryProgram = ProgramOf(entry);
    return fs::path(entryProgram).filename() == kHackName || entryProgram == program;
}

std::string WithProgram(const std::optional<std::string>& userFile,
                        const std::optional<std::string>& systemDefaults,
                        std::string_view command) {
    if (!userFile) {
        std::vector<std::string> entries;
        if (systemDefaults) {
            if (auto defaults = ProgramEntries(*systemDefaults)) entries = std::move(*defaults);
        }
        return "# XScreenSaver Preferences File\n"
               "# Made by plenova-saver --xscreensaver-install from the system's list of hacks;\n"
               "# xscreensaver-settings keeps it from now on.\n\n" +
               BlockText(WithOurs(std::move(entries), command));
    }
    const std::vector<std::string_view> lines = Lines(*userFile);
    const std::optional<Block> block = FindBlock(lines);
    if (!block) {
        std::string text = *userFile;
        if (!text.empty() && !text.ends_with('\n')) text += '\n';
        return text + BlockText({std::string(command)});
    }
    std::string text;
    for (std::size_t i = 0; i < block->first; ++i) text += std::string(lines[i]) + "\n";
    text += BlockText(WithOurs(EntriesOf(lines, *block), command));
    for (std::size_t i = block->last + 1; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || userFile->ends_with('\n')) text += '\n';
    }
    return text;
}

fs::path HackProgram(const fs::path& programFile) {
    std::error_code error;
    fs::path program = fs::weakly_canonical(programFile, error);
    if (error) program = programFile;
    if (program.parent_path().filename() == "xscreensaver") return program;
    const fs::path hack =
        program.parent_path().parent_path().parent_path() / "libexec" / "xscreensaver" / kHackName;
    if (fs::is_regular_file(hack, error)) return hack;
    return program;
}

int Run(const fs::path& programFile) {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        std::fprintf(stderr, "plenova-saver: HOME is not set, so there is no ~/.xscreensaver\n");
        return 1;
    }
    const std::string command = HackProgram(programFile).string() + " --root";
    std::error_code error;
    fs::path file = fs::path(home) / ".xscreensaver";
    // A file kept elsewhere and linked here is changed where it lies.
    if (const fs::path target = fs::weakly_canonical(file, error); !error) file = target;
    try {
        const std::optional<std::string> existing = ReadIfExists(file);
        std::optional<std::string> defaults;
        if (!existing) {
            for (const char* path : kSystemDefaults) {
                if ((defaults = ReadIfExists(path))) break;
            }
            if (!defaults) {
                std::fprintf(stderr,
                             "plenova-saver: XScreenSaver's defaults are not installed; the new "
                             "%s lists the Plenova hack alone\n",
                             file.c_str());
            }
        }
        const std::string updated = WithProgram(existing, defaults, command);
        if (existing && *existing == updated) {
            std::printf("%s already runs the Plenova hack: %s\n", file.c_str(), command.c_str());
            return 0;
        }
        platform::ReplaceFile(file, updated, 0644);
        std::printf("%s %s: it now runs the Plenova hack (%s); choose \"Plenova\" in "
                    "xscreensaver-settings\n",
                    existing ? "Updated" : "Made", file.c_str(), command.c_str());
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "plenova-saver: %s\n", failure.what());
        return 1;
    }
}

}  // namespace plenova::saver::XScreenSaverInstall
