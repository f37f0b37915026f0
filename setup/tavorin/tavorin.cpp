// The C exports of TAVORIN.DLL. Each one maps its Shift-JIS Windows paths through the machine
// named by $PLENOVA_MACHINE and keeps every C++ exception on this side of the C boundary.
// The library is built with hidden visibility; only the declarations of the header are exported.
#pragma GCC visibility push(default)
#include "setup/tavorin/tavorin.h"
#pragma GCC visibility pop

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/machine.h"
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
        const auto destination = HostPath(destinationPath);
        const auto source = HostPath(sourcePath);
        if (!destination || !source) return 0;
        struct stat st {};
        if (::stat(source->c_str(), &st) != 0) return 0;
        const timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
        return ::utimensat(AT_FDCWD, destination->c_str(), times, 0) == 0 ? 1 : 0;
    });
}

int32_t RegistDll(const char* libraryPath, int32_t registerFlag) {
    return Guarded([&]() -> int32_t {
        const auto library = HostPath(libraryPath);
        if (!library) return 0;
        void* handle = ::dlopen(library->c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return 0;
        using Entry = int32_t (*)();
        const char* name = registerFlag != 0 ? "DllRegisterServer" : "DllUnregisterServer";
        const auto entry = reinterpret_cast<Entry>(::dlsym(handle, name));
        // An HRESULT: negative values are failures, S_OK and S_FALSE both succeed.
        const int32_t result = entry != nullptr && entry() >= 0 ? 1 : 0;
        ::dlclose(handle);
        return result;
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
        if (const auto host = machine.ToHost(*target)) {
            struct stat st {};
            if (::stat(host->c_str(), &st) == 0) {
                shellTarget.isFolder = S_ISDIR(st.st_mode);
                shellTarget.size = static_cast<uint64_t>(st.st_size);
                shellTarget.writeTimeNs =
                    int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
            }
        }
        const auto bytes = plenova::tavorin::BuildShellLink(shellTarget, args);
        return plenova::tavorin::WriteFileAtomically(*link, bytes) ? 1 : 0;
    });
}

}  // extern "C"
