// Feeds arbitrary bytes to the reader of the boot step's WININIT.INI and maps what it finds to
// host paths on a private machine (nothing is renamed or deleted). Besides crashes and
// sanitizer reports, a finding is an entry that breaks the reader's promises: an empty source,
// a line break or NUL that survived into a name, or a name with blanks around it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
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

pf::Machine& PrivateMachine() {
    static const std::unique_ptr<pf::Machine> machine =
        std::make_unique<pf::Machine>("/tmp/plenova-wininitfuzz-" + std::to_string(::getpid()));
    return *machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    pf::Machine& machine = PrivateMachine();
    for (const pf::BootEntry& entry : pf::ParseBootScript(text)) {
        Check(!entry.source.empty());
        CheckName(entry.source);
        CheckName(entry.target);
        (void)machine.ToHost(entry.source);
        (void)machine.ToHost(entry.target);
    }
    return 0;
}
