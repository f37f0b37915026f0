// The machine's own files made hostile: oversized, endless, special files in their place, NUL
// bytes, processes racing on the drive table, boot steps abandoned half way. Each run ends with
// a clear message, in bounded memory and time, and loses nothing that was stored before. Work
// that might hang or take memory runs in a child process watched from here.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::ReadAll;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

namespace {

constexpr auto kPatience = std::chrono::seconds(30);
// Far below what the files claim (1 GiB, endless), far above what a start needs.
constexpr long kMemoryBoundKiB = 160 * 1024;

struct Outcome {
    bool ended = false;
    int code = -1;
    long peakKiB = 0;
    std::string err;
};

// This process's peak resident size (VmHWM) in KiB.
long OwnPeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Waits for the process to end, at most `limit`; a process still running then is killed.
// A child's reported peak starts from ours (a forked child shares our pages, and exec records
// the peak of the memory it replaces), so what it used itself is only what lies beyond that:
// peakKiB is the excess over our own peak when the child started.
Outcome WaitFor(pid_t pid, std::chrono::milliseconds limit, long parentPeakKiB = 0) {
    Outcome outcome;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, static_cast<int>(limit.count()));
        } while (ready < 0 && errno == EINTR);
        ::close(pidfd);
        outcome.ended = ready > 0;
    }
    if (!outcome.ended) ::kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (pidfd < 0) outcome.ended = WIFEXITED(status);
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.peakKiB = std::max(0L, usage.ru_maxrss - parentPeakKiB);
    return outcome;
}

// Runs `body` in a child process with standard error going to `errFile`; its result is the
// child's exit code (99 for an exception).
Outcome RunInChild(const std::function<int()>& body, const fs::path& errFile) {
    const long parentPeak = OwnPeakKiB();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (err >= 0) ::dup2(err, STDERR_FILENO);
        int code = 99;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    Outcome outcome = WaitFor(pid, kPatience, parentPeak);
    outcome.err = ReadAll(errFile);
    return outcome;
}

// Runs plenova-machine on the machine in `root`.
Outcome RunTool(const fs::path& root, const std::vector<std::string>& args, std::string* out,
                const fs::path& scratch) {
    std::vector<std::string> all{PLENOVA_MACHINE_TOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string machineVar = "PLENOVA_MACHINE=" + root.string();
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "PLENOVA_MACHINE=", 16) != 0) envp.push_back(*e);
    envp.push_back(machineVar.data());
    envp.push_back(nullptr);
    const fs::path outFile = scratch / "tool.out";
    const fs::path errFile = scratch / "tool.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const long parentPeak = OwnPeakKiB();
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return {};
    Outcome outcome = WaitFor(pid, kPatience, parentPeak);
    if (out) *out = ReadAll(outFile);
    outcome.err = ReadAll(errFile);
    return outcome;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class HostileFiles : public ::testing::Test {
protected:
    TempFolder temp;
    fs::path root = temp.Path() / "machine";
    fs::path c = root / "drive_c";
    fs::path win = c / "WINDOWS";
    fs::path table = root / "drives";
    fs::path script = win / "WININIT.INI";

    void SetUp() override { Machine made(root); }  // the machine's folders
};

