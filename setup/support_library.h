// The setup program's support library "TAVORIN.DLL", loaded at run time the way the Windows
// loader finds a library: first in the running program's own folder, then in the system
// folder of the machine. The library is loaded on the first call, so a mode that never needs it
// (the uninstallation) runs without it.
//
// Paths are passed as the machine's Windows paths in UTF-8 and handed to the library in the
// ANSI code page (Shift-JIS); a path that code page cannot hold raises EncodingError.
//
// A library that is missing, cannot be loaded or lacks one of the four functions raises
// SupportLibraryError, whose text names the folders searched or the missing function.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/errors.h"
#include "platform/shared_library.h"
#include "setup/tavorin/tavorin.h"

namespace plenova::setup {

class SupportLibraryError : public RuntimeError {
public:
    // 48: the classic "error in loading DLL".
    explicit SupportLibraryError(const std::string& message) : RuntimeError(48, message) {}
};

class SupportLibrary {
public:
    SupportLibrary() = default;
    ~SupportLibrary();
    SupportLibrary(const SupportLibrary&) = delete;
    SupportLibrary& operator=(const SupportLibrary&) = delete;

    // The library's file name, as the program and the first stage know it.
    static constexpr const char* kFileName = "TAVORIN.DLL";

    // 1 and `comparison` set when both files have a version; anything else: no comparison.
    std::int32_t CompareVersion(const std::string& source, const std::string& destination,
                                std::int32_t& comparison);
    std::int32_t CopyFileDateTime(const std::string& destination, const std::string& source);
    std::int32_t RegistDll(const std::string& library, std::int32_t registerFlag);
    std::int32_t CreateShortcut(const std::string& link, const std::string& target,
                                const std::string& arguments);

private:
    // The library's own declarations, so that a changed signature fails the build.
    using CompareFn = decltype(&::CompareVersion);
    using DateFn = decltype(&::CopyFileDateTime);
    using RegistFn = decltype(&::RegistDll);
    using ShortcutFn = decltype(&::CreateShortcut);

    void Load();

    std::optional<platform::SharedLibrary> library_;
    CompareFn compareVersion_ = nullptr;
    DateFn copyFileDateTime_ = nullptr;
    RegistFn registDll_ = nullptr;
    ShortcutFn createShortcut_ = nullptr;
};

}  // namespace plenova::setup
