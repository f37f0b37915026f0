// The screen-saver host's decisions, apart from the desktop: when to start the chosen saver.
// Everything it looks at or does goes through HostServices, so a test drives it with a clock of
// its own and no desktop.
//
// The rules: the saver starts once the user has been idle for the timeout, the settings say
// the saver is on and no inhibitor holds. Never two at once: nothing starts while the saver
// runs. Counting starts again when the saver ends, while an inhibitor holds, and after a start
// that failed (so a broken saver is retried once per timeout, not at every check).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "base/result.h"

namespace plenova::machine_tool {

using Milliseconds = std::chrono::milliseconds;

// HKCU\Control Panel\Desktop, as the host reads it.
inline constexpr const char* kDesktopKey = "Control Panel\\Desktop";
inline constexpr const char* kSaveActiveName = "ScreenSaveActive";
inline constexpr const char* kSaveTimeOutName = "ScreenSaveTimeOut";
inline constexpr const char* kSaverName = "SCRNSAVE.EXE";

struct SaverSettings {
    bool active = false;              // "ScreenSaveActive" is "1"
    std::chrono::seconds timeout{0};  // "ScreenSaveTimeOut"; 0 when missing or no number
    std::string saver;                // "SCRNSAVE.EXE", a Windows path
    bool operator==(const SaverSettings&) const = default;
    // Whether these settings ask for a saver at all.
    bool Usable() const { return active && timeout.count() > 0 && !saver.empty(); }
};

// The settings from the three values' texts (an empty optional: the value is missing). The
// timeout is decimal seconds, blanks around it allowed; anything else, or more than a year,
// gives 0, which turns the saver off rather than starting it at once.
SaverSettings ParseSaverSettings(const std::optional<std::string>& active,
                                 const std::optional<std::string>& timeout,
                                 const std::optional<std::string>& saver);

class HostServices {
public:
    virtual ~HostServices() = default;
    // A steady clock.
    virtual Milliseconds Now() = 0;
    virtual SaverSettings Settings() = 0;
    // The user's idle time (platform/idle.h); empty when it cannot be told.
    virtual std::optional<Milliseconds> IdleTime(Milliseconds threshold) = 0;
    virtual bool Inhibited() = 0;
    virtual bool SaverRunning() = 0;
    // Starts `program` with "/s"; the error says why it could not be started.
    virtual Result<void, std::string> StartSaver(const std::string& program) = 0;
    virtual void Report(const std::string& message) = 0;
};

class HostLogic {
public:
    explicit HostLogic(HostServices& services);
    // One look at the desktop: starts the saver when it is time. True when it started it.
    bool Check();

private:
    HostServices& services_;
    SaverSettings settings_;
    Milliseconds countFrom_;
    bool idleLost_ = false;
};

}  // namespace plenova::machine_tool
