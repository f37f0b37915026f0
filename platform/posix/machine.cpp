#include "platform/machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <span>
#include <system_error>

#include "base/text.h"
#include "base/utf8.h"
#include "platform/child_program.h"
#include "platform/file_io.h"
#include "platform/machine_formats.h"
#include "platform/text_conversion.h"

extern char** environ;

namespace plenova::platform {

namespace fs = std::filesystem;
using namespace path_text;

struct Machine::PathParts {
    bool host = false;  // a host path given as it stands
    char drive = 'C';
    std::vector<std::string> components;  // absolute on the drive (or from "/")
};

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Components of `path` below `folder`, when `folder` contains it (both normalised).
std::optional<std::vector<std::string>> Below(const fs::path& folder, const fs::path& path) {
    std::vector<std::string> f = SplitComponents(folder.native(), false);
    std::vector<std::string> p = SplitComponents(path.native(), false);
    if (f.size() > p.size() || !std::equal(f.begin(), f.end(), p.begin())) return std::nullopt;
    return std::vector<std::string>(p.begin() + static_cast<std::ptrdiff_t>(f.size()), p.end());
}

std::string JoinWindows(char drive, const std::vector<std::string>& components) {
    std::string out;
    out.push_back(drive);
    out += ":\\";
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) out.push_back('\\');
        out += components[i];
    }
    return out;
}

bool StatPath(const fs::path& p, struct stat& st) { return ::stat(p.c_str(), &st) == 0; }

std::shared_ptr<Machine> MakeDefaultMachine() {
    return std::make_shared<Machine>(Machine::DefaultRoot());
}

constinit ServiceSlot<Machine> machineSlot{&MakeDefaultMachine};

}  // namespace

Machine::Machine(fs::path root) : root_(NormaliseHost(root)) {
    std::error_code ec;
    const bool existed = fs::is_directory(root_, ec);
    if (!existed) {
        fs::create_directories(root_, ec);
        if (ec)
            throw MachineError("cannot create the machine folder " + root_.string() + ": " +
                               ec.message());
        ::chmod(root_.c_str(), 0700);
    }
    fs::create_directories(root_ / "drive_c", ec);
    if (ec) throw MachineError("cannot create drive C: in " + root_.string() + ": " + ec.message());
    LoadDriveTable();
    if (!MakeFolders("C:\\WINDOWS\\SYSTEM") || !MakeFolders("C:\\WINDOWS\\Start Menu\\Programs"))
        throw MachineError("cannot create the Windows folders in " + (root_ / "drive_c").string());
}

Machine::~Machine() = default;

fs::path Machine::DefaultRoot() {
    auto env = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v ? std::string(v) : std::string();
    };
    std::string machine = env("PLENOVA_MACHINE");
    if (!machine.empty()) return NormaliseHost(machine);
    std::string data = env("XDG_DATA_HOME");
    if (!data.empty() && data[0] == '/') return NormaliseHost(fs::path(data) / "plenova");
    std::string home = env("HOME");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    if (home.empty())
        throw MachineError(
            "no machine folder: neither PLENOVA_MACHINE, XDG_DATA_HOME nor HOME is set");
    return NormaliseHost(fs::path(home) / ".local" / "share" / "plenova");
}

fs::path Machine::UserHivePath() const { return root_ / "user.reg"; }
fs::path Machine::MachineHivePath() const { return root_ / "system.reg"; }
fs::path Machine::DriveTablePath() const { return root_ / "drives"; }

// ----- drives --------------------------------------------------------------------------------

namespace {

// The table's text, empty when there is none. Throws FileError when it cannot be had whole:
// part of a table is never taken, since rewriting it would lose the drives after the cut.
std::string ReadDriveTableText(const fs::path& path) {
    auto fd = OpenForReadingIfExists(path);
    if (!fd) return {};
    return ReadAll(fd->Get(), kDriveTableLimit, path);
}

}  // namespace

void Machine::UseDriveTable(std::string_view text) {
    DriveTable table = ParseDriveTable(text, root_);
    tableDrives_ = std::move(table.drives);
}

void Machine::LoadDriveTable() {
    tableDrives_.clear();
    tableProblem_.clear();
    try {
        FileLock lock = FileLock::Acquire(DriveTablePath(), LockMode::Shared);
        UseDriveTable(ReadDriveTableText(DriveTablePath()));
    } catch (const FileError& e) {
        // The machine still starts, with C: and Z: only, and the table is left as it is.
        tableProblem_ = std::string("the drive table is not used: ") + e.what();
        std::cerr << tableProblem_ << "\n";
    }
}

