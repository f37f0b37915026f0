// The file layer on real files: what it refuses to read or write, the read limit, whole-file
// replacement and its file modes.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::ReadAll;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

namespace {

// A file of `size` bytes that takes no room: the reader must not believe it.
void MakeSparse(const fs::path& path, std::string_view start, off_t size) {
    WriteAll(path, start);
    ASSERT_EQ(::truncate(path.c_str(), size), 0) << std::strerror(errno);
}

class KeepUmask {
public:
    explicit KeepUmask(mode_t mask) : saved_(::umask(mask)) {}
    ~KeepUmask() { ::umask(saved_); }

private:
    mode_t saved_;
};

TEST(FileIo, ReadLimitHoldsWhateverTheFileClaims) {
    TempFolder temp;
    constexpr std::size_t kLimit = 1000;
    WriteAll(temp / "exact", std::string(kLimit, 'x'));
    EXPECT_EQ(ReadFileLimited(temp / "exact", kLimit).size(), kLimit);
    WriteAll(temp / "empty", "");
    EXPECT_EQ(ReadFileLimited(temp / "empty", kLimit), "");

    WriteAll(temp / "over", std::string(kLimit + 1, 'x'));
    MakeSparse(temp / "sparse", "start", off_t{1} << 30);
    for (const char* name : {"over", "sparse"}) {
        try {
            ReadFileLimited(temp / name, kLimit);
            ADD_FAILURE() << name << " was read";
        } catch (const FileTooLargeError& e) {
            EXPECT_NE(std::string(e.what()).find((temp / name).string()), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("1000 bytes"), std::string::npos) << e.what();
        }
    }

    // A source whose size says nothing (a device, a pipe) is cut off by the bytes read.
    UniqueFd zero(::open("/dev/zero", O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(zero.IsOpen());
    EXPECT_THROW(ReadAll(zero.Get(), 1 << 20, "/dev/zero"), FileTooLargeError);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd readEnd(fds[0]);
    {
        UniqueFd writeEnd(fds[1]);
        WriteAll(writeEnd.Get(), std::string(kLimit + 1, 'p'), "pipe");
    }
    EXPECT_THROW(ReadAll(readEnd.Get(), kLimit, "pipe"), FileTooLargeError);
}

TEST(FileIo, OnlyRegularFilesAreOpenedAndNothingBlocks) {
    TempFolder temp;
    ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0600), 0);
    fs::create_directories(temp / "folder");
    fs::create_symlink("/dev/zero", temp / "zero-link");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (temp / "socket").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    struct Case {
        std::string name;
        std::string kind;
    };
    for (const Case& c : {Case{"fifo", "a FIFO"}, Case{"folder", "a folder"},
                          Case{"zero-link", "a character device"}}) {
        SCOPED_TRACE(c.name);
        try {
            OpenForReading(temp / c.name);
            ADD_FAILURE() << "opened";
        } catch (const NotRegularFileError& e) {
            EXPECT_EQ(std::string(e.what()),
                      (temp / c.name).string() + " is " + c.kind + ", not a regular file");
        }
        EXPECT_THROW(OpenForReadingIfExists(temp / c.name), NotRegularFileError);
    }
    EXPECT_THROW(OpenForReading(temp / "socket"), FileError);
    // Writing in place refuses the same names before anything is truncated or written.
    for (const char* name : {"fifo", "zero-link", "socket"})
        EXPECT_THROW(OpenForWriting(temp / name, WriteOpen::CreateOrTruncate, 0600), FileError)
            << name;
    ::close(listener);

    EXPECT_FALSE(OpenForReadingIfExists(temp / "missing"));
    EXPECT_FALSE(OpenForReadingIfExists(temp / "missing" / "below"));
    try {
        OpenForReading(temp / "missing");
        ADD_FAILURE() << "opened";
    } catch (const FileError& e) {
        EXPECT_EQ(e.ErrorNumber(), ENOENT);
        EXPECT_NE(std::string(e.what()).find((temp / "missing").string()), std::string::npos);
    }
}

TEST(FileIo, WritingInPlace) {
    TempFolder temp;
    const fs::path file = temp / "file";
    KeepUmask keep(022);
    {
        UniqueFd fd = OpenForWriting(file, WriteOpen::CreateNew, 0640);
        WriteAll(fd.Get(), "first version, long", file);
    }
    EXPECT_THROW(OpenForWriting(file, WriteOpen::CreateNew, 0640), FileError);
    {
        UniqueFd fd = OpenForWriting(file, WriteOpen::CreateOrTruncate, 0600);
        WriteAll(fd.Get(), "second", file);
    }
    EXPECT_EQ(ReadAll(file), "second");
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // an existing file keeps its mode
}

TEST(FileIo, ReplaceFileGivesExactlyTheModeAndLeavesNoTemporary) {
    TempFolder temp;
    const fs::path target = temp / "hive";
    for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        KeepUmask keep(mask);
        for (mode_t mode : {mode_t{0600}, mode_t{0644}}) {
            ReplaceFile(target, "mode " + std::to_string(mode), mode);
            struct stat st;
            ASSERT_EQ(::stat(target.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, mode) << "umask " << mask;
            EXPECT_EQ(ReadAll(target), "mode " + std::to_string(mode));
        }
    }
    // A link at the target's name is replaced, never written through.
    WriteAll(temp / "elsewhere", "untouched");
    fs::remove(target);
    fs::create_symlink(temp / "elsewhere", target);
    ReplaceFile(target, "new", 0600);
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(ReadAll(temp / "elsewhere"), "untouched");

    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(temp.Path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"elsewhere", "hive"}));

    // A failed replacement names the file and changes nothing.
    try {
        ReplaceFile(temp / "no-folder" / "x", "text", 0600);
        ADD_FAILURE() << "written";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find((temp / "no-folder").string()), std::string::npos);
        EXPECT_NE(std::string(e.what()).find(std::strerror(ENOENT)), std::string::npos);
    }
    fs::create_directories(temp / "folder-target");
    EXPECT_THROW(ReplaceFile(temp / "folder-target", "text", 0600), FileError);
    EXPECT_TRUE(fs::is_directory(temp / "folder-target"));
}

TEST(FileIo, LocksOwnerOnlyAndReadersWithoutAWritableFolderGoOn) {
    TempFolder temp;
    const fs::path target = temp / "table";
    {
        FileLock lock = FileLock::Acquire(target, LockMode::Exclusive);
        EXPECT_TRUE(lock.Held());
    }
    struct stat st;
    ASSERT_EQ(::stat((temp / "table.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A folder the caller cannot write: root writes anywhere, so as root the check runs in a
    // child that has become the unprivileged "nobody" (65534).
    fs::create_directories(temp / "locked");
    ASSERT_EQ(::chmod(temp.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((temp / "locked").c_str(), 0555), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        if (FileLock::Acquire(temp / "locked" / "table", LockMode::Shared).Held()) ::_exit(11);
        try {
            FileLock::Acquire(temp / "locked" / "table", LockMode::Exclusive);
            ::_exit(12);
        } catch (const FileError&) {
            ::_exit(0);
        } catch (...) {
            ::_exit(13);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    // 11: a reader took a lock it cannot have; 12: a writer went on without its lock.
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::chmod((temp / "locked").c_str(), 0700);
}

}  // namespace
