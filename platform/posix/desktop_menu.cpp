#include "platform/desktop_menu.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <system_error>

#include "base/text.h"
#include "base/utf8.h"
#include "platform/file_io.h"
#include "platform/shell_link.h"

namespace plenova::platform {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string Home() {
    std::string home = Env("HOME");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    if (home.empty()) throw MachineError("no home folder: HOME is not set");
    return home;
}

// An XDG base folder: the variable when it holds an absolute path, else home + fallback.
fs::path XdgFolder(const char* variable, const char* fallback) {
    const std::string value = Env(variable);
    if (!value.empty() && value[0] == '/') return value;
    return fs::path(Home()) / fallback;
}

// The root a program finds when PLENOVA_MACHINE is not set.
fs::path UnpinnedRoot() {
    try {
        return (XdgFolder("XDG_DATA_HOME", ".local/share") / "plenova").lexically_normal();
    } catch (const MachineError&) {  // no home: no default root
        return {};
    }
}

std::uint64_t Fnv1a(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string Hex(std::uint64_t value) {
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(value));
    return buffer;
}

bool IsExecutableFile(const fs::path& path) {
    std::error_code ec;
    return path.is_absolute() && fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

// UTF-8 with every byte that starts no character replaced by U+FFFD.
std::string ValidUtf8(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Char c = DecodeUtf8(text, at);
        if (c.valid)
            out.append(text.substr(at, c.length));
        else
            AppendUtf8(out, U'\uFFFD');
        at += c.length;
    }
    return out;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Control characters dropped: a desktop file holds one value a line, and a line break or
// escape sequence from a shortcut has no business in a menu entry or a command line.
std::string WithoutControls(std::string_view text) {
    std::string out;
    for (char c : text)
        if (!IsControl(static_cast<unsigned char>(c))) out += c;
    return out;
}

bool HasControls(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return IsControl(static_cast<unsigned char>(c)); });
}

// "X:\..." or "X:/...": a target that does not depend on the folder the desktop starts in.
bool IsAbsoluteOnDrive(std::string_view path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// One Start-menu shortcut, as the menu shows it.
struct Entry {
    std::string group;     // folder below Programs, "/"-separated; empty at the top
    std::string fileName;  // desktop entry file name
    std::string text;      // the file's contents
};

// The group tree of the merged menu.
struct Group {
    std::map<std::string, Group> children;
    std::vector<std::string> entries;  // desktop file ids
};

// Writes `text` to `file` unless it already holds exactly that. True when it wrote.
bool WriteIfChanged(const fs::path& file, const std::string& text, DesktopMenuReport& report) {
    try {
        if (ReadFileLimited(file, text.size()) == text) return false;
    } catch (const std::exception&) {
        // Missing, larger, or no regular file: written anew.
    }
    // The temporary has no name until it is complete: a refresh killed half-way leaves no
    // stray file in the user's menu folders.
    try {
        ReplaceFile(file, text, 0644);
    } catch (const FileError& e) {
        report.problems.push_back(e.what());
        return false;
    }
    ++report.written;
    return true;
}

// Removes the files in `folder` named prefix...suffix that are not in `keep`.
void RemoveStale(const fs::path& folder, const std::string& prefix, const std::string& suffix,
                 const std::set<std::string>& keep, DesktopMenuReport& report) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix) || !name.ends_with(suffix) || keep.count(name)) continue;
        std::error_code removeError;
        if (fs::remove(it->path(), removeError))
            ++report.removed;
        else if (removeError)
            report.problems.push_back("cannot remove " + it->path().string());
    }
}

