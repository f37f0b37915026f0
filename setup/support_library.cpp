#include "setup/support_library.h"

#include <optional>

#include "platform/machine.h"
#include "platform/shared_library.h"
#include "platform/text_conversion.h"

namespace plenova::setup {

using platform::ToShiftJis;

namespace {

std::string FolderFile(const std::string& folder, const char* name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

template <class Function>
Function Required(const platform::SharedLibrary& library, const char* name,
                  const std::string& windowsPath) {
    const auto function = library.Find<Function>(name);
    if (function == nullptr) {
        throw SupportLibraryError(std::string(SupportLibrary::kFileName) + " に関数 " + name +
                                  " がありません\r" + windowsPath);
    }
    return function;
}

}  // namespace

SupportLibrary::~SupportLibrary() = default;

void SupportLibrary::Load() {
    if (library_) return;
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
        auto loaded = platform::SharedLibrary::Load(*host);
        if (!loaded) {
            loadError = loaded.error().message;
            continue;
        }
        const auto compare = Required<CompareFn>(*loaded, "CompareVersion", windowsPath);
        const auto date = Required<DateFn>(*loaded, "CopyFileDateTime", windowsPath);
        const auto regist = Required<RegistFn>(*loaded, "RegistDll", windowsPath);
        const auto shortcut = Required<ShortcutFn>(*loaded, "CreateShortcut", windowsPath);
        library_.emplace(std::move(loaded).value());
        compareVersion_ = compare;
        copyFileDateTime_ = date;
        registDll_ = regist;
        createShortcut_ = shortcut;
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
