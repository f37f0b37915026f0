// The emulated Windows machine: a small Windows file system laid over the host's, as Wine does.
//
// The programs speak in Windows paths ("C:\WINDOWS", "A:\SETUP.ini"): the first three
// characters of a path, drive types, "\" separators and case-insensitive names are part of their
// logic. A Machine lives in a host folder, its root:
//
//   <root>/drive_c/     drive C: (fixed disk)
//   <root>/user.reg     registry hive HKEY_CURRENT_USER   (see registry.h)
//   <root>/system.reg   registry hive HKEY_LOCAL_MACHINE
//   <root>/drives       the drive table (below)
//
// The root is $PLENOVA_MACHINE when that is set and not empty, else $XDG_DATA_HOME/plenova, else
// $HOME/.local/share/plenova. Child processes started through StartProcess get PLENOVA_MACHINE
// set to the root of the machine that started them, so they see the same machine.
//
// Drives: C: is <root>/drive_c, Z: is the host root "/"; both are fixed disks (type 3) and
// cannot be changed by the table. Every other letter comes from the drive table, a UTF-8 text
// file with one drive per line:
//
//   # comment
//   A: 2 /home/user/floppy
//
// that is: the letter and colon, blanks, the drive type as a decimal number (0 to 6, the
// classic GetDriveType values below), blanks, and the host folder as the rest of the line
// (blanks inside kept, trailing blanks removed; relative folders are taken from the machine
// root). Blank lines and lines starting with "#" are comments; any other line that does not
// have this form is ignored (and kept when the table is rewritten), as are lines for C: and Z:,
// and so is a line holding a NUL byte.
// The table is read when the Machine is created. It is used whole or not at all: a table larger
// than 1 MiB, or a name that is no regular file (a FIFO, a device), gives a machine with C: and
// Z: only, a message on standard error, and AddDrive/RemoveDrive refuse to rewrite it.
// AddDrive/RemoveDrive take the table's exclusive lock, read it afresh (so that changes other
// processes made meanwhile are kept) and replace it atomically.
//
// Path mapping (Windows to host):
//   - "\" and "/" both separate components; a path that starts with "/" is a host path and is
//     taken as it stands (only "." and ".." are resolved).
//   - "X:\rest" and "X:/rest" are absolute on drive X; "X:" alone names the root of drive X;
//     "X:rest" is relative to the current folder of drive X (its root when never set);
//     "\rest" is absolute on the current drive; anything else is relative to the current folder.
//   - "." is dropped and ".." removes the previous component; ".." at a drive root stays there.
//   - Each component is looked up without regard to letter case (plenova::FoldCase) in the host
//     folder reached so far: an exact match wins, else the first of the case-insensitive matches
//     in byte order. A component that is not found is kept as written, and so is everything
//     after it: new names are created as written.
//   - A drive letter not in the table, a network path ("\\server\share\x"), a device path
//     ("\\?\..", "\\.\..") or an empty path gives no host path (an empty optional).
// Host to Windows: the path is made absolute and normalised, then named on the drive whose host
// folder contains it with the longest match (Z: contains every host path, so this never fails).
//
// Windows paths returned by the Machine use "\" separators, an upper-case drive letter, no
// trailing "\" except for a drive root ("C:\"), and the letter case of the host names.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/service_slot.h"

namespace plenova::platform {

class ChildProgram;

// Drive types as the classic GetDriveType returns them.
enum DriveTypeValue : int {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,  // no such drive
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// A file's modification time, with the host file system's resolution.
using FileTime = std::chrono::sys_time<std::chrono::nanoseconds>;

// The machine cannot be used (its root cannot be created, no home folder to put it in, the
// drive table cannot be written). The message names the host path and the reason.
class MachineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Drive {
    char letter = 'C';                 // upper case
    int type = kDriveFixed;            // DriveTypeValue
    std::filesystem::path hostFolder;  // absolute, normalised
};

class Machine {
public:
    // Opens the machine in `root`, creating the root (mode 0700), drive_c and the Windows,
    // system and Programs folders when they are missing. Throws MachineError when that fails.
    explicit Machine(std::filesystem::path root);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // $PLENOVA_MACHINE, else $XDG_DATA_HOME/plenova, else $HOME/.local/share/plenova. Throws
    // MachineError when none of these can be formed.
    static std::filesystem::path DefaultRoot();

    const std::filesystem::path& Root() const noexcept { return root_; }
    std::filesystem::path UserHivePath() const;     // <root>/user.reg
    std::filesystem::path MachineHivePath() const;  // <root>/system.reg
    std::filesystem::path DriveTablePath() const;   // <root>/drives