void WriteMenu(std::string& out, const Group& group, const std::string& prefix,
               const std::string& path, std::set<std::string>& directories,
               const DesktopMenuFolders& folders, DesktopMenuReport& report, int depth) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    for (const auto& [name, child] : group.children) {
        const std::string childPath = path.empty() ? name : path + "/" + name;
        const std::string directory = prefix + Hex(Fnv1a(childPath)) + ".directory";
        directories.insert(directory);
        std::string shown = WithoutControls(name);
        if (shown.empty()) shown = "Programs";
        WriteIfChanged(folders.directories / directory,
                       "[Desktop Entry]\nType=Directory\nName=" + EscapeDesktopValue(shown) +
                           "\nIcon=plenova\n",
                       report);
        out += indent + "<Menu>\n";
        out += indent + "  <Name>" + XmlEscape(prefix + Hex(Fnv1a(childPath))) + "</Name>\n";
        out += indent + "  <Directory>" + XmlEscape(directory) + "</Directory>\n";
        WriteMenu(out, child, prefix, childPath, directories, folders, report, depth + 1);
        out += indent + "</Menu>\n";
    }
    if (!group.entries.empty()) {
        out += indent + "<Include>\n";
        for (const std::string& id : group.entries)
            out += indent + "  <Filename>" + XmlEscape(id) + "</Filename>\n";
        out += indent + "</Include>\n";
    }
}

// What every entry of one refresh shares.
struct EntryContext {
    const Machine& machine;
    const fs::path& tool;
    std::string prefix;      // DesktopMenuPrefix of the machine
    std::string command;     // the start of every Exec line
    fs::path programsHost;   // the machine's Programs folder on the host
};

// The start of every entry's Exec line: the tool's "run", with the machine named unless it is
// the one the tool finds by default.
std::string RunCommandPrefix(const fs::path& root, const fs::path& tool) {
    std::string command;
    if (root != UnpinnedRoot())
        command = "env " + QuoteExecArgument("PLENOVA_MACHINE=" + root.string()) + " ";
    command += QuoteExecArgument(tool.string()) + " run ";
    return command;
}

// Whether the tool and the machine's root can stand in an Exec line.
bool IsUsableTool(const fs::path& tool, const fs::path& root) {
    return tool.is_absolute() && IsValidUtf8(tool.string()) && IsValidUtf8(root.string()) &&
           !HasControls(tool.string()) && !HasControls(root.string());
}

bool IsShortcutFile(const fs::directory_entry& file) {
    std::string extension = file.path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::error_code kind;
    return extension == ".lnk" && !file.is_directory(kind);
}

// The Exec line of a shortcut to `target`.
std::string ExecLine(const EntryContext& context, const ShellLink& link, const std::string& target) {
    std::string exec = context.command + QuoteExecArgument(target);
    if (const std::string arguments = WithoutControls(link.arguments); !arguments.empty())
        exec += " " + QuoteExecArgument(arguments);
    return exec;
}

// The Path line: the working folder only where it is the machine's, as the target.
std::string PathLine(const Machine& machine, const ShellLink& link) {
    if (const std::string working = WithoutControls(link.workingFolder);
        IsAbsoluteOnDrive(working) && machine.OnOwnDrive(working)) {
        if (const auto folder = machine.ToHost(working);
            folder && IsValidUtf8(folder->string()) && !HasControls(folder->string()))
            return "Path=" + EscapeDesktopValue(folder->string()) + "\n";
    }
    return {};
}

// The desktop entry of the shortcut `file` that starts `target`.
std::string DesktopEntryText(const EntryContext& context, const fs::path& file,
                             const ShellLink& link, const std::string& target) {
    std::string name = WithoutControls(file.stem().string());
    if (name.empty()) name = target.substr(target.find_last_of("\\/") + 1);
    if (name.empty()) name = "Program";
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=" + EscapeDesktopValue(name) + "\n";
    if (const std::string comment = WithoutControls(link.description); !comment.empty())
        text += "Comment=" + EscapeDesktopValue(comment) + "\n";
    text += "Exec=" + EscapeDesktopValue(ExecLine(context, link, target)) + "\n";
    text += "TryExec=" + EscapeDesktopValue(context.tool.string()) + "\n";
    text += PathLine(context.machine, link);
    text += "Icon=plenova\n";
    text += "Categories=Utility;X-Plenova;\n";
    text += "X-Plenova-Shortcut=" +
            EscapeDesktopValue(WithoutControls(context.machine.ToWindows(file))) + "\n";
    return text;
}

