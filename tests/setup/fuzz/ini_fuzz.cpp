// Fuzz target for the setup script reader: any bytes parse, every value it returns is at most
// 1023 bytes of Shift-JIS and converts to well-formed UTF-8, and the one-shot read agrees with
// the parsed file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "setup/profile_reader.h"

using namespace plenova::setup;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// A name taken from the input, so that names the file really holds get looked up too.
std::string_view LineOf(std::string_view text, std::size_t skip) {
    for (; skip > 0; --skip) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return {};
        text.remove_prefix(end + 1);
    }
    text = text.substr(0, text.find('\n'));
    return text.substr(0, 64);
}

void CheckValue(const ProfileFile& file, std::string_view section, std::string_view key) {
    const std::string raw = file.RawValue(section, key);
    Check(raw.size() <= kMaxProfileValueBytes);
    Check(raw.find('\0') == std::string::npos);
    const std::string value = file.Value(section, key);
    Check(plenova::IsValidUtf8(value));
    Check(raw.empty() == value.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ProfileFile file = ProfileFile::Parse(bytes);
    for (const char* section : {"SETUP", "Setup", "BOOT", "S", ""}) {
        for (const char* key : {"Title", "DstDir", "Copy1", "Copy2", "GroupIcon1", "K", ""}) {
            CheckValue(file, section, key);
        }
    }
    // Names from the first lines, with brackets and the part after "=" taken off; they need
    // not be valid UTF-8, and then match nothing.
    std::string_view section = LineOf(bytes, 0);
    if (!section.empty() && section.front() == '[') section.remove_prefix(1);
    section = section.substr(0, section.find(']'));
    const std::string_view key = LineOf(bytes, 1).substr(0, LineOf(bytes, 1).find('='));
    CheckValue(file, section, key);
    Check(ReadProfileValue(bytes, section, key) == file.Value(section, key));
    Check(plenova::IsValidUtf8(DecodeShiftJisLenient(bytes.substr(0, 4096))));
    return 0;
}
