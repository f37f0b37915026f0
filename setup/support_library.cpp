#include "setup/support_library.h"

// Loading the library is this class's job, so it calls the loader itself; every other look at
// the file goes through the platform layer.
#include <dlfcn.h>

#include <optional>

#include "platform/file_io.h"
#include "platform/machine.h"
#include "platform/text_conversion.h"

namespace plenova::setup {

using platform::ToShiftJis;

namespace {

std::string FolderFile(const std::string& folder, const char* name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

}  // namespace

SupportLibrary::~SupportLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

void SupportLibrary::Load() {
    if (handle_ != nullptr) return;
    auto& machine = platform::CurrentMachine();
    std::string searched;
    std::string loadError;
    for (const std::string& folder : {machine.ProgramFolder(), machine.SystemFolder()}) {
        const std::string windowsPath = FolderFile(folder, kFileName);
        if (!searched.empty()) searched += ", ";
        searched += windowsPath;
        if (!machine.FileExists(windowsPath)) continue;
        std::optional<std::filesystem::path> host = machine.ToHost(windowsPath);
        if (!host) continue;
        // The loader would block on a FIFO put in the file's place since the check above.
        try {
            (void)platform::OpenForReading(*host);
        } catch (const platform::FileError& error) {
            loadError = error.what();
            continue;
        }
        void* handle = ::dlopen(host->c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = ::dlerror();
            loadError = why != nullptr ? why : "unknown reason";
            continue;
        }
        auto find = [&](const char* name) {
            void* symbol = ::dlsym(handle, name);
            if (symbol == nullptr) {
                ::dlclose(handle);
                throw SupportLibraryError(std::string(kFileName) + " に関数 " + name +
                                          " がありません\r" + windowsPath);
            }
            return symbol;
        };
        compareVersion_ = reinterpret_cast<CompareFn>(find("CompareVersion"));
        copyFileDateTime_ = reinterpret_cast<DateFn>(find("CopyFileDateTime"));
        registDll_ = reinterpret_cast<RegistFn>(find("RegistDll"));
        createShortcut_ = reinterpret_cast<ShortcutFn>(find("CreateShortcut"));
        handle_ = handle;
        return;
    }
    if (!loadError.empty())
        throw SupportLibraryError(std::string(kFileName) + " を読み込めません\r" + loadError);
    throw SupportLibraryError(std::string(kFileName) + " が見つかりません\r" + searched);
}

std::int32_t SupportLibrary::CompareVersion(const std::string& source,
                                            const std::string& destination,
                                            std::int32_t& comparison) {
    Load();
    const std::string a = ToShiftJis(source);
    const std::string b = ToShiftJis(destination);
    return compareVersion_(a.c_str(), b.c_str(), &comparison);
}

std::int32_t SupportLibrary::CopyFileDateTime(const std::string& destination,
                                              const std::string& source) {
    Load();
    const std::string a = ToShiftJis(destination);
    const std::string b = ToShiftJis(source);
    return copyFileDateTime_(a.c_str(), b.c_str());
}

std::int32_t SupportLibrary::RegistDll(const std::string& library, std::int32_t registerFlag) {
    Load();
    const std::string a = ToShiftJis(library);
    return registDll_(a.c_str(), registerFlag);
}

std::int32_t SupportLibrary::CreateShortcut(const std::string& link, const std::string& target,
                                            const std::string& arguments) {
    Load();
    const std::string a = ToShiftJis(link);
    const std::string b = ToShiftJis(target);
    const std::string c = ToShiftJis(arguments);
    return createShortcut_(a.c_str(), b.c_str(), c.c_str());
}

}  // namespace plenova::setup