// The entry of one shortcut; nothing, and the reason in the report, when it gets none.
std::optional<Entry> MakeEntry(const EntryContext& context, const fs::path& file,
                               DesktopMenuReport& report) {
    const auto link = ReadShellLinkFile(file);
    if (!link) {
        report.problems.push_back(link.error().message);
        return std::nullopt;
    }
    if (link->targetPath.empty() || link->isFolder) {
        report.problems.push_back(file.string() + ": the target is no program");
        return std::nullopt;
    }
    // The entry runs what the shortcut names without asking: only programs of the
    // machine itself, never a host program a medium pointed a shortcut at.
    const std::string target = WithoutControls(link->targetPath);
    if (!IsAbsoluteOnDrive(target) || !context.machine.OnOwnDrive(target)) {
        report.problems.push_back(file.string() + ": the target " + TerminalText(target) +
                                  " is not on a drive of the machine; left out");
        return std::nullopt;
    }
    const fs::path relative = file.lexically_relative(context.programsHost);
    Entry entry;
    entry.group = relative.parent_path().generic_string();
    entry.fileName = context.prefix + Hex(Fnv1a(relative.generic_string())) + ".desktop";
    entry.text = DesktopEntryText(context, file, *link, target);
    return entry;
}

// The entries of every shortcut below the Programs folder. True when the whole folder could be
// listed: only then may the files of shortcuts not seen be removed.
bool CollectEntries(const EntryContext& context, std::vector<Entry>& entries,
                    DesktopMenuReport& report) {
    std::error_code ec;
    auto it = fs::recursive_directory_iterator(context.programsHost,
                                               fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!IsShortcutFile(*it)) continue;
        if (auto entry = MakeEntry(context, it->path(), report)) entries.push_back(std::move(*entry));
    }
    if (ec) report.problems.push_back("cannot list " + context.programsHost.string());
    return !ec;
}

// Writes the desktop entries and sorts them into their groups; their file names go into `keep`.
Group WriteEntries(const std::vector<Entry>& entries, const DesktopMenuFolders& folders,
                   std::set<std::string>& keep, DesktopMenuReport& report) {
    Group top;
    if (!entries.empty()) {
        for (const fs::path& folder : {folders.applications, folders.directories}) {
            std::error_code made;
            fs::create_directories(folder, made);
        }
    }
    for (const Entry& entry : entries) {
        WriteIfChanged(folders.applications / entry.fileName, entry.text, report);
        keep.insert(entry.fileName);
        Group* group = &top;
        if (!entry.group.empty()) {
            for (const auto& part : fs::path(entry.group)) {
                group = &group->children[part.string()];
            }
        }
        group->entries.push_back(entry.fileName);
    }
    return top;
}

// Writes the merged menu of the group tree and its directory entries, whose file names go
// into `keepDirectories`.
void WriteMenuFile(const Group& top, const std::string& prefix, const DesktopMenuFolders& folders,
                   std::set<std::string>& keepDirectories, DesktopMenuReport& report) {
    std::string menu =
        "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/menu-spec/menu-1.0.dtd\">\n"
        "<Menu>\n  <Name>Applications</Name>\n";
    WriteMenu(menu, top, prefix, "", keepDirectories, folders, report, 1);
    menu += "</Menu>\n";
    std::error_code made;
    fs::create_directories(folders.mergedMenus, made);
    WriteIfChanged(folders.mergedMenus / (prefix + "start-menu.menu"), menu, report);
}

}  // namespace

