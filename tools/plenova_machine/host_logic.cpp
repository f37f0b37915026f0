#include "tools/plenova_machine/host_logic.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace plenova::machine_tool {

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::chrono::seconds ParseTimeout(std::string_view text) {
    constexpr std::int64_t kYear = 366LL * 24 * 3600;
    text = Trimmed(text);
    if (text.empty() || text.size() > 9) return std::chrono::seconds(0);
    std::int64_t seconds = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::chrono::seconds(0);
        seconds = seconds * 10 + (c - '0');
    }
    return std::chrono::seconds(seconds <= kYear ? seconds : 0);
}

}  // namespace

SaverSettings ParseSaverSettings(const std::optional<std::string>& active,
                                 const std::optional<std::string>& timeout,
                                 const std::optional<std::string>& saver) {
    SaverSettings settings;
    settings.active = active && Trimmed(*active) == "1";
    settings.timeout = timeout ? ParseTimeout(*timeout) : std::chrono::seconds(0);
    settings.saver = saver ? std::string(Trimmed(*saver)) : std::string();
    return settings;
}

HostLogic::HostLogic(HostServices& services)
    : services_(services), countFrom_(services.Now()) {}

bool HostLogic::Check() {
    const Milliseconds now = services_.Now();
    const SaverSettings settings = services_.Settings();
    if (settings != settings_) {
        settings_ = settings;
        services_.Report(settings.Usable()
                             ? "saver " + settings.saver + " after " +
                                   std::to_string(settings.timeout.count()) + " s idle"
                             : std::string("saver off"));
    }
    if (services_.SaverRunning()) {
        countFrom_ = now;
        return false;
    }
    if (!settings_.Usable()) return false;
    const Milliseconds timeout = settings_.timeout;
    const std::optional<Milliseconds> idle = services_.IdleTime(timeout);
    if (!idle) {
        if (!idleLost_) services_.Report("the idle time cannot be read");
        idleLost_ = true;
        return false;
    }
    idleLost_ = false;
    if (services_.Inhibited()) {
        countFrom_ = now;
        return false;
    }
    if (std::min(*idle, now - countFrom_) < timeout) return false;
    countFrom_ = now;
    const Result<void, std::string> started = services_.StartSaver(settings_.saver);
    if (!started) {
        services_.Report(started.error());
        return false;
    }
    return true;
}

}  // namespace plenova::machine_tool