    // ----- drives -----
    // All drives in letter order, C: and Z: included.
    std::vector<Drive> Drives() const;
    std::optional<Drive> FindDrive(char letter) const;  // either letter case
    // Why the drive table is not used (too large, not a regular file, unreadable); empty when
    // it is used or there is none.
    const std::string& DriveTableProblem() const noexcept { return tableProblem_; }
    // Adds or replaces a table drive (not C: or Z:; type 0 to 6) and rewrites the table.
    // Throws std::invalid_argument for a bad letter or type, MachineError when the table
    // cannot be read whole or written.
    void AddDrive(char letter, const std::filesystem::path& hostFolder, int type);
    // Removes a table drive; false when there was none (C: and Z: cannot be removed). Throws
    // MachineError when the table cannot be read whole or written.
    bool RemoveDrive(char letter);
    // Type of the drive named by the first characters of `root` ("C:\", "C:", "c:\x" all name
    // C:); an empty text names the current drive. 1 (no root dir) for a letter without a drive
    // and for anything that does not start with a drive letter and colon (network paths too).
    int DriveType(std::string_view root) const;

    // ----- path mapping -----
    std::optional<std::filesystem::path> ToHost(std::string_view windowsPath) const;
    std::string ToWindows(const std::filesystem::path& hostPath) const;
    // The absolute Windows form of `windowsPath` ("." and ".." resolved, current drive and
    // folder applied, letter case as written); empty optional where ToHost has none.
    std::optional<std::string> FullPath(std::string_view windowsPath) const;

    // ----- containment -----
    // Whether `windowsPath` lies on one of the machine's own drives: any drive but Z: (the
    // host), never a host path. The folder reached is judged with its symbolic links resolved,
    // so a link on the way that leads out of the drive's folder makes it false; parts that do
    // not exist yet are judged by what exists above them.
    bool OnOwnDrive(std::string_view windowsPath) const;
    // Whether `path` lies beneath the folder `base` (or is it), both Windows paths, judged the
    // same way: no "..", absolute name or symbolic link leads out of `base`.
    bool IsBeneath(std::string_view base, std::string_view path) const;

    // ----- special folders (created when missing) -----
    std::string WindowsFolder() const;   // "C:\WINDOWS"
    std::string SystemFolder() const;    // "C:\WINDOWS\SYSTEM"
    std::string ProgramsFolder() const;  // "C:\WINDOWS\Start Menu\Programs"

    // ----- process-level notions -----
    // The current folder of the process (the host's working folder, named in Windows form).
    std::string CurrentFolder() const;
    // Makes a folder current (changes the host working folder and the current drive); false
    // when it does not exist or cannot be entered.
    bool SetCurrentFolder(std::string_view windowsPath);
    // Makes a drive current, entering the folder last made current on it (its root at first);
    // `drive` is a letter or any path that starts with one. False when there is no such drive.
    bool SetCurrentDrive(std::string_view drive);
    // Folder of the running program in Windows form ("A:\" for a drive root, no trailing "\"
    // otherwise), and its file name without and with extension.
    std::string ProgramFolder() const;
    std::string ProgramName() const;
    std::string ProgramFileName() const;
    // Tests and tools may pretend the program was started from another file (a Windows path);
    // an empty text goes back to the real one (/proc/self/exe).
    void SetProgramPath(std::string windowsPath);

    // ----- files and folders (all paths Windows paths) -----
    bool FileExists(std::string_view path) const;  // a plain file (or a link to one)
    bool FolderExists(std::string_view path) const;
    bool Exists(std::string_view path) const;  // file or folder
    std::optional<std::int64_t> FileLength(std::string_view path) const;
    std::optional<FileTime> FileDate(std::string_view path) const;  // modification time
    bool SetFileDate(std::string_view path, FileTime time) const;
    bool MakeFolder(std::string_view path) const;    // one level; false when it exists already
    bool MakeFolders(std::string_view path) const;   // every missing level; true when it exists
    bool RemoveFolder(std::string_view path) const;  // an empty folder only
    bool DeleteFile(std::string_view path) const;    // a plain file only
    // Copies a plain file's bytes and permission bits; fails when `to` exists and `overwrite`
    // is false, or when `from` and `to` are the same file.
    bool CopyFile(std::string_view from, std::string_view to, bool overwrite) const;
    // Renames a file or folder; fails when `to` exists.
    bool RenameFile(std::string_view from, std::string_view to) const;
    // Tells the machine that this process has just made `windowsPath` (a file or folder), so
    // that a lookup of the next new name in the same folder need not look through it again.
    void NoteCreated(std::string_view windowsPath) const;
    // A plain file without the owner's write permission: Windows' read-only attribute.
    bool IsReadOnlyFile(std::string_view path) const;
    // Whether both paths name one existing file (or folder).
    bool SameFile(std::string_view a, std::string_view b) const;
    // Appends the text that `text` makes from the file's length before the append to a plain
    // file, creating it (mode 0644 less the umask) when missing, never through a FIFO or device.
    // The length before the append, or an empty optional when the file cannot be written.
    std::optional<std::int64_t> AppendToFile(
        std::string_view path, const std::function<std::string(std::int64_t)>& text) const;