bool Machine::ChangeDriveTable(char letter, const std::string* newLine) {
    const fs::path path = DriveTablePath();
    std::string text;
    try {
        // Under the writers' lock and from the file as it is now, so that another process's
        // change made since this machine read the table is kept.
        FileLock lock = FileLock::Acquire(path, LockMode::Exclusive);
        const std::string current = ReadDriveTableText(path);
        DriveTable table = ParseDriveTable(current, root_);
        bool placed = false;
        for (const std::string& l : table.lines) {
            auto d = ParseDriveLine(l, root_);
            if (d && d->letter == letter) {
                if (newLine && !placed) text += *newLine + "\n";
                placed = true;
            } else {
                text += l + "\n";
            }
        }
        if (!newLine && !placed) {
            UseDriveTable(current);
            return false;
        }
        if (newLine && !placed) text += *newLine + "\n";
        ReplaceFile(path, text, 0600);
    } catch (const FileError& e) {
        throw MachineError(std::string("the drive table is not changed: ") + e.what());
    }
    tableProblem_.clear();
    UseDriveTable(text);
    return true;
}

std::vector<Drive> Machine::Drives() const {
    std::vector<Drive> out;
    out.push_back(Drive{'C', kDriveFixed, root_ / "drive_c"});
    out.push_back(Drive{'Z', kDriveFixed, fs::path("/")});
    out.insert(out.end(), tableDrives_.begin(), tableDrives_.end());
    std::sort(out.begin(), out.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return out;
}

std::optional<Drive> Machine::FindDrive(char letter) const {
    letter = UpperAscii(letter);
    if (letter == 'C') return Drive{'C', kDriveFixed, root_ / "drive_c"};
    if (letter == 'Z') return Drive{'Z', kDriveFixed, fs::path("/")};
    for (const Drive& d : tableDrives_)
        if (d.letter == letter) return d;
    return std::nullopt;
}

void Machine::AddDrive(char letter, const fs::path& hostFolder, int type) {
    if (!IsAsciiLetter(letter)) throw std::invalid_argument("a drive letter is A to Z");
    letter = UpperAscii(letter);
    if (letter == 'C' || letter == 'Z')
        throw std::invalid_argument("drives C: and Z: are fixed and cannot be changed");
    if (type < 0 || type > kDriveRamDisk) throw std::invalid_argument("a drive type is 0 to 6");
    const std::string folder = hostFolder.string();
    if (folder.empty() || folder.find_first_of(std::string_view("\r\n\0", 3)) != folder.npos ||
        TrimBlanks(folder) != folder)
        throw std::invalid_argument(
            "the host folder must be a non-empty path without line breaks, "
            "NUL bytes or surrounding blanks");
    const std::string newLine =
        std::string(1, letter) + ": " + std::to_string(type) + " " +
        NormaliseHost(hostFolder.is_absolute() ? hostFolder : root_ / hostFolder).string();
    ChangeDriveTable(letter, &newLine);
}

bool Machine::RemoveDrive(char letter) {
    letter = UpperAscii(letter);
    if (letter == 'C' || letter == 'Z' || !IsAsciiLetter(letter)) return false;
    return ChangeDriveTable(letter, nullptr);
}

int Machine::DriveType(std::string_view root) const {
    if (root.empty()) {
        std::string current = CurrentFolder();
        return FindDrive(current[0]) ? FindDrive(current[0])->type : kDriveNoRootDir;
    }
    if (root.size() < 2 || !IsAsciiLetter(root[0]) || root[1] != ':') return kDriveNoRootDir;
    if (root.size() > 2 && !IsSeparator(root[2])) return kDriveNoRootDir;  // "C:x" is no root
    auto d = FindDrive(root[0]);
    return d ? d->type : kDriveNoRootDir;
}

// ----- path mapping --------------------------------------------------------------------------

std::optional<Machine::PathParts> Machine::Split(std::string_view path) const {
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    PathParts parts;
    if (path[0] == '/' && !(path.size() > 1 && IsSeparator(path[1]))) {
        parts.host = true;
        AppendNormalised(parts.components, SplitComponents(path, false));
        return parts;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
        return std::nullopt;  // network share or device path: not on this machine
    std::string_view rest = path;
    std::vector<std::string> base;
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
        parts.drive = UpperAscii(path[0]);
        if (!FindDrive(parts.drive)) return std::nullopt;
        rest = path.substr(2);
        if (!rest.empty() && !IsSeparator(rest[0])) {
            // Drive-relative: from the folder last made current on that drive.
            std::string current = CurrentFolder();
            std::string from;
            if (UpperAscii(current[0]) == parts.drive) {
                from = current;
            } else {
                for (const auto& [letter, folder] : driveFolders_)
                    if (letter == parts.drive) from = folder;
            }
            if (!from.empty()) AppendNormalised(base, SplitComponents(from.substr(2), true));
        }
    } else {
        std::string current = CurrentFolder();
        parts.drive = UpperAscii(current[0]);
        if (!IsSeparator(path[0])) AppendNormalised(base, SplitComponents(current.substr(2), true));
    }
    parts.components = std::move(base);
    AppendNormalised(parts.components, SplitComponents(rest, true));
    return parts;
}

// The names of one folder by their case-folded form, each the first in byte order of its
// spellings, for the folder as it was when looked through (its identity and modification time).
struct Machine::FolderIndex {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    // The folder's time stamp was already well in the past when it was looked through: a change
    // after that look gives it a new stamp, so an unchanged stamp means unchanged names.
    bool settled = false;
    std::unordered_map<std::string, std::string> names;
};

namespace {

bool SameStamp(const struct stat& st, dev_t device, ino_t inode, const timespec& modified) {
    return st.st_dev == device && st.st_ino == inode && st.st_mtim.tv_sec == modified.tv_sec &&
           st.st_mtim.tv_nsec == modified.tv_nsec;
}

// Folders indexed at most; beyond that the indexes start afresh.
constexpr std::size_t kMaxFolderIndexes = 64;
// A small folder whose time stamp is recent is looked through at every lookup: a name another
// process added within the file system's time-stamp resolution of the last look would otherwise
// be missed. Large folders, where a look costs, rely on the time stamp at once.
constexpr std::size_t kNamesWorthAnIndex = 256;
// Coarser than any file system's time stamps (FAT's are 2 s).
constexpr std::int64_t kStampResolutionNs = 2'000'000'001;

std::int64_t Ns(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// True when `modified` lies further in the past than a time stamp's resolution.
bool LongBefore(const timespec& modified) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Ns(now) - Ns(modified) > kStampResolutionNs;
}

}  // namespace

std::optional<std::string> Machine::MatchInFolder(const fs::path& folder,
                                                  const std::string& name) const {
    std::lock_guard lock(folderIndexMutex_);
    if (!folderIndexes_)
        folderIndexes_ = std::make_unique<std::unordered_map<std::string, FolderIndex>>();
    struct stat st;
    if (!StatPath(folder, st) || !S_ISDIR(st.st_mode)) return std::nullopt;
    const std::string folded = plenova::FoldCase(name);
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto found = folderIndexes_->find(folder.native());
        if (found == folderIndexes_->end() ||
            !(found->second.settled || found->second.names.size() >= kNamesWorthAnIndex) ||
            !SameStamp(st, found->second.device, found->second.inode, found->second.modified)) {
            // Looked through afresh: the folder is new to us or has changed since.
            if (folderIndexes_->size() >= kMaxFolderIndexes) folderIndexes_->clear();
            FolderIndex index{st.st_dev, st.st_ino, st.st_mtim, LongBefore(st.st_mtim), {}};
            if (DIR* dir = ::opendir(folder.c_str())) {
                while (dirent* e = ::readdir(dir)) {
                    std::string_view entry(e->d_name);
                    if (entry == "." || entry == "..") continue;
                    auto [at, added] = index.names.try_emplace(plenova::FoldCase(entry), entry);
                    if (!added && entry < at->second) at->second = std::string(entry);
                }
                ::closedir(dir);
            }
            found = folderIndexes_->insert_or_assign(folder.native(), std::move(index)).first;
        }
        const auto match = found->second.names.find(folded);
        if (match == found->second.names.end()) return std::nullopt;
        struct stat entry;
        if (::lstat((folder / match->second).c_str(), &entry) == 0) return match->second;
        // Gone meanwhile within the same time stamp: look again.
        folderIndexes_->erase(found);
    }
    return std::nullopt;
}

