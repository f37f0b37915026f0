// Feeds arbitrary bytes to the reader of the boot step's WININIT.INI, without files. Besides
// crashes and sanitizer reports, a finding is an entry that breaks the reader's promises: an
// empty source, a line break that survived into a name, or a name with blanks around it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/machine_formats.h"

namespace {

namespace pf = plenova::platform;

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckName(const std::string& name) {
    Check(name.find('\n') == std::string::npos);
    if (name.empty()) return;
    for (char end : {name.front(), name.back()}) Check(end != ' ' && end != '\t' && end != '\r');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const pf::BootEntry& entry : pf::ParseBootScript(text)) {
        Check(!entry.source.empty());
        CheckName(entry.source);
        CheckName(entry.target);
    }
    return 0;
}