DesktopMenuFolders DesktopMenuFolders::FromEnvironment() {
    const fs::path data = XdgFolder("XDG_DATA_HOME", ".local/share");
    const fs::path config = XdgFolder("XDG_CONFIG_HOME", ".config");
    return {data / "applications", data / "desktop-directories",
            config / "menus" / "applications-merged"};
}

std::string DesktopMenuPrefix(const Machine& machine) {
    return "plenova-" + Hex(Fnv1a(machine.Root().lexically_normal().string())) + "-";
}

std::string QuoteExecArgument(std::string_view argument) {
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    bool quote = argument.empty();
    for (char c : argument)
        if (kReserved.find(c) != std::string_view::npos) quote = true;
    std::string out;
    if (quote) out += '"';
    for (char c : argument) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        out += c;
    }
    if (quote) out += '"';
    return out;
}

std::string EscapeDesktopValue(std::string_view value) {
    std::string out;
    for (char c : ValidUtf8(value)) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

fs::path FindMachineTool() {
    const std::string named = Env("PLENOVA_MACHINE_TOOL");
    if (IsExecutableFile(named)) return named;
    const fs::path self = ProgramHostFile();
    if (!self.empty()) {
        if (self.filename() == "plenova-machine") return self;
        for (const fs::path& candidate :
             {self.parent_path() / "plenova-machine",
              (self.parent_path() / ".." / "bin" / "plenova-machine").lexically_normal()}) {
            if (IsExecutableFile(candidate)) return candidate;
        }
    }
    const std::string path = Env("PATH");
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const fs::path candidate = fs::path(path.substr(start, end - start)) / "plenova-machine";
        if (IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

DesktopMenuReport SyncDesktopMenu(const Machine& machine, const fs::path& tool,
                                  const DesktopMenuFolders& folders) {
    DesktopMenuReport report;
    const fs::path root = machine.Root().lexically_normal();
    const std::optional<fs::path> programsHost = machine.ToHost(machine.ProgramsFolder());
    const bool usableTool = IsUsableTool(tool, root);
    if (!usableTool)
        report.problems.push_back("no usable plenova-machine program: \"" + tool.string() + "\"");

    const EntryContext context{machine, tool, DesktopMenuPrefix(machine),
                               RunCommandPrefix(root, tool), programsHost.value_or(fs::path())};
    std::vector<Entry> entries;
    // A listing that failed part-way must not remove the entries it did not reach.
    const bool complete = usableTool && programsHost && CollectEntries(context, entries, report);

    std::set<std::string> keepEntries;
    std::set<std::string> keepDirectories;
    const Group top = WriteEntries(entries, folders, keepEntries, report);
    report.entries = static_cast<int>(entries.size());
    if (!entries.empty()) WriteMenuFile(top, context.prefix, folders, keepDirectories, report);
    if (complete) {
        RemoveStale(folders.applications, context.prefix, ".desktop", keepEntries, report);
        RemoveStale(folders.directories, context.prefix, ".directory", keepDirectories, report);
        if (entries.empty()) {
            RemoveStale(folders.mergedMenus, context.prefix, ".menu", {}, report);
        }
    }
    return report;
}

void HandMachineToolOn() noexcept {
    try {
        const fs::path tool = FindMachineTool();
        if (!tool.empty()) ::setenv("PLENOVA_MACHINE_TOOL", tool.c_str(), 1);
    } catch (const std::exception&) {
        // Optional: without the hint the next program looks for the tool itself.
    }
}

DesktopMenuReport RefreshDesktopMenu() noexcept {
    try {
        const fs::path tool = FindMachineTool();
        if (tool.empty()) {
            DesktopMenuReport report;
            report.problems.push_back("no plenova-machine program found");
            return report;
        }
        return SyncDesktopMenu(CurrentMachine(), tool, DesktopMenuFolders::FromEnvironment());
    } catch (const std::exception& e) {
        DesktopMenuReport report;
        report.problems.push_back(e.what());
        return report;
    }
}

}  // namespace plenova::platform