void Machine::NoteCreated(std::string_view windowsPath) const {
    if (auto host = ToHost(windowsPath)) NoteHostCreated(*host);
}

void Machine::NoteHostCreated(const fs::path& host) const {
    if (!host.has_parent_path()) return;
    const fs::path folder = host.parent_path();
    std::lock_guard lock(folderIndexMutex_);
    if (!folderIndexes_) return;
    auto found = folderIndexes_->find(folder.native());
    struct stat st;
    if (found == folderIndexes_->end() || !StatPath(folder, st)) return;
    const std::string name = host.filename().string();
    auto [at, added] = found->second.names.try_emplace(plenova::FoldCase(name), name);
    if (!added && name < at->second) at->second = name;
    // The folder now holds what the index says, so its new time stamp is the index's; being
    // new, it does not yet tell another process's change from ours.
    found->second.modified = st.st_mtim;
    found->second.settled = false;
}

fs::path Machine::Resolve(const fs::path& base, const std::vector<std::string>& components) const {
    // The longest part of the path that exists as written needs no search: found from the end,
    // a path that exists but for its last name costs two lookups instead of one per name.
    std::size_t written = components.size();
    fs::path current = base;
    for (const std::string& c : components) current /= c;
    struct stat st;
    while (written > 0 && ::lstat(current.c_str(), &st) != 0) {
        current = current.parent_path();
        --written;
    }
    if (written == components.size()) return current;
    bool lost = false;  // a component was not found: the rest is kept as written
    bool asWritten = false;  // the first one after that part is known not to exist as written
    for (const std::string& c : std::span(components).subspan(written)) {
        if (!lost) {
            if (asWritten && ::lstat((current / c).c_str(), &st) == 0) {
                current /= c;
                continue;
            }
            asWritten = true;
            if (auto best = MatchInFolder(current, c)) {
                current /= *best;
                continue;
            }
            lost = true;
        }
        current /= c;
    }
    return current;
}

