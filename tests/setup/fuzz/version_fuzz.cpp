// Feeds arbitrary bytes to the version readers, as a PE file and as an ELF file whatever their
// first bytes say. No input may crash, hang, read outside the bytes or leak.
#include <cstddef>
#include <cstdint>
#include <span>

#include "setup/tavorin/file_version.h"

namespace {

class Bytes : public plenova::tavorin::ByteSource {
public:
    explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const noexcept override { return bytes_.size(); }
    bool Read(std::uint64_t offset, void* out, std::size_t count) const noexcept override {
        if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
        for (std::size_t i = 0; i < count; ++i)
            static_cast<std::uint8_t*>(out)[i] = bytes_[offset + i];
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    (void)plenova::tavorin::ReadFileVersion(bytes);
    const Bytes source(bytes);
    (void)plenova::tavorin::ReadPeVersion(source);
    (void)plenova::tavorin::ReadElfVersionNote(source);
    return 0;
}
