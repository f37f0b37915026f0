// The C exports of TAVORIN.DLL. Each one maps its Shift-JIS Windows paths through the machine
// named by $PLENOVA_MACHINE and keeps every C++ exception on this side of the C boundary.
// The library is built with hidden visibility; only the declarations of the header are exported.
#pragma GCC visibility push(default)
#include "setup/tavorin/tavorin.h"
#pragma GCC visibility pop

// Loading the library to be registered is this library's job, so it calls the loader itself.

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/child_process.h"
#include "platform/file_io.h"
#include "platform/machine.h"
#include "platform/shared_library.h"
#include "platform/text_conversion.h"
#include "setup/tavorin/file_version.h"
#include "setup/tavorin/shell_link.h"

namespace fs = std::filesystem;
using plenova::platform::Machine;

namespace {

// The machine of the calling process. The library has its own copy of the platform layer, so
// it follows $PLENOVA_MACHINE itself: a caller that switches machines (as tests do) gets the
// new one at its next call.
Machine& CallersMachine() {
    static std::mutex mutex;
    static std::shared_ptr<Machine> machine;
    static fs::path machineRoot;
    std::lock_guard lock(mutex);
    const fs::path root = Machine::DefaultRoot();
    if (!machine || root != machineRoot) {
        machine = std::make_shared<Machine>(root);
        machineRoot = root;
        plenova::platform::SetCurrentMachine(machine);
    }
    return *machine;
}

std::string ToUtf8(const char* ansi) { return plenova::platform::FromShiftJis(ansi); }

std::optional<fs::path> HostPath(const char* ansiWindowsPath) {
    if (ansiWindowsPath == nullptr) return std::nullopt;
    return CallersMachine().ToHost(ToUtf8(ansiWindowsPath));
}

// A registration that takes longer than this is taken to hang.
constexpr std::chrono::seconds kRegistrationLimit{60};

// Runs `body`; any exception becomes the failure result.
template <class Body>
int32_t Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return 0;
    }
}

}  // namespace

extern "C" {

int32_t CompareVersion(const char* sourcePath, const char* destinationPath,
                       int32_t* comparison) {
    return Guarded([&]() -> int32_t {
        if (comparison == nullptr) return 0;
        const auto source = HostPath(sourcePath);
        const auto destination = HostPath(destinationPath);
        if (!source || !destination) return 0;
        const auto sourceVersion = plenova::tavorin::ReadFileVersion(*source);
        if (!sourceVersion) return 0;
        const auto destinationVersion = plenova::tavorin::ReadFileVersion(*destination);
        if (!destinationVersion) return 0;
        *comparison = (*sourceVersion > *destinationVersion) ? 1
                      : (*sourceVersion < *destinationVersion) ? -1
                                                               : 0;
        return 1;
    });
}

int32_t CopyFileDateTime(const char* destinationPath, const char* sourcePath) {
    return Guarded([&]() -> int32_t {
        if (destinationPath == nullptr || sourcePath == nullptr) return 0;
        Machine& machine = CallersMachine();
        const std::string destination = ToUtf8(destinationPath);
        const auto time = machine.FileDate(ToUtf8(sourcePath));
        if (!time) return 0;
        return machine.SetFileDate(destination, *time) ? 1 : 0;
    });
}

int32_t RegistDll(const char* libraryPath, int32_t registerFlag) {
    return Guarded([&]() -> int32_t {
        const auto library = HostPath(libraryPath);
        if (!library) return 0;
        // Only a regular file is handed to the loader: a FIFO in its place would block it.
        (void)plenova::platform::OpenForReading(*library);
        const char* name = registerFlag != 0 ? "DllRegisterServer" : "DllUnregisterServer";
        // The library is foreign code: it runs in a child process, so that a crash or a hang
        // in it costs the registration, never the caller.
        const auto code = plenova::platform::RunInChildProcess(
            [&]() -> int {
                auto loaded = plenova::platform::SharedLibrary::Load(*library);
                if (!loaded) return 2;
                const auto entry = loaded->Find<int32_t (*)()>(name);
                if (entry == nullptr) return 2;
                // An HRESULT: negative values are failures, S_OK and S_FALSE both succeed.
                return entry() >= 0 ? 0 : 1;
            },
            kRegistrationLimit);
        return code == 0 ? 1 : 0;
    });
}

int32_t CreateShortcut(const char* linkPath, const char* targetPath, const char* arguments) {
    return Guarded([&]() -> int32_t {
        if (linkPath == nullptr || targetPath == nullptr) return 0;
        Machine& machine = CallersMachine();
        const auto link = machine.ToHost(ToUtf8(linkPath));
        const auto target = machine.FullPath(ToUtf8(targetPath));
        if (!link || !target) return 0;
        const std::string args = arguments != nullptr ? ToUtf8(arguments) : std::string();

        plenova::tavorin::ShellLinkTarget shellTarget;
        shellTarget.windowsPath = *target;
        shellTarget.driveType = static_cast<uint32_t>(machine.DriveType(*target));
        if (const auto time = machine.FileDate(*target)) {
            shellTarget.isFolder = machine.FolderExists(*target);
            shellTarget.size = static_cast<uint64_t>(machine.FileLength(*target).value_or(0));
            shellTarget.writeTimeNs = time->time_since_epoch().count();
        }
        const auto bytes = plenova::tavorin::BuildShellLink(shellTarget, args);
        plenova::tavorin::WriteShellLinkFile(*link, bytes);
        return 1;
    });
}

}  // extern "C"
