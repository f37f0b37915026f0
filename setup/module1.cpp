#include "setup/module1.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "platform/desktop_menu.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/file_copy.h"
#include "platform/file_io.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "platform/text_conversion.h"
#include "setup/profile_reader.h"

namespace plenova::setup {

namespace {

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using platform::ToShiftJis;

constexpr const char* kCr = "\r";

platform::Machine& TheMachine() { return platform::CurrentMachine(); }

// "/" separates like "\" on Windows; written as "\" so that no path is ever taken for a host
// path.
std::string MachinePath(std::string_view path) {
    std::string result(path);
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

bool IsReadOnly(const std::string& path) { return TheMachine().IsReadOnlyFile(path); }

// Deletes a plain file unless it is read-only.
bool RemoveFile(const std::string& path) {
    if (IsReadOnly(path)) return false;
    return TheMachine().DeleteFile(path);
}

bool SameFile(const std::string& a, const std::string& b) { return TheMachine().SameFile(a, b); }

// A name from the script that stays in the folder it is joined to: no ".." step and no control
// characters. (Joined with "\\", even a name that starts with one stays below the folder.) Links
// are judged separately (Machine::IsBeneath).
bool StaysInFolder(std::string_view name) {
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find_first_of("\\/", start);
        const std::string_view part = name.substr(start, end == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : end - start);
        if (part == "..") return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

// Whether a script's `name`, joined to `folder` as `path`, stays in that folder.
bool Contained(const std::string& folder, std::string_view name, const std::string& path) {
    return StaysInFolder(name) && TheMachine().IsBeneath(folder, path);
}

// Whether the support library can be handed the path: it takes the ANSI code page only.
bool FitsAnsi(const std::string& text) {
    try {
        (void)ToShiftJis(text);
        return true;
    } catch (const EncodingError&) {  // does not fit the code page
        return false;
    }
}

// The ANSI code page where it can hold the text, else UTF-8 (which the boot step reads too).
std::string AnsiOrUtf8(const std::string& text) {
    try {
        return ToShiftJis(text);
    } catch (const EncodingError&) {  // does not fit: UTF-8
        return text;
    }
}

}  // namespace

Module1::Module1(SetupWindows& windows, SupportLibrary& supportLibrary)
    : windows_(windows), supportLibrary_(supportLibrary) {}

// ----- message boxes -----

void Module1::Notice(const std::string& text) const {
    platform::ShowMessage(text, setupAppName, MsgButtons::Ok, MsgIcon::None);
}

void Module1::Warning(const std::string& text) const {
    platform::ShowMessage(text, setupAppName, MsgButtons::Ok, MsgIcon::Exclamation);
}

bool Module1::Question(const std::string& text) const {
    return platform::ShowMessage(text, setupAppName, MsgButtons::YesNo, MsgIcon::Question) ==
           MsgResult::Yes;
}

// ----- uninstall log -----

void Module1::Log(const std::string& key, const std::string& value) {
    // Without a title the section would be the log's whole branch.
    if (productTitle.empty()) return;
    // Every write rewrites the whole store, so records are written a few times a second in
    // batches: a long list then costs time in proportion to its length.
    const auto now = std::chrono::steady_clock::now();
    if (pendingLog_.empty()) pendingSince_ = now;
    pendingLog_.emplace_back(key, value);
    if (now - pendingSince_ >= kLogBatchTime) FlushLog();
}

void Module1::FlushLog() {
    if (pendingLog_.empty()) return;
    std::vector<std::pair<std::string_view, std::string_view>> values(pendingLog_.begin(),
                                                                      pendingLog_.end());
    platform::SettingsStore().WriteSettings(setupAppName, productTitle, values);
    pendingLog_.clear();
}

void Module1::End(int exitCode) {
    FlushLog();
    platform::EndProcess(exitCode);
}

std::string Module1::LogValue(const std::string& key) const {
    if (productTitle.empty()) return "";
    return platform::ReadSetting(setupAppName, productTitle, key, "");
}

std::string Module1::ExeName() const { return TheMachine().ProgramName(); }

// ----- start-up -----

void Module1::Main(const std::string& commandLine) {
    commandLine_ = commandLine;
    auto& machine = TheMachine();
    winDir = machine.WindowsFolder();
    sysDir = machine.SystemFolder();
    setupAppName = "PlenovaSetup";
    if (commandLine.empty()) {
        RunBootstrap();
        End(0);
    }
    if (Left(commandLine, 7) != "/UNINST") {
        RunInstall();
        End(0);
    }
    RunUninstall();
    End(0);
}

bool Module1::LoadScript() {
    script_ = ProfileFile();
    scriptPath_ = iniPath;
    auto host = TheMachine().ToHost(MachinePath(iniPath));
    if (!host) return false;
    try {
        script_ = ProfileFile::Parse(platform::ReadFileLimited(*host, kScriptLimit));
        return true;
    } catch (const platform::FileError&) {
        // Missing, no regular file, unreadable or too large: as if there were none.
        return false;
    }
}

std::string Module1::ReadIni(std::string_view section, std::string_view key) {
    if (scriptPath_ != iniPath) LoadScript();
    return script_.Value(section, key);
}

std::string Module1::GetField(std::string_view value, int index, std::string_view separator) {
    // UTF-8 is self-synchronising, so a byte search finds the same separators as a character
    // search, and the fields come out the same. The next search starts one character after
    // the separator's start, as the classic loop did.
    if (separator.empty()) return index == 1 ? std::string(value) : std::string();
    const std::size_t step = Left(separator, 1).size();
    std::size_t start = 0;
    bool ranToEnd = true;
    for (int k = 1; k <= index - 1; ++k) {
        const std::size_t p = value.find(separator, start);
        if (p == std::string_view::npos) {
            ranToEnd = false;
            break;
        }
        start = p + step;
    }
    const std::size_t p = start <= value.size() ? value.find(separator, start)
                                                : std::string_view::npos;
    if (p != std::string_view::npos) return std::string(value.substr(start, p - start));
    if (!ranToEnd || start > value.size()) return "";
    return std::string(value.substr(start));
}

std::string Module1::ExpandMacros(std::string& path) const {
    if (path.starts_with("$WIN"))
        path = winDir + path.substr(4);
    else if (path.starts_with("$SYSTEM"))
        path = sysDir + path.substr(7);
    return path;
}

void Module1::RunBootstrap() {
    auto& machine = TheMachine();
    srcDir = machine.ProgramFolder();
    if (!srcDir.empty() && srcDir.back() == '\\') {
        iniPath = srcDir + "SETUP.ini";
        srcDir.pop_back();
    } else {
        iniPath = srcDir + "\\SETUP.ini";
    }
    if (!LoadScript()) {
        Warning("INIファイルが見つかりません");
        End(1);
    }
    windows_.ShowWait("初期化中...");
    windows_.PumpEvents();
    windows_.SetWaitHourglass();

    const std::string exeFile = ExeName() + ".exe";
    if (CopyOneFile(srcDir + "\\" + exeFile, winDir + "\\" + exeFile) < 1)
        End(1);
    if (CopyOneFile(srcDir + "\\" + SupportLibrary::kFileName,
                    sysDir + "\\" + SupportLibrary::kFileName) < 1)
        End(1);
    CopyBootFiles();
    windows_.HideWait();

    machine.SetCurrentDrive(winDir);
    machine.SetCurrentFolder(winDir);
    const std::string program = winDir + "\\" + exeFile;
    // The second stage runs from the Windows folder, where no plenova-machine lies beside it.
    platform::HandMachineToolOn();
    if (!machine.StartProcess(program, srcDir)) {
        // No window is open any more: the wait window went before the start.
        Warning("セットアッププログラムを起動できません" + std::string(kCr) + program);
        End(1);
    }
}

void Module1::InstallStep(const std::function<void()>& step) {
    try {
        step();
    } catch (const SupportLibraryError&) {
        // A missing support library is no passing failure: the caller reports it and ends.
        FlushLog();
        throw;
    } catch (const std::exception&) {
        // The rest of this step is abandoned; the sequence goes on with the next.
    }
    FlushLog();
}

void Module1::RequireSafeTitle(const std::string& message) {
    const bool unsafe = std::any_of(productTitle.begin(), productTitle.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\';
    });
    if (!unsafe) return;
    Warning(message);
    End(1);
}

void Module1::RequireBeneath(const std::string& folder, const std::string& name,
                             const std::string& path, const std::string& message) {
    if (Contained(folder, name, path)) return;
    Notice(message + std::string(kCr) + path);
    End(1);
}

std::vector<std::string> Module1::LoggedPaths(const std::string& prefix) const {
    if (productTitle.empty()) return {};
    // One read of the store for the whole list; key names are compared without letter case.
    std::unordered_map<std::string, std::string> log;
    for (auto& [key, value] : platform::SettingsStore().ReadSection(setupAppName, productTitle))
        log.try_emplace(FoldCase(key), std::move(value));
    std::vector<std::string> paths;
    for (int n = 1; n <= 32767; ++n) {
        const auto found = log.find(FoldCase(prefix + ToText(n)));
        if (found == log.end() || found->second.empty()) break;
        paths.push_back(found->second);
    }
    return paths;
}

void Module1::DestinationDialog() {
    auto& machine = TheMachine();
    PathDialogRequest request;
    request.curdirEnabled = machine.DriveType(Left(srcDir, 3)) == platform::kDriveFixed;
    request.dstDir = dstDir;
    request.caption = productTitle + " Setup";
    request.srcDir = srcDir;
    const PathDialogResult result = windows_.RunPathDialog(request);
    switch (result.how) {
    case PathDialogClose::Start:
        // The typed folder, or the medium's own folder when the user chose to install there.
        dstDir = MachinePath(result.text);
        if (result.curdirChecked && request.curdirEnabled) dstDir = srcDir;
        break;
    case PathDialogClose::Cancel:
        // Cancelled before anything of the installation proper has been done.
        End(0);
    case PathDialogClose::Closed:
        break;
    }
}

void Module1::RunInstall() {
    InstallStep([&] {
        srcDir = MachinePath(commandLine_);
        iniPath = srcDir + "\\SETUP.ini";
    });
    InstallStep([&] {
        if (!LoadScript()) {
            Warning("INIファイルが見つかりません");
            End(1);
        }
    });
    InstallStep([&] {
        productTitle = ReadIni("SETUP", "Title");
        RequireSafeTitle("INIファイルの Title に使えない文字 (制御文字または \\) があります");
    });
    InstallStep([&] { dstDir = MachinePath(Left(winDir, 3) + ReadIni("Setup", "DstDir")); });
    InstallStep([&] { windows_.ShowBackground(productTitle + " Setup"); });
    InstallStep([&] { DestinationDialog(); });
    InstallStep([&] { RegisterUninstall(kTrue); });
    InstallStep([&] {
        windows_.ShowCopy([this] { CmdStopClick(); });
        windows_.PumpEvents();
        CopySetupFiles();
        windows_.HideCopy();
    });
    InstallStep([&] {
        if (ReadIni("Setup", "GroupIcon1").empty()) return;
        if (!Question("スタートメニューに登録しますか？")) return;
        windows_.ShowWait("スタートメニューに登録中...");
        windows_.PumpEvents();
        CreateStartMenuEntries();
        windows_.HideWait();
    });
    InstallStep([&] { CleanUpSource(); });
    InstallStep([&] { Notice("セットアップが終了しました"); });
    InstallStep([&] { platform::WriteSetting("PlenovaSaver", "App", "Dir", dstDir); });
    // The desktop's menu follows the new shortcuts; it is no part of the installation proper.
    (void)platform::RefreshDesktopMenu();
}

// ----- copying -----

Int16 Module1::CopyOneFile(const std::string& source, const std::string& destination) {
    windows_.PumpEvents();
    if (cancelRequested == kTrue) return kCopyCancelled;

    auto& machine = TheMachine();
    const std::string from = MachinePath(source);
    const std::string to = MachinePath(destination);
    // The support library takes the ANSI code page only: a name it cannot hold is reported
    // like any file that cannot be opened or made.
    if (!FitsAnsi(from)) {
        Notice("ﾌｧｲﾙが開けません" + std::string(kCr) + source);
        return kCopyFailed;
    }
    if (!FitsAnsi(to)) {
        Notice("ﾌｧｲﾙが作成できません" + std::string(kCr) + destination);
        return kCopyFailed;
    }
    if (machine.FileExists(to)) {
        // Copying a file onto itself would delete it first.
        if (SameFile(from, to)) return kCopyKept;
        std::int32_t newer = 0;
        if (supportLibrary_.CompareVersion(from, to, newer) == 1) {
            if (newer <= 0) return kCopyKept;
        } else {
            // A source whose date cannot be read is not kept back here: opening it below
            // reports it.
            const auto sourceDate = machine.FileDate(from);
            const auto destinationDate = machine.FileDate(to);
            if (sourceDate && destinationDate && *sourceDate <= *destinationDate) return kCopyKept;
        }
    }

    // The length is the one the open file has, so that the copy reads what it measured.
    auto files = machine.FileExists(from) ? platform::BlockCopy::OpenSource(from) : std::nullopt;
    if (!files) {
        Notice("ﾌｧｲﾙが開けません" + std::string(kCr) + source);
        return kCopyFailed;
    }
    platform::BlockCopy& copy = *files;
    // The new version is made beside the destination and takes its place only when complete,
    // so a failure, a cancel or a kill leaves the old one; a read-only one is never replaced.
    if (IsReadOnly(to) || (machine.Exists(to) && !machine.FileExists(to)) ||
        !copy.CreateDestination(to)) {
        Notice("ﾌｧｲﾙが作成できません" + std::string(kCr) + destination);
        return kCopyFailed;
    }
    // A destination without room fails at once, as its first write would.
    if (!copy.ReserveDestination()) {
        copy.Close();
        Notice("ﾌｧｲﾙに書き込めません" + std::string(kCr) + destination);
        return kCopyFailed;
    }
    std::int64_t remaining = copy.SourceLength();
    std::vector<std::byte> buffer(static_cast<std::size_t>(std::min(remaining, kCopyBlockBytes)));
    while (remaining > 0) {
        const auto block = static_cast<std::size_t>(std::min(remaining, kCopyBlockBytes));
        switch (copy.CopyBlock(buffer, block)) {
        case platform::BlockCopy::Result::Copied:
            break;
        case platform::BlockCopy::Result::ReadFailed:
            copy.Close();
            Notice("ﾌｧｲﾙが読めません" + std::string(kCr) + source);
            return kCopyFailed;
        case platform::BlockCopy::Result::WriteFailed:
            copy.Close();
            Notice("ﾌｧｲﾙに書き込めません" + std::string(kCr) + destination);
            return kCopyFailed;
        }
        remaining -= static_cast<std::int64_t>(block);
        windows_.PumpEvents();
        if (cancelRequested == kTrue) {
            copy.Close();
            return kCopyCancelled;
        }
    }
    if (!copy.Commit()) {
        Notice("ﾌｧｲﾙに書き込めません" + std::string(kCr) + destination);
        return kCopyFailed;
    }
    supportLibrary_.CopyFileDateTime(to, from);
    return kCopyDone;
}

void Module1::CopyBootFiles() {
    cancelRequested = 0;
    for (Int16 n = 1;; n = Add16(n, 1)) {
        const std::string value = ReadIni("BOOT", "Copy" + ToText(n));
        if (value.empty()) break;
        const std::string name1 = GetField(value, 1, ",");
        std::string name2 = GetField(value, 2, ",");
        if (name2.empty()) name2 = name1;
        std::string folder = GetField(value, 3, ",");
        ExpandMacros(folder);
        folder = MachinePath(folder);
        const std::string source = MachinePath(srcDir + "\\" + name1);
        const std::string destination = MachinePath(folder + "\\" + name2);
        RequireBeneath(srcDir, name1, source, "ﾌｧｲﾙが開けません");
        // The medium names this folder itself: it must be one of the machine's own, never
        // the host's.
        if (!TheMachine().OnOwnDrive(folder)) {
            Notice("ﾌｧｲﾙが作成できません" + std::string(kCr) + destination);
            End(1);
        }
        RequireBeneath(folder, name2, destination, "ﾌｧｲﾙが作成できません");
        if (CopyOneFile(source, destination) < 1) End(1);
        if (GetField(value, 4, ",") == "REGIST" && supportLibrary_.RegistDll(destination, -1) == 0)
            Warning(destination + "の登録に失敗しました");
    }
}

void Module1::CopySetupFiles() {
    auto& machine = TheMachine();
    cancelRequested = 0;
    // What this product's log named before this run: a file that is only kept is recorded
    // when it was this product's already, so the uninstallation never takes another's file.
    // The log is numbered without gaps, as its reader stops at the first missing number.
    const std::vector<std::string> earlier = LoggedPaths("Copy");
    auto loggedBefore = [&](const std::string& path) {
        return std::any_of(earlier.begin(), earlier.end(),
                           [&](const std::string& p) { return EqualsIgnoreCase(p, path); });
    };
    Int16 logged = 0;
    Int16 k = 1;
    for (Int16 n = 1;; n = Add16(n, 1)) {
        const std::string value = ReadIni("SETUP", "Copy" + ToText(n));
        if (value.empty()) break;
        const std::string name1 = GetField(value, 1, ",");
        std::string name2 = GetField(value, 2, ",");
        if (name2.empty()) name2 = name1;
        const std::string field3 = GetField(value, 3, ",");
        std::string folder = field3;
        if (folder.starts_with("$"))
            ExpandMacros(folder);
        else if (!folder.empty())
            folder = dstDir + "\\" + folder;
        else
            folder = dstDir;
        folder = MachinePath(folder);
        // A macro folder is the machine's own; a subfolder stays beneath the destination the
        // user chose (which alone may lie on the host).
        const bool folderAllowed = field3.starts_with("$")
                                       ? machine.OnOwnDrive(folder)
                                       : field3.empty() || Contained(dstDir, field3, folder);
        if (!folderAllowed) {
            Notice("ﾌｫﾙﾀﾞが作成できません" + std::string(kCr) + folder);
            End(1);
        }

        if (!machine.Exists(folder)) {
            if (!MakeFolderPath(folder)) {
                Notice("ﾌｫﾙﾀﾞが作成できません" + std::string(kCr) + folder);
                End(1);
            }
            Log("MkDir" + ToText(k), folder);
            k = Add16(k, 1);
        }

        const std::string source = MachinePath(srcDir + "\\" + name1);
        const std::string destination = folder + "\\" + MachinePath(name2);
        RequireBeneath(srcDir, MachinePath(name1), source, "ﾌｧｲﾙが開けません");
        RequireBeneath(folder, MachinePath(name2), destination, "ﾌｧｲﾙが作成できません");
        windows_.SetCopyLabels(source, "-> " + destination);

        bool ours = true;
        if (srcDir != folder) {
            const Int16 result = CopyOneFile(source, destination);
            if (result < 1) End(1);
            ours = result == kCopyDone || loggedBefore(destination) ||
                   SameFile(source, destination);
            // Files are moved out of a source folder on the machine's own hard disk; a host
            // folder reached through Z: is only read. Never the one file that source and
            // destination both name.
            if (machine.DriveType(Left(source, 3)) == platform::kDriveFixed &&
                machine.OnOwnDrive(source) && !SameFile(source, destination) &&
                !RemoveFile(source)) {
                FlushLog();
                throw FileAccessError("cannot delete " + source);
            }
        }
        if (ours) {
            logged = Add16(logged, 1);
            Log("Copy" + ToText(logged), destination);
        }
    }
    FlushLog();
}

bool Module1::MakeFolderPath(const std::string& rawPath) const {
    auto& machine = TheMachine();
    const std::string path = MachinePath(rawPath);
    std::size_t start = 0;
    if (path.starts_with("\\\\")) {
        const std::size_t serverEnd = path.find('\\', 2);
        if (serverEnd == std::string::npos) return false;
        const std::size_t shareEnd = path.find('\\', serverEnd + 1);
        if (shareEnd == std::string::npos) return false;
        start = shareEnd + 1;
    } else if (path.starts_with("\\")) {
        start = 1;
    } else if (Mid(path, 2, 2) == ":\\") {
        start = Left(path, 3).size();
    }
    for (;;) {
        const std::size_t p = start <= path.size() ? path.find('\\', start) : std::string::npos;
        const std::string partial = p == std::string::npos ? path : path.substr(0, p);
        if (!machine.Exists(partial) && !machine.MakeFolder(partial)) return false;
        if (p == std::string::npos) return true;
        start = p + 1;
    }
}

void Module1::CleanUpSource() {
    auto& machine = TheMachine();
    // A host folder reached through Z: is only read, never cleaned.
    if (machine.DriveType(Left(srcDir, 3)) != platform::kDriveFixed ||
        !machine.OnOwnDrive(srcDir))
        return;
    auto remove = [&](const std::string& name) {
        IgnoringFailure([&] {
            const std::string path = MachinePath(srcDir + "\\" + name);
            if (Contained(srcDir, name, path))
                RemoveFile(path);
        });
    };
    IgnoringFailure([&] {
        for (Int16 n = 1;; n = Add16(n, 1)) {
            const std::string value = ReadIni("BOOT", "Copy" + ToText(n));
            if (value.empty()) break;
            remove(GetField(value, 1, ","));
        }
    });
    remove(ExeName() + ".exe");
    remove(SupportLibrary::kFileName);
    IgnoringFailure([&] { RemoveFile(MachinePath(iniPath)); });
}

// ----- records -----

void Module1::RegisterUninstall(Int16 doRegister) {
    // Without a title the key would be the parent of every product's entry.
    if (productTitle.empty()) return;
    const std::string key = std::string(platform::kUninstallKey) + "\\" + productTitle;
    platform::Registry registry = platform::CurrentRegistry();
    if (doRegister != kTrue) {
        IgnoringFailure([&] { registry.DeleteKey(platform::Hive::LocalMachine, key); });
        return;
    }
    const std::string command = winDir + "\\" + ExeName() + ".exe /UNINST " + productTitle;
    try {
        registry.CreateKey(platform::Hive::LocalMachine, key);
    } catch (const std::exception&) {
        return;  // no entry, no message: the installation goes on without it
    }
    registry.SetString(platform::Hive::LocalMachine, key, "DisplayName", productTitle);
    registry.SetString(platform::Hive::LocalMachine, key, "UninstallString", command);
}

std::string Module1::GetSpecialFolderPath(int id) const {
    constexpr int kPrograms = 2;
    if (id != kPrograms) return "";
    return TheMachine().ProgramsFolder();
}

void Module1::CreateStartMenuEntries() {
    auto& machine = TheMachine();
    const std::string programs = GetSpecialFolderPath(2);
    std::string folder = programs;
    const std::string group = ReadIni("Setup", "Group");
    if (!group.empty()) {
        folder = MachinePath(folder + "\\" + group);
        if (!Contained(programs, group, folder) ||
            !MakeFolderPath(folder)) {
            Warning("フォルダが作成できません " + folder);
            End(1);
        }
        Log("Group", folder);
    }
    windows_.OpenFolder(folder);
    // A shortcut already there that this product did not make is another's: it stays, and it
    // is not logged, so the uninstallation leaves it too. The log is numbered without gaps.
    const std::vector<std::string> earlier = LoggedPaths("Icon");
    Int16 logged = 0;
    for (Int16 n = 1;; n = Add16(n, 1)) {
        const std::string value = ReadIni("Setup", "GroupIcon" + ToText(n));
        if (value.empty()) break;
        const std::string name = MachinePath(GetField(value, 1, ","));
        const std::string link = folder + "\\" + name + ".lnk";
        if (!Contained(folder, name, link) || !FitsAnsi(link)) {
            Notice("ﾌｧｲﾙが作成できません" + std::string(kCr) + link);
            continue;
        }
        const bool another =
            machine.Exists(link) &&
            std::none_of(earlier.begin(), earlier.end(),
                         [&](const std::string& p) { return EqualsIgnoreCase(p, link); });
        if (another) continue;
        std::string target = GetField(value, 2, ",");
        if (target.starts_with("$"))
            ExpandMacros(target);
        else
            target = dstDir + "\\" + target;
        supportLibrary_.CreateShortcut(link, MachinePath(target), GetField(value, 3, ","));
        logged = Add16(logged, 1);
        Log("Icon" + ToText(logged), link);
        windows_.PumpEvents();
    }
    FlushLog();
}

// ----- uninstall -----

void Module1::RunUninstall() {
    auto& machine = TheMachine();
    productTitle = Mid(commandLine_, 9);
    RequireSafeTitle("製品名に使えない文字 (制御文字または \\) があります");
    if (!Question(productTitle + " をアンインストールしますか？")) End(0);
    windows_.ShowWait(productTitle + " のアンインストール中...");
    windows_.PumpEvents();
    windows_.SetWaitHourglass();

    // From here on every failure is passed over.
    IgnoringFailure([&] {
        const std::string saver = winDir.ends_with("\\") ? winDir + "PlenovaSaver.scr"
                                                         : winDir + "\\PlenovaSaver.scr";
        RemoveFile(saver);
    });
    IgnoringFailure([&] {
        for (const std::string& path : LoggedPaths("Copy")) RemoveFile(MachinePath(path));
    });
    IgnoringFailure([&] {
        for (const std::string& path : LoggedPaths("MkDir"))
            machine.RemoveFolder(MachinePath(path));
    });
    IgnoringFailure([&] {
        for (const std::string& path : LoggedPaths("Icon")) RemoveFile(MachinePath(path));
    });
    IgnoringFailure([&] {
        const std::string group = LogValue("Group");
        if (!group.empty()) machine.RemoveFolder(MachinePath(group));
    });
    IgnoringFailure([&] {
        // Without a title the section would be the whole log of every product.
        if (!productTitle.empty())
            platform::SettingsStore().DeleteSection(setupAppName, productTitle);
    });
    IgnoringFailure([&] { RegisterUninstall(kFalse); });
    IgnoringFailure([&] { RemoveSetupProgram(); });
    IgnoringFailure([&] { windows_.HideWait(); });
    (void)platform::RefreshDesktopMenu();
    Notice(productTitle + " のアンインストールが終了しました。 ");
}

void Module1::RemoveSetupProgram() {
    platform::SettingsStore store;
    if (!store.ApplicationExists(setupAppName)) return;
    if (store.SectionName(setupAppName, 0)) return;  // another product is still logged
    store.DeleteApplication(setupAppName);

    const std::string program = winDir + "\\" + ExeName() + ".exe";
    TheMachine().AppendToFile(winDir + "\\WININIT.INI", [&](std::int64_t length) {
        std::string lines = length == 0 ? "[rename]\r\n" : "";
        return lines + "NUL=" + AnsiOrUtf8(program) + "\r\n";
    });
}

// ----- window logic -----

void Module1::UpdateCurdirState(PathDialogControls& controls) {
    controls.SetDestinationEnabled(!controls.CurdirChecked());
}

void Module1::CmdStopClick() {
    if (Question("セットアップを中止しますか")) cancelRequested = kTrue;
}

std::vector<BackgroundBand> Module1::BackgroundBands(double widthTwips, double heightTwips,
                                                     double twipsPerPixelX,
                                                     double twipsPerPixelY) {
    const int width = RoundToInt32(widthTwips / twipsPerPixelX);
    const double height = heightTwips / twipsPerPixelY;
    std::vector<BackgroundBand> bands;
    bands.reserve(256);
    for (int i = 0; i <= 255; ++i) {
        BackgroundBand band;
        band.right = width;
        band.top = RoundToInt32(height * i) / 256;
        band.bottom = RoundToInt32(height * (i + 1)) / 256;
        band.colour = static_cast<std::uint32_t>(255 - i) << 8;
        bands.push_back(band);
    }
    return bands;
}

std::string Module1::BrowseStartFolder(const std::string& sanshodir) const {
    if (TheMachine().Exists(MachinePath(sanshodir))) return sanshodir;
    return Left(winDir, 3);
}

}  // namespace plenova::setup
