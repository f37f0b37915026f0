// CopyOneFile's decisions, blocks, cancel and failures, and MakeFolderPath, on real files of a
// temporary machine.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

#include "tests/setup/setup_fixture.h"

namespace plenova::setup::testing {
namespace {

// The setup program itself, with its version note set to `major.minor.0.0`.
std::string ProgramWithVersion(std::uint16_t major, std::uint16_t minor) {
    std::string bytes = plenova::testing::ReadAll(PLENOVA_SETUP_EXE);
    const std::string header("\x08\0\0\0\x08\0\0\0\x00\x01\0\0Plenova\0", 20);
    const std::size_t at = bytes.find(header);
    if (at == std::string::npos) throw std::runtime_error("the setup program has no version note");
    const std::size_t parts = at + header.size();
    bytes[parts] = static_cast<char>(major & 0xFF);
    bytes[parts + 1] = static_cast<char>(major >> 8);
    bytes[parts + 2] = static_cast<char>(minor & 0xFF);
    bytes[parts + 3] = static_cast<char>(minor >> 8);
    return bytes;
}

class CopyTest : public SetupFixture {
protected:
    CopyTest() { windows.ShowCopy([this] { module.CmdStopClick(); }); }
};

TEST_F(CopyTest, VersionsDecideFirstThenDates) {
    struct Case {
        const char* name;
        std::optional<std::uint16_t> sourceVersion;  // major version; none: a plain file
        std::optional<std::uint16_t> destinationVersion;
        std::int64_t sourceDate;
        std::int64_t destinationDate;
        Int16 expected;
    };
    const Case cases[] = {
        {"no destination", {}, {}, 100, 0, kCopyDone},
        {"newer date", {}, {}, 200, 100, kCopyDone},
        {"equal dates", {}, {}, 100, 100, kCopyKept},
        {"older date", {}, {}, 100, 200, kCopyKept},
        {"newer version, older date", 3, 2, 100, 200, kCopyDone},
        {"equal version, newer date", 2, 2, 200, 100, kCopyKept},
        {"older version, newer date", 1, 2, 200, 100, kCopyKept},
        {"only the source has a version", 2, {}, 100, 200, kCopyKept},
    };
    fs::create_directories(Host("C:\\DST"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = c.sourceVersion ? ProgramWithVersion(*c.sourceVersion, 0)
                                                   : std::string("source bytes");
        const std::string destination = c.destinationVersion
                                            ? ProgramWithVersion(*c.destinationVersion, 0)
                                            : std::string("old destination");
        Write("C:\\SRC\\f.exe", source);
        SetDate("C:\\SRC\\f.exe", c.sourceDate);
        M().DeleteFile("C:\\DST\\f.exe");
        if (std::string(c.name) != "no destination") {
            Write("C:\\DST\\f.exe", destination);
            SetDate("C:\\DST\\f.exe", c.destinationDate);
        }
        EXPECT_EQ(module.CopyOneFile("C:\\SRC\\f.exe", "C:\\DST\\f.exe"), c.expected);
        if (c.expected == kCopyDone) {
            EXPECT_EQ(Read("C:\\DST\\f.exe"), source);
            EXPECT_EQ(M().FileDate("C:\\DST\\f.exe"), M().FileDate("C:\\SRC\\f.exe"));
        } else {
            EXPECT_EQ(Read("C:\\DST\\f.exe"), destination);
        }
    }
    EXPECT_TRUE(boxes->Shown().empty());
}

TEST_F(CopyTest, BlocksEmptySourceAndTheSourcesExactTime) {
    std::string big(3 * kCopyBlockBytes + 5, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    Write("C:\\SRC\\big.bin", big);
    const FileTime exact{std::chrono::nanoseconds(1'234'567'890'123'456'789)};
    ASSERT_TRUE(M().SetFileDate("C:\\SRC\\big.bin", exact));
    Write("C:\\SRC\\empty.bin", "");
    fs::create_directories(Host("C:\\DST"));

    const int pumpsBefore = windows.Pumps();
    EXPECT_EQ(module.CopyOneFile("C:\\SRC\\big.bin", "C:\\DST\\big.bin"), kCopyDone);
    EXPECT_EQ(windows.Pumps() - pumpsBefore, 1 + 4);  // before the file, after each block
    EXPECT_EQ(Read("C:\\DST\\big.bin"), big);
    EXPECT_EQ(M().FileDate("C:\\DST\\big.bin"), exact);

    EXPECT_EQ(module.CopyOneFile("C:\\SRC\\empty.bin", "C:\\DST\\empty.bin"), kCopyDone);
    EXPECT_TRUE(M().FileExists("C:\\DST\\empty.bin"));
    EXPECT_EQ(M().FileLength("C:\\DST\\empty.bin"), 0);
}

TEST_F(CopyTest, CancelAtAnyPumpLeavesNoPartialFile) {
    Write("C:\\SRC\\f.bin", std::string(2 * kCopyBlockBytes + 1, 'x'));
    fs::create_directories(Host("C:\\DST"));
    // Pump 1 comes before the file, pumps 2 to 4 after its three blocks (4: the last).
    for (int pump = 1; pump <= 4; ++pump) {
        SCOPED_TRACE(pump);
        module.cancelRequested = 0;
        const int base = windows.Pumps();
        windows.StopAtPump(base + pump);
        EXPECT_EQ(module.CopyOneFile("C:\\SRC\\f.bin", "C:\\DST\\f.bin"), kCopyCancelled);
        EXPECT_FALSE(M().Exists("C:\\DST\\f.bin"));
        EXPECT_EQ(windows.Pumps() - base, pump);
        EXPECT_EQ(module.cancelRequested, -1);
    }
    // Answering No to the question lets the copy finish.
    module.cancelRequested = 0;
    boxes->Answer(MsgResult::No);
    windows.StopAtPump(windows.Pumps() + 2);
    EXPECT_EQ(module.CopyOneFile("C:\\SRC\\f.bin", "C:\\DST\\f.bin"), kCopyDone);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(5, "セットアップを中止しますか"));
}

TEST_F(CopyTest, ReadOnlyDestinationIsNeitherDeletedNorOverwritten) {
    Write("C:\\SRC\\f.bin", "new");
    SetDate("C:\\SRC\\f.bin", 200);
    Write("C:\\DST\\f.bin", "old");
    SetDate("C:\\DST\\f.bin", 100);
    fs::permissions(Host("C:\\DST\\f.bin"), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(module.CopyOneFile("C:\\SRC\\f.bin", "C:\\DST\\f.bin"), kCopyFailed);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ﾌｧｲﾙが作成できません\rC:\\DST\\f.bin"});
    EXPECT_EQ(Read("C:\\DST\\f.bin"), "old");
}

TEST_F(CopyTest, FileOntoItselfIsKept) {
    Write("C:\\SRC\\f.bin", "data");
    EXPECT_EQ(module.CopyOneFile("C:\\SRC\\f.bin", "c:\\src\\F.BIN"), kCopyKept);
    EXPECT_EQ(Read("C:\\SRC\\f.bin"), "data");
}

// Copies 256 KiB onto a destination that cannot take it: the write fails, the notice names the
// destination, and nothing of it stays.
void ExpectWriteFailureLeavesNothing(Module1& module, platform::ScriptedMessageBoxes& boxes,
                                     const std::string& destination) {
    EXPECT_EQ(module.CopyOneFile("C:\\SRC\\big.bin", destination), kCopyFailed);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "ﾌｧｲﾙに書き込めません\r" + destination);
    EXPECT_FALSE(CurrentMachine().Exists(destination));
}

TEST_F(CopyTest, OtherFileSystemAndFullDisk) {
    std::string small(2 * kCopyBlockBytes + 5, '\0');
    for (std::size_t i = 0; i < small.size(); ++i) small[i] = static_cast<char>(i % 253);
    Write("C:\\SRC\\small.bin", small);
    Write("C:\\SRC\\big.bin", std::string(256 * 1024, 'b'));
    const fs::path mountPoint = temp / "small";
    fs::create_directories(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=128k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here; the file size limit test covers the path";
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount(at.c_str()); }
    } unmount{mountPoint};
    M().AddDrive('D', mountPoint, platform::kDriveFixed);
    // Across file systems the kernel cannot copy; the blocks go through the buffer.
    EXPECT_EQ(module.CopyOneFile("C:\\SRC\\small.bin", "D:\\small.bin"), kCopyDone);
    EXPECT_EQ(Read("D:\\small.bin"), small);
    ExpectWriteFailureLeavesNothing(module, *boxes, "D:\\big.bin");
}

TEST_F(CopyTest, FileSizeLimitLeavesNoPartialFile) {
    Write("C:\\SRC\\big.bin", std::string(256 * 1024, 'b'));
    fs::create_directories(Host("C:\\DST"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ExpectWriteFailureLeavesNothing(module, *boxes, "C:\\DST\\big.bin");
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(M().Exists("C:\\DST\\big.bin"));
}

TEST_F(CopyTest, MakeFolderPathMakesEveryMissingLevel) {
    Write("C:\\file", "x");
    ASSERT_TRUE(M().SetCurrentFolder("C:\\WINDOWS"));
    struct Case {
        const char* path;
        bool expected;
        const char* made;  // a folder that must exist afterwards
    };
    const Case cases[] = {
        {"C:\\a\\b\\c", true, "C:\\a\\b\\c"},
        {"C:\\a\\b\\c", true, "C:\\a\\b\\c"},  // all there already
        {"C:\\t\\u\\", true, "C:\\t\\u"},
        {"\\rooted\\x", true, "C:\\rooted\\x"},
        {"/slashed/y", true, "C:\\slashed\\y"},
        {"C:\\", true, "C:\\"},
        {"C:\\file\\below", false, nullptr},
        {"\\\\server\\share", false, nullptr},
        {"\\\\server", false, nullptr},
        {"\\\\server\\share\\a\\b", false, nullptr},  // this machine has no network
        {"Q:\\nowhere", false, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(module.MakeFolderPath(c.path), c.expected) << c.path;
        if (c.made) {
            EXPECT_TRUE(M().FolderExists(c.made)) << c.path;
        }
    }
    EXPECT_FALSE(fs::exists("/slashed"));
}

}  // namespace
}  // namespace plenova::setup::testing