TEST_F(HostileFiles, OversizedDriveTablesAreRefusedWholeAndNeverRewritten) {
    struct Case {
        const char* name;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"one line of 1 GiB",
         [&] {
             WriteAll(table, "A: 2 /a");
             ASSERT_EQ(::truncate(table.c_str(), off_t{1} << 30), 0);
         }},
        {"good lines beyond 1 MiB",
         [&] {
             std::string text = "A: 2 /a\n";
             while (text.size() <= (1u << 20)) text += "# a comment that fills the table\n";
             WriteAll(table, text + "B: 2 /b\n");
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        k.make();
        const auto sizeBefore = fs::file_size(table);
        std::string head(64, '\0');
        {
            std::ifstream in(table, std::ios::binary);
            in.read(head.data(), static_cast<std::streamsize>(head.size()));
        }

        std::string out;
        Outcome list = RunTool(root, {"drive", "list"}, &out, temp.Path());
        ASSERT_TRUE(list.ended);
        EXPECT_EQ(list.code, 0) << list.err;
        EXPECT_LT(list.peakKiB, kMemoryBoundKiB);
        EXPECT_TRUE(Contains(out, "C: 3")) << out;
        EXPECT_FALSE(Contains(out, "A: ")) << out;  // all or nothing: no part of it is used
        EXPECT_FALSE(Contains(out, "B: ")) << out;
        EXPECT_TRUE(Contains(list.err, "the drive table is not used: " + table.string() +
                                           " is larger than 1048576 bytes"))
            << list.err;

        Outcome add =
            RunTool(root, {"drive", "add", "D:", (temp / "d").string()}, nullptr, temp.Path());
        ASSERT_TRUE(add.ended);
        EXPECT_NE(add.code, 0);
        EXPECT_LT(add.peakKiB, kMemoryBoundKiB);
        EXPECT_TRUE(Contains(add.err, "the drive table is not changed: ")) << add.err;
        EXPECT_EQ(fs::file_size(table), sizeBefore);
        std::string headAfter(64, '\0');
        std::ifstream in(table, std::ios::binary);
        in.read(headAfter.data(), static_cast<std::streamsize>(headAfter.size()));
        EXPECT_EQ(headAfter, head);

        Machine m(root);
        EXPECT_FALSE(m.DriveTableProblem().empty());
        EXPECT_THROW(m.AddDrive('D', temp / "d", kDriveRemovable), MachineError);
        EXPECT_THROW(m.RemoveDrive('A'), MachineError);
        fs::remove(table);
    }
}

TEST_F(HostileFiles, OversizedOrEndlessWininitIsNotCarriedOut) {
    WriteAll(c / "victim.txt", "kept");
    const std::string lines = "[rename]\nNUL=C:\\victim.txt\n";
    struct Case {
        const char* name;
        std::function<void()> make;
        bool retired;  // renamed to WININIT.BAK, so that later starts do not meet it again
    };
    const Case cases[] = {
        {"1 GiB file",
         [&] {
             WriteAll(script, lines);
             ASSERT_EQ(::truncate(script.c_str(), off_t{1} << 30), 0);
         },
         true},
        {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", script); }, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        k.make();
        Outcome run = RunInChild([&] { return Machine(root).RunBootStep(); }, temp / "err.txt");
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.code, 0);  // nothing carried out
        EXPECT_LT(run.peakKiB, kMemoryBoundKiB);
        EXPECT_TRUE(Contains(run.err, "WININIT.INI is not carried out: ")) << run.err;
        EXPECT_EQ(ReadAll(c / "victim.txt"), "kept");
        EXPECT_EQ(fs::exists(win / "WININIT.BAK"), k.retired);
        EXPECT_EQ(fs::is_symlink(script) || fs::exists(script), !k.retired);
        fs::remove(script);
        fs::remove(win / "WININIT.BAK");
    }
}

TEST_F(HostileFiles, FifosInPlaceOfTheMachinesFilesNeverBlockTheStart) {
    for (const fs::path& name : {root / "user.reg", table, script}) {
        SCOPED_TRACE(name.string());
        ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
        Outcome run = RunInChild(
            [&] {
                Machine m(root);
                m.RunBootStep();
                SettingsStore store{Registry(m)};
                store.WriteSetting("PlenovaSaver", "Set", "Mouse", "5");
                return store.ReadSetting("PlenovaSaver", "Set", "Mouse", "3") == "3" ? 3 : 5;
            },
            temp / "err.txt");
        ASSERT_TRUE(run.ended) << "blocked";
        // With the hive a FIFO nothing can be stored; otherwise the setting is kept.
        EXPECT_EQ(run.code, name == root / "user.reg" ? 3 : 5);
        if (name != root / "user.reg") {
            EXPECT_TRUE(Contains(run.err, name.string())) << run.err;
        }
        fs::remove(name);
        fs::remove(root / "user.reg");
    }
    // The registry's own answer for such a hive names it.
    ASSERT_EQ(::mkfifo((root / "user.reg").c_str(), 0600), 0);
    Registry reg{Machine(root)};
    try {
        reg.KeyExists(Hive::CurrentUser, "Software");
        ADD_FAILURE() << "read";
    } catch (const RegistryError& e) {
        EXPECT_TRUE(Contains(e.what(), (root / "user.reg").string() + " is a FIFO")) << e.what();
    }
}

TEST_F(HostileFiles, CopiesAndFileHandlesRefuseSpecialFilesAtOnce) {
    ASSERT_EQ(::mkfifo((c / "pipe").c_str(), 0600), 0);
    WriteAll(c / "real.txt", "real");
    ::chmod((c / "real.txt").c_str(), 0640);
    Outcome run = RunInChild(
        [&] {
            Machine m(root);
            const std::string pipe = (c / "pipe").string();
            int faults = 0;
            faults += FileHandle::OpenRead(pipe).has_value();
            faults += FileHandle::Create(pipe).has_value();
            faults += FileHandle::OpenRead("/dev/zero").has_value();
            faults += m.CopyFile("C:\\pipe", "C:\\from-pipe", true);
            faults += m.CopyFile("C:\\real.txt", "C:\\pipe", true);
            faults += m.CopyFile("/dev/zero", "C:\\zero", true);
            return faults;
        },
        temp / "err.txt");
    ASSERT_TRUE(run.ended) << "blocked";
    EXPECT_EQ(run.code, 0);
    EXPECT_FALSE(fs::exists(c / "from-pipe"));
    EXPECT_FALSE(fs::exists(c / "zero"));

    Machine m(root);
    EXPECT_TRUE(m.CopyFile("C:\\REAL.TXT", "C:\\copy.txt", false));
    EXPECT_FALSE(m.CopyFile("C:\\real.txt", "C:\\copy.txt", false));  // exists
    EXPECT_FALSE(m.CopyFile("C:\\real.txt", "C:\\Real.txt", true));   // the same file
    WriteAll(c / "real.txt", "newer");
    EXPECT_TRUE(m.CopyFile("C:\\real.txt", "C:\\copy.txt", true));
    EXPECT_EQ(ReadAll(c / "copy.txt"), "newer");
    struct stat st;
    ASSERT_EQ(::stat((c / "copy.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(HostileFiles, ANulInsideADriveLineMakesThatLineNoDrive) {
    const std::string nulLine("A: 2 /x/floppy.txt\0zzz", 22);
    WriteAll(table, nulLine + "\nB: 2 /b\n");
    Machine m(root);
    EXPECT_FALSE(m.FindDrive('A'));
    EXPECT_TRUE(m.FindDrive('B'));
    EXPECT_TRUE(m.DriveTableProblem().empty());
    m.AddDrive('D', "/d", kDriveRemovable);
    EXPECT_EQ(ReadAll(table), nulLine + "\nB: 2 /b\nD: 2 /d\n");  // kept verbatim
    EXPECT_THROW(m.AddDrive('E', fs::path(std::string("/e\0f", 4)), kDriveFixed),
                 std::invalid_argument);
}

TEST_F(HostileFiles, TwoProcessesChangingTheDriveTableAtOnceLoseNothing) {
    int barrier[2];
    ASSERT_EQ(::pipe(barrier), 0);
    auto adder = [&](const std::string& letters) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(barrier[1]);
            int code = 1;
            try {
                Machine m(root);  // read before the other one writes anything
                char go;
                while (::read(barrier[0], &go, 1) < 0 && errno == EINTR) {
                }
                for (char letter : letters)
                    m.AddDrive(letter, temp.Path() / std::string(1, letter), kDriveRemovable);
                code = 0;
            } catch (...) {
            }
            ::_exit(code);
        }
        return pid;
    };
    const pid_t first = adder("ABDEFGHIJKL");
    const pid_t second = adder("MNOPQRSTUVW");
    ::close(barrier[0]);
    ::close(barrier[1]);  // both start at once
    EXPECT_EQ(WaitFor(first, kPatience).code, 0);
    EXPECT_EQ(WaitFor(second, kPatience).code, 0);

    Machine after(root);
    std::string letters;
    for (const Drive& d : after.Drives()) letters.push_back(d.letter);
    EXPECT_EQ(letters, "ABCDEFGHIJKLMNOPQRSTUVWZ");
}

TEST_F(HostileFiles, RegistryExportIsForTheOwnerOnly) {
    const fs::path file = temp / "export.reg";
    WriteAll(file, "old");
    ::chmod(file.c_str(), 0644);
    const mode_t savedMask = ::umask(022);
    RunTool(root, {"reg", "add", "HKCU\\Software\\P", "/v", "Password", "/d", "secret"}, nullptr,
            temp.Path());
    Outcome run = RunTool(root, {"reg", "export", "HKCU\\Software\\P", file.string(), "/y"},
                          nullptr, temp.Path());
    ::umask(savedMask);
    EXPECT_EQ(run.code, 0) << run.err;
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(Contains(ReadAll(file), "\"Password\"=\"secret\""));
}

// A pid that no process has any more.
pid_t EndedPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    WaitFor(pid, kPatience);
    return pid;
}

TEST_F(HostileFiles, ClaimsOfEndedBootStepsAreCarriedOutByTheNextStart) {
    for (const char* name : {"one.txt", "two.txt", "three.txt", "four.txt", "five.txt"})
        WriteAll(c / name, name);
    const std::string claim = script.string() + ".boot-";
    // Left by a process that crashed, and by an earlier process that had our id.
    WriteAll(claim + std::to_string(EndedPid()), "[rename]\nNUL=C:\\one.txt\n");
    WriteAll(claim + std::to_string(::getpid()), "[rename]\r\nNUL=C:\\two.txt\r\n");
    // One that a running boot step holds.
    const fs::path live = claim + "live";
    WriteAll(live, "[rename]\nNUL=C:\\three.txt\n");
    int held[2];
    int release[2];
    ASSERT_EQ(::pipe(held), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(release[1]);
        const int fd = ::open(live.c_str(), O_RDONLY);
        ::flock(fd, LOCK_EX);
        (void)!::write(held[1], "x", 1);
        char c;
        (void)!::read(release[0], &c, 1);
        ::_exit(0);
    }
    ::close(held[1]);
    ::close(release[0]);
    char ready;
    ASSERT_EQ(::read(held[0], &ready, 1), 1);
    // A new script besides; a file named by its host path on Z: is the host's, never touched.
    WriteAll(script, "[rename]\nNUL=C:\\four.txt\nNUL=Z:" + (c / "five.txt").string() + "\n");

    Machine m(root);
    EXPECT_EQ(m.RunBootStep(), 3);
    for (const char* name : {"one.txt", "two.txt", "four.txt"})
        EXPECT_FALSE(fs::exists(c / name)) << name;
    EXPECT_TRUE(fs::exists(c / "five.txt"));
    EXPECT_TRUE(fs::exists(c / "three.txt"));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(win / "WININIT.BAK"));

    ::close(release[1]);  // the holder ends without finishing: its claim is abandoned now
    WaitFor(holder, kPatience);
    ::close(held[0]);
    EXPECT_EQ(m.RunBootStep(), 1);
    EXPECT_FALSE(fs::exists(c / "three.txt"));
    EXPECT_FALSE(fs::exists(live));
    EXPECT_EQ(m.RunBootStep(), 0);

    // Done but not retirable (a folder holds the name WININIT.BAK): never done twice.
    fs::remove(win / "WININIT.BAK");
    fs::create_directories(win / "WININIT.BAK" / "inside");
    WriteAll(c / "six.txt", "six");
    WriteAll(script, "[rename]\nC:\\seven.txt=C:\\six.txt\n");
    EXPECT_EQ(m.RunBootStep(), 1);
    WriteAll(c / "six.txt", "six again");
    EXPECT_EQ(m.RunBootStep(), 0);
    EXPECT_EQ(ReadAll(c / "seven.txt"), "six");
}

}  // namespace