std::optional<fs::path> Machine::ToHost(std::string_view windowsPath) const {
    auto parts = Split(windowsPath);
    if (!parts) return std::nullopt;
    if (parts->host) return HostRootPath(parts->components);
    auto drive = FindDrive(parts->drive);
    if (!drive) return std::nullopt;
    return Resolve(drive->hostFolder, parts->components);
}

std::string Machine::ToWindows(const fs::path& hostPath) const {
    const fs::path path = NormaliseHost(hostPath);
    auto name = [&](const fs::path& p, bool canonicalFolders) -> std::optional<std::string> {
        std::optional<std::string> best;
        std::size_t bestDepth = 0;
        for (const Drive& d : Drives()) {
            fs::path folder = d.hostFolder;
            if (canonicalFolders) {
                std::error_code ec;
                fs::path c = fs::weakly_canonical(folder, ec);
                if (!ec) folder = NormaliseHost(c);
            }
            auto below = Below(folder, p);
            if (!below) continue;
            std::size_t depth = SplitComponents(folder.native(), false).size();
            if (d.letter == 'Z') depth = 0;
            if (!best || depth > bestDepth) {
                best = JoinWindows(d.letter, *below);
                bestDepth = depth;
            }
        }
        if (best && best->front() == 'Z') return std::nullopt;  // only the catch-all matched
        return best;
    };
    if (auto n = name(path, false)) return *n;
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(path, ec);
    if (!ec) {
        if (auto n = name(NormaliseHost(canonical), true)) return *n;
    }
    return JoinWindows('Z', SplitComponents(path.native(), false));
}

std::optional<std::string> Machine::FullPath(std::string_view windowsPath) const {
    auto parts = Split(windowsPath);
    if (!parts) return std::nullopt;
    if (parts->host) return ToWindows(HostRootPath(parts->components));
    return JoinWindows(parts->drive, parts->components);
}

// ----- containment ---------------------------------------------------------------------------

namespace {

// The host path with every symbolic link of its existing part resolved; the part that does not
// exist yet is kept as written.
std::optional<fs::path> Settled(const fs::path& host) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(host, ec);
    if (ec) return std::nullopt;
    return NormaliseHost(canonical);
}

}  // namespace

bool Machine::OnOwnDrive(std::string_view windowsPath) const {
    auto parts = Split(windowsPath);
    if (!parts || parts->host || parts->drive == 'Z') return false;
    auto drive = FindDrive(parts->drive);
    auto host = ToHost(windowsPath);
    if (!drive || !host) return false;
    auto folder = Settled(drive->hostFolder);
    auto settled = Settled(*host);
    return folder && settled && Below(*folder, *settled).has_value();
}

bool Machine::IsBeneath(std::string_view base, std::string_view path) const {
    auto baseHost = ToHost(base);
    auto pathHost = ToHost(path);
    if (!baseHost || !pathHost) return false;
    auto folder = Settled(*baseHost);
    auto settled = Settled(*pathHost);
    return folder && settled && Below(*folder, *settled).has_value();
}

// ----- special folders -----------------------------------------------------------------------

void Machine::EnsureFolder(std::string_view windowsPath) const { MakeFolders(windowsPath); }

std::string Machine::WindowsFolder() const {
    EnsureFolder("C:\\WINDOWS");
    return "C:\\WINDOWS";
}

std::string Machine::SystemFolder() const {
    EnsureFolder("C:\\WINDOWS\\SYSTEM");
    return "C:\\WINDOWS\\SYSTEM";
}

std::string Machine::ProgramsFolder() const {
    EnsureFolder("C:\\WINDOWS\\Start Menu\\Programs");
    return "C:\\WINDOWS\\Start Menu\\Programs";
}

// ----- process-level notions -----------------------------------------------------------------

std::string Machine::CurrentFolder() const {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) return "C:\\";  // the working folder was removed under us
    return ToWindows(cwd);
}

