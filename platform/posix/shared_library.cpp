#include "platform/shared_library.h"

#include <dlfcn.h>

#include "platform/file_io.h"

namespace plenova::platform {

Result<SharedLibrary, LoadError> SharedLibrary::Load(const std::filesystem::path& file) {
    try {
        (void)OpenForReading(file);
    } catch (const FileError& error) {  // not a readable regular file: the loader never sees it
        return Failure{LoadError{error.what()}};
    }
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        return Failure{LoadError{why != nullptr ? why : "unknown reason"}};
    }
    return SharedLibrary(handle);
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) ::dlclose(handle_);
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace plenova::platform
