// A shared library loaded into this process (the support library, a library to register).
// Only a regular file is handed to the loader, so that a FIFO put in its place never blocks
// it. Move-only; the library is unloaded with the last owner.
#pragma once

#include <filesystem>
#include <string>

#include "base/result.h"

namespace plenova::platform {

struct LoadError {
    std::string message;  // the loader's reason
};

class SharedLibrary {
public:
    static Result<SharedLibrary, LoadError> Load(const std::filesystem::path& file);
    SharedLibrary(SharedLibrary&& other) noexcept : handle_(other.handle_) {
        other.handle_ = nullptr;
    }
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    // The exported function `name` as a pointer of the caller's type; null when there is none.
    template <class Function>
    Function Find(const char* name) const {
        return reinterpret_cast<Function>(Symbol(name));
    }

private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    void* Symbol(const char* name) const;

    void* handle_ = nullptr;
};

}  // namespace plenova::platform