bool Machine::SetCurrentFolder(std::string_view windowsPath) {
    auto full = FullPath(windowsPath);
    auto host = ToHost(windowsPath);
    if (!full || !host || ::chdir(host->c_str()) != 0) return false;
    const char letter = (*full)[0];
    std::erase_if(driveFolders_, [&](const auto& e) { return e.first == letter; });
    driveFolders_.emplace_back(letter, *full);
    return true;
}

bool Machine::SetCurrentDrive(std::string_view drive) {
    if (drive.empty() || !IsAsciiLetter(drive[0])) return false;
    const char letter = UpperAscii(drive[0]);
    if (!FindDrive(letter)) return false;
    if (UpperAscii(CurrentFolder()[0]) == letter) return true;
    for (const auto& [l, folder] : driveFolders_) {
        if (l == letter && SetCurrentFolder(folder)) return true;
    }
    return SetCurrentFolder(std::string(1, letter) + ":\\");
}

void Machine::SetProgramPath(std::string windowsPath) { programPath_ = std::move(windowsPath); }

fs::path ProgramHostFile() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe;
}

namespace {
std::string ProgramPathOf(const Machine& m, const std::string& overridePath) {
    if (!overridePath.empty()) return m.FullPath(overridePath).value_or(overridePath);
    const fs::path exe = ProgramHostFile();
    if (exe.empty()) return "C:\\WINDOWS\\UNKNOWN.EXE";
    return m.ToWindows(exe);
}
}  // namespace

std::string Machine::ProgramFolder() const {
    std::string p = ProgramPathOf(*this, programPath_);
    std::size_t slash = p.find_last_of('\\');
    if (slash == std::string::npos) return p;
    if (slash == 2) return p.substr(0, 3);  // a drive root keeps its "\"
    return p.substr(0, slash);
}