    // Starts the program at `program` (a Windows path to a host executable) with `arguments`
    // as its command line text and returns at once, without waiting. The arguments reach the
    // new process as one argv element, exactly (no quoting, blanks kept), or none when empty;
    // it starts in this process's current folder with PLENOVA_MACHINE naming this machine.
    // Since Windows has no execute permission, a program file that is an ELF binary or a "#!"
    // script but lacks the owner's execute bit gets it. False when the program does not exist,
    // is not runnable, or the process cannot be created.
    bool StartProcess(std::string_view program, std::string_view arguments) const;
    // Starts the program as StartProcess does, but as a child of this process (same session),
    // and waits for it to end. Its exit status, 128 + the signal number when a signal ended it,
    // or an empty optional when it could not be started (for the reasons of StartProcess).
    std::optional<int> RunProcess(std::string_view program, std::string_view arguments) const;
    // Starts the program as RunProcess does, without waiting: the running child, which its
    // owner watches and ends (platform/child_program.h); null when it could not be started.
    std::unique_ptr<ChildProgram> LaunchProcess(std::string_view program,
                                                std::string_view arguments) const;

    // ----- the boot step -----
    // "The next start of the system": carries out and retires C:\WINDOWS\WININIT.INI, which
    // programs call once at start. Each line "NUL=path" of its [rename] section deletes that
    // file, "new=old" renames old to new (replacing new); lines are done in order, failures
    // are passed over, and the file is then renamed to WININIT.BAK. Only files on the
    // machine's own drives are touched (OnOwnDrive): a line naming a host file (Z:, a "/" path,
    // a link leading out) is skipped, and the skipped lines are counted once on standard error. Paths are Windows paths
    // in UTF-8 or, where not valid UTF-8, the ANSI code page. Of several programs starting at
    // once, only one carries the file out: it locks the file (flock), renames it to
    // "WININIT.INI.boot-<pid>" and holds the lock until the copy is WININIT.BAK. A claimed copy
    // whose lock is free was left by a process that ended before it was done (the lock ends
    // with the process, whatever process now has its id): the next start carries it out
    // first. A file over 1 MiB is retired unread (a part of it could delete the wrong files),
    // and a name that is no regular file (a FIFO, a link to a device) is left alone; both are
    // reported on standard error. Returns the number of lines carried out.
    int RunBootStep() const;

private:
    struct PathParts;
    std::optional<PathParts> Split(std::string_view windowsPath) const;
    // The name in `folder` that matches `name` without regard to letter case (see above).
    std::optional<std::string> MatchInFolder(const std::filesystem::path& folder,
                                             const std::string& name) const;
    void NoteHostCreated(const std::filesystem::path& host) const;
    std::filesystem::path Resolve(const std::filesystem::path& base,
                                  const std::vector<std::string>& components) const;
    void LoadDriveTable();
    void UseDriveTable(std::string_view text);
    bool ChangeDriveTable(char letter, const std::string* newLine);
    void EnsureFolder(std::string_view windowsPath) const;

    std::filesystem::path root_;
    std::vector<Drive> tableDrives_;
    std::string tableProblem_;  // why the table is not used; empty when it is
    std::string programPath_;   // override of the program's own path
    mutable std::vector<std::pair<char, std::string>> driveFolders_;  // last folder per drive
    // Case-insensitive name indexes of the folders looked through, so that looking up new
    // names in a large folder costs a scan of it only when it has changed (machine.cpp).
    struct FolderIndex;
    mutable std::unique_ptr<std::unordered_map<std::string, FolderIndex>> folderIndexes_;
    mutable std::mutex folderIndexMutex_;
};

// The running program's own file on the host, links resolved; empty when the system cannot
// tell. Programs that find their companions beside themselves start from it.
std::filesystem::path ProgramHostFile();

// The machine that this process's programs use: created on first use on DefaultRoot() (throws
// MachineError when that fails), or the one installed with SetCurrentMachine.
Machine& CurrentMachine();
// Installs a machine for the whole process; returns the previous one (may be null).
std::shared_ptr<Machine> SetCurrentMachine(std::shared_ptr<Machine> machine);

// For tests: makes a machine on `root` current for the lifetime of the object and restores the
// previous one afterwards. It also sets PLENOVA_MACHINE, so child processes use the same one.
class ScopedMachine : public ScopedService<Machine, Machine, &SetCurrentMachine> {
public:
    explicit ScopedMachine(const std::filesystem::path& root);
    ~ScopedMachine();

private:
    std::optional<std::string> previousEnv_;
};

}  // namespace plenova::platform
