// Feeds arbitrary command texts to the multimedia command service, one command per line, on the
// test audio back end in a machine of its own that holds one sound, C:\bgm.wav. Error codes are
// the service's documented answers; crashes, escaping exceptions, sanitizer reports, leaks and
// broken reply promises are findings.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "platform/audio_device.h"
#include "platform/message_box.h"
#include "platform/multimedia.h"

namespace {

namespace pf = plenova::platform;

class SilentBoxes : public pf::MessageBoxService {
public:
    pf::MsgResult Show(const pf::MessageBoxRequest&) override { return pf::MsgResult::Ok; }
};

struct Setup {
    Setup() {
        // A private machine, never the user's: C: is <root>/drive_c.
        const std::string root = "/tmp/plenova-mcifuzz-" + std::to_string(getpid());
        setenv("PLENOVA_MACHINE", root.c_str(), 1);
        unsetenv("PLENOVA_MCI_LOG");
        std::filesystem::create_directories(root + "/drive_c");
        std::ofstream(root + "/drive_c/bgm.wav") << "RIFF";
        pf::SetMessageBoxes(std::make_shared<SilentBoxes>());
    }
};

// Reply buffer sizes the callers use, and the edges of the cut.
constexpr std::size_t kCapacities[] = {80, 0, 1, 2, 6, 256};
// Enough commands for open, play, seek, status and close sequences; more only slows a run.
constexpr int kMaxCommands = 48;

[[noreturn]] void Finding(const char* what) {
    std::fprintf(stderr, "mci_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto backend = std::make_shared<pf::TestAudioBackend>(1500);
    pf::MultimediaService service(backend);
    service.SetReportCaption("fuzz");
    service.SetLogFile("");

    std::size_t start = 0;
    for (int index = 0; index < kMaxCommands && start <= input.size(); ++index) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        std::string command(input.substr(start, end - start));
        start = end + 1;
        // A leading '!' sends the line through the reporting send.
        if (!command.empty() && command[0] == '!') {
            service.Execute(command.substr(1));
        } else {
            const std::size_t capacity = kCapacities[index % std::size(kCapacities)];
            std::string reply = "stale";
            const std::uint32_t code = service.SendString(command, &reply, capacity);
            if (capacity > 0 && reply.size() >= capacity) Finding("reply longer than its buffer");
            if (code != pf::mci::kOk && pf::MciErrorText(code).empty())
                Finding("error code without a text");
        }
        // Playback moves on between commands, so sounds also reach their end.
        backend->Advance(250);
    }
    if (service.Records().size() > pf::MultimediaService::kMaxRecords) Finding("records unbounded");
    service.CloseAll();
    if (!service.OpenAliases().empty()) Finding("an alias survives close all");
    return 0;
}