std::string Machine::ProgramFileName() const {
    std::string p = ProgramPathOf(*this, programPath_);
    std::size_t slash = p.find_last_of('\\');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string Machine::ProgramName() const {
    std::string name = ProgramFileName();
    std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}

// ----- files and folders ---------------------------------------------------------------------

bool Machine::FileExists(std::string_view path) const {
    auto host = ToHost(path);
    struct stat st;
    return host && StatPath(*host, st) && S_ISREG(st.st_mode);
}

bool Machine::FolderExists(std::string_view path) const {
    auto host = ToHost(path);
    struct stat st;
    return host && StatPath(*host, st) && S_ISDIR(st.st_mode);
}

bool Machine::Exists(std::string_view path) const {
    auto host = ToHost(path);
    struct stat st;
    return host && StatPath(*host, st);
}

std::optional<std::int64_t> Machine::FileLength(std::string_view path) const {
    auto host = ToHost(path);
    struct stat st;
    if (!host || !StatPath(*host, st) || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

std::optional<FileTime> Machine::FileDate(std::string_view path) const {
    auto host = ToHost(path);
    struct stat st;
    if (!host || !StatPath(*host, st)) return std::nullopt;
    auto ns =
        std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
    return FileTime(std::chrono::duration_cast<std::chrono::nanoseconds>(ns));
}

bool Machine::SetFileDate(std::string_view path, FileTime time) const {
    auto host = ToHost(path);
    if (!host) return false;
    const auto ns = time.time_since_epoch().count();
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(ns / 1000000000);
    times[1].tv_nsec = static_cast<long>(ns % 1000000000);
    if (times[1].tv_nsec < 0) {
        times[1].tv_nsec += 1000000000;
        times[1].tv_sec -= 1;
    }
    return ::utimensat(AT_FDCWD, host->c_str(), times, 0) == 0;
}

bool Machine::MakeFolder(std::string_view path) const {
    auto host = ToHost(path);
    if (!host || ::mkdir(host->c_str(), 0777) != 0) return false;
    NoteHostCreated(*host);
    return true;
}

bool Machine::MakeFolders(std::string_view path) const {
    auto parts = Split(path);
    if (!parts) return false;
    fs::path base("/");
    if (!parts->host) {
        auto drive = FindDrive(parts->drive);
        if (!drive) return false;
        base = drive->hostFolder;
    }
    // Level by level, so that each existing level is found whatever its letter case.
    fs::path current = Resolve(base, {});
    for (const std::string& c : parts->components) {
        current = Resolve(current, {c});
        struct stat st;
        if (StatPath(current, st)) {
            if (!S_ISDIR(st.st_mode)) return false;
            continue;
        }
        if (::mkdir(current.c_str(), 0777) == 0)
            NoteHostCreated(current);
        else if (errno != EEXIST)
            return false;
    }
    struct stat st;
    return StatPath(current, st) && S_ISDIR(st.st_mode);
}

bool Machine::RemoveFolder(std::string_view path) const {
    auto host = ToHost(path);
    return host && ::rmdir(host->c_str()) == 0;
}

bool Machine::DeleteFile(std::string_view path) const {
    auto host = ToHost(path);
    struct stat st;
    if (!host || ::lstat(host->c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(host->c_str()) == 0;
}

bool Machine::CopyFile(std::string_view from, std::string_view to, bool overwrite) const {
    auto src = ToHost(from);
    auto dst = ToHost(to);
    if (!src || !dst) return false;
    try {
        UniqueFd in = OpenForReading(*src);
        struct stat sst;
        struct stat dstSt;
        if (::fstat(in.Get(), &sst) != 0) return false;
        if (::stat(dst->c_str(), &dstSt) == 0 &&
            (!overwrite || (dstSt.st_dev == sst.st_dev && dstSt.st_ino == sst.st_ino)))
            return false;
        const WriteOpen how = overwrite ? WriteOpen::CreateOrTruncate : WriteOpen::CreateNew;
        UniqueFd out = OpenForWriting(*dst, how, sst.st_mode & 0777);
        std::vector<std::byte> buffer(1 << 16);
        for (;;) {
            const std::size_t n = ReadFully(in.Get(), buffer, *src);
            if (n == 0) break;
            WriteAll(out.Get(), std::span<const std::byte>(buffer.data(), n), *dst);
        }
        ::fchmod(out.Get(), sst.st_mode & 0777);
        return ::close(out.Release()) == 0;
    } catch (const FileError&) {  // the copy failed: the caller's result
        return false;
    }
}

bool Machine::RenameFile(std::string_view from, std::string_view to) const {
    auto src = ToHost(from);
    auto dst = ToHost(to);
    if (!src || !dst) return false;
    struct stat s;
    struct stat d;
    if (::lstat(src->c_str(), &s) != 0) return false;
    if (::lstat(dst->c_str(), &d) == 0) {
        if (s.st_dev != d.st_dev || s.st_ino != d.st_ino) return false;
        // The same file under another letter case: rename to the name as written.
        auto parts = Split(to);
        if (!parts || parts->components.empty()) return false;
        fs::path target = dst->parent_path() / parts->components.back();
        if (target == *src) return true;
        return ::rename(src->c_str(), target.c_str()) == 0;
    }
    if (::renameat2(AT_FDCWD, src->c_str(), AT_FDCWD, dst->c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without no-replace renames: the check above has to do.
    return ::rename(src->c_str(), dst->c_str()) == 0;
}

bool Machine::IsReadOnlyFile(std::string_view path) const {
    auto host = ToHost(path);
    struct stat st;
    return host && StatPath(*host, st) && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

bool Machine::SameFile(std::string_view a, std::string_view b) const {
    auto hostA = ToHost(a);
    auto hostB = ToHost(b);
    struct stat sa;
    struct stat sb;
    return hostA && hostB && StatPath(*hostA, sa) && StatPath(*hostB, sb) &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::optional<std::int64_t> Machine::AppendToFile(
    std::string_view path, const std::function<std::string(std::int64_t)>& text) const {
    auto host = ToHost(path);
    if (!host) return std::nullopt;
    try {
        UniqueFd fd = OpenForWriting(*host, WriteOpen::Append, 0644);
        struct stat st;
        const std::int64_t length = ::fstat(fd.Get(), &st) == 0 ? st.st_size : 0;
        WriteAll(fd.Get(), text(length), *host);
        return length;
    } catch (const FileError&) {  // not appendable: the caller's result
        return std::nullopt;
    }
}

namespace {

// What a child process is started with, prepared before any fork(): the host program, its
// argv (the arguments as one element, none when empty) and the environment with
// PLENOVA_MACHINE naming the machine.
struct ChildLaunch {
    std::string programText;
    std::string argumentText;
    std::string machineVar;
    std::vector<char*> argv;
    std::vector<char*> envp;
};

// Checks that `program` names a runnable program (giving an ELF binary or a "#!" script of the
// machine's own drives the execute bit that Windows does not have) and prepares its launch;
// empty when it cannot run.
std::unique_ptr<ChildLaunch> PrepareLaunch(const Machine& machine, std::string_view program,
                                           std::string_view arguments) {
    auto host = machine.ToHost(program);
    struct stat st;
    if (!host || !StatPath(*host, st) || !S_ISREG(st.st_mode)) return nullptr;
    if (arguments.find('\0') != std::string_view::npos) return nullptr;
    if ((st.st_mode & S_IXUSR) == 0) {
        // The file is judged and changed through one descriptor, so that a name swapped
        // meanwhile cannot turn the change onto another file. Host files are never made
        // executable, whatever the machine calls them (a link on C: to a host file included),
        // and neither is a file with further hard links, which may be a host file's too.
        std::optional<UniqueFd> fd;
        try {
            fd.emplace(OpenForReading(*host));
        } catch (const FileError&) {  // unreadable: not a machine program
            return nullptr;
        }
        struct stat opened;
        if (::fstat(fd->Get(), &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_nlink != 1)
            return nullptr;
        std::error_code ec;
        // The file the descriptor holds, by its real name (links resolved, renames followed).
        const fs::path openedAs =
            fs::read_symlink("/proc/self/fd/" + std::to_string(fd->Get()), ec);
        if (ec || !machine.OnOwnDrive(program)) return nullptr;
        bool own = false;
        for (const Drive& drive : machine.Drives()) {
            if (drive.letter == 'Z') continue;
            std::error_code driveError;
            const fs::path folder = fs::weakly_canonical(drive.hostFolder, driveError);
            const fs::path relative = openedAs.lexically_relative(folder);
            if (!driveError && !relative.empty() && *relative.begin() != "..") own = true;
        }
        if (!own) return nullptr;
        char magic[4] = {};
        std::size_t n = 0;
        try {
            n = ReadFully(fd->Get(), std::as_writable_bytes(std::span<char>(magic)), *host);
        } catch (const FileError&) {  // unreadable: not a machine program
            return nullptr;
        }
        const bool elf = n == 4 && std::memcmp(magic,
                                               "\x7f"
                                               "ELF",
                                               4) == 0;
        const bool script = n >= 2 && magic[0] == '#' && magic[1] == '!';
        if (!elf && !script) return nullptr;
        // Execute wherever reading is allowed, as a Windows program file would be runnable.
        mode_t mode = opened.st_mode | S_IXUSR;
        if (mode & S_IRGRP) mode |= S_IXGRP;
        if (mode & S_IROTH) mode |= S_IXOTH;
        if (::fchmod(fd->Get(), mode & 07777) != 0) return nullptr;
    }
    if (::access(host->c_str(), X_OK) != 0) return nullptr;

    auto launch = std::make_unique<ChildLaunch>();
    launch->programText = host->string();
    launch->argumentText = std::string(arguments);
    launch->machineVar = "PLENOVA_MACHINE=" + machine.Root().string();
    launch->argv.push_back(launch->programText.data());
    if (!launch->argumentText.empty()) launch->argv.push_back(launch->argumentText.data());
    launch->argv.push_back(nullptr);
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "PLENOVA_MACHINE=", 16) != 0) launch->envp.push_back(*e);
    launch->envp.push_back(launch->machineVar.data());
    launch->envp.push_back(nullptr);
    return launch;
}

// Spawns the prepared program with only standard input, output and error open, as on Windows:
// an inherited descriptor would, among other things, keep this program's flocks held.
int SpawnLaunch(ChildLaunch& launch, pid_t& child) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    const int rc = ::posix_spawn(&child, launch.programText.c_str(), &actions, nullptr,
                                 launch.argv.data(), launch.envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

}  // namespace

bool Machine::StartProcess(std::string_view program, std::string_view arguments) const {
    auto launch = PrepareLaunch(*this, program, arguments);
    if (!launch) return false;

    // Started through a short-lived middle process so that the program is not our child:
    // nobody has to wait for it and it never lingers as a zombie.
    const pid_t middle = ::fork();
    if (middle < 0) return false;
    if (middle == 0) {
        ::setsid();
        pid_t child = 0;
        ::_exit(SpawnLaunch(*launch, child) == 0 ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<int> Machine::RunProcess(std::string_view program,
                                       std::string_view arguments) const {
    auto launch = PrepareLaunch(*this, program, arguments);
    if (!launch) return std::nullopt;
    pid_t child = 0;
    if (SpawnLaunch(*launch, child) != 0) return std::nullopt;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return std::nullopt;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::unique_ptr<ChildProgram> Machine::LaunchProcess(std::string_view program,
                                                    std::string_view arguments) const {
    auto launch = PrepareLaunch(*this, program, arguments);
    if (!launch) return nullptr;
    pid_t child = 0;
    if (SpawnLaunch(*launch, child) != 0) return nullptr;
    return std::make_unique<ChildProgram>(static_cast<int>(child));
}

// ----- the boot step --------------------------------------------------------------------------

namespace {

// Guards against two threads of one process running the boot step at once: a claim named with
// this process's id is then always a leftover of an earlier process that had the same id.
std::mutex bootStepMutex;

// Carries out the entries of a claimed WININIT.INI whose lock `fd` holds; returns the count.
int CarryOut(const Machine& machine, int fd, const fs::path& claimed) {
    std::string text;
    try {
        text = ReadAll(fd, kBootScriptLimit, claimed);
    } catch (const FileError& e) {
        // Carrying out part of the file could rename or delete the wrong files.
        std::cerr << "WININIT.INI is not carried out: " << e.what() << "\n";
        return 0;
    }
    int count = 0;
    int skipped = 0;
    for (const BootEntry& entry : ParseBootScript(text)) {
        // Anyone who can write into C:\WINDOWS (a setup medium can) writes this file: it may
        // only change the machine's own files, never the host's.
        const bool remove = plenova::EqualsIgnoreCase(entry.target, "NUL");
        if (!machine.OnOwnDrive(entry.source) || (!remove && !machine.OnOwnDrive(entry.target))) {
            ++skipped;
            continue;
        }
        if (remove) {
            if (machine.DeleteFile(entry.source)) ++count;
        } else {
            auto from = machine.ToHost(entry.source);
            auto to = machine.ToHost(entry.target);
            if (from && to && ::rename(from->c_str(), to->c_str()) == 0) ++count;
        }
    }
    if (skipped > 0)
        std::cerr << "WININIT.INI: " << skipped
                  << " line(s) naming files outside the machine's own drives were skipped\n";
    return count;
}

// Takes the lock of an open claim and checks that `path` still names that file: one that
// was finished (renamed to WININIT.BAK) while we waited is not carried out twice.
bool LockClaim(int fd, const fs::path& path) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) return false;
    }
    struct stat held;
    struct stat named;
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

int Machine::RunBootStep() const {
    auto script = ToHost("C:\\WINDOWS\\WININIT.INI");
    auto done = ToHost("C:\\WINDOWS\\WININIT.BAK");
    if (!script || !done) return 0;
    std::lock_guard<std::mutex> guard(bootStepMutex);
    const fs::path folder = script->parent_path();
    const std::string claimPrefix = script->filename().string() + ".boot-";
    int count = 0;
    auto finish = [&](UniqueFd& fd, const fs::path& claimed) {
        count += CarryOut(*this, fd.Get(), claimed);
        // Renamed while still locked, so that nobody who waits for the lock finds it again. A
        // claim that cannot become WININIT.BAK goes: left, the next start would do it again.
        if (::rename(claimed.c_str(), done->c_str()) != 0) ::unlink(claimed.c_str());
        SyncFolder(folder);
    };

    // Claims left by a process that ended (crashed, killed) before it was done: a claim is
    // locked by its owner for as long as it works on it, and the lock ends with the process,
    // so a claim whose lock can be taken is abandoned, whatever process now has its id.
    std::vector<fs::path> abandoned;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > claimPrefix.size() &&
            plenova::EqualsIgnoreCase(name.substr(0, claimPrefix.size()), claimPrefix))
            abandoned.push_back(entry.path());
    }
    std::sort(abandoned.begin(), abandoned.end());
    for (const fs::path& claimed : abandoned) {
        try {
            auto fd = OpenForReadingIfExists(claimed);
            if (fd && LockClaim(fd->Get(), claimed)) finish(*fd, claimed);
        } catch (const FileError& e) {
            std::cerr << "WININIT.INI is not carried out: " << e.what() << "\n";
        }
    }

    // Of several programs starting at once only one carries the file out: the one that locks
    // it first and renames it to its claim while holding the lock.
    try {
        auto fd = OpenForReadingIfExists(*script);
        if (!fd || !LockClaim(fd->Get(), *script)) return count;
        fs::path claimed = *script;
        claimed += ".boot-" + std::to_string(::getpid());
        if (::rename(script->c_str(), claimed.c_str()) != 0) return count;
        // A new WININIT.INI written between the check and the rename was renamed instead: it
        // is then carried out by the next start, as the lock held is on another file.
        if (!LockClaim(fd->Get(), claimed)) return count;
        finish(*fd, claimed);
    } catch (const FileError& e) {
        std::cerr << "WININIT.INI is not carried out: " << e.what() << "\n";
    }
    return count;
}

// ----- the process's machine -----------------------------------------------------------------

Machine& CurrentMachine() { return machineSlot.Get(); }

std::shared_ptr<Machine> SetCurrentMachine(std::shared_ptr<Machine> machine) {
    return machineSlot.Set(std::move(machine));
}

ScopedMachine::ScopedMachine(const fs::path& root)
    : ScopedService(std::make_shared<Machine>(root)) {
    if (const char* v = std::getenv("PLENOVA_MACHINE")) previousEnv_ = std::string(v);
    ::setenv("PLENOVA_MACHINE", (*this)->Root().c_str(), 1);
}

ScopedMachine::~ScopedMachine() {
    if (previousEnv_)
        ::setenv("PLENOVA_MACHINE", previousEnv_->c_str(), 1);
    else
        ::unsetenv("PLENOVA_MACHINE");
}

}  // namespace plenova::platform
