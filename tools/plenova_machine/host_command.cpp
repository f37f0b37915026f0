// plenova-machine host: the screen-saver host of the machine's desktop settings. It runs until
// SIGTERM (or SIGINT, SIGHUP); the decisions are HostLogic's, the desktop's side comes from
// platform/idle.h and the machine.
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QTimer>

#include "base/text.h"
#include "platform/child_program.h"
#include "platform/end_signals.h"
#include "platform/files.h"
#include "platform/idle.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "tools/plenova_machine/host_logic.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {
namespace {

using namespace plenova::platform;
using Clock = std::chrono::steady_clock;

constexpr Milliseconds kCheckInterval{500};
// A desktop that offers no idle source yet (a compositor still starting) is asked again.
constexpr Milliseconds kReopenInterval{10000};

class DesktopHostServices : public HostServices {
public:
    DesktopHostServices(Machine& machine, bool allowHost)
        : machine_(machine),
          registry_(machine),
          hive_(machine.ToWindows(machine.UserHivePath())),
          allowHost_(allowHost) {}

    Milliseconds Now() override {
        return std::chrono::duration_cast<Milliseconds>(Clock::now().time_since_epoch());
    }

    // Read again only when the hive file has changed: every write replaces the file, so its
    // time and length tell.
    SaverSettings Settings() override {
        const auto stamp = std::make_pair(machine_.FileDate(hive_), machine_.FileLength(hive_));
        if (!read_ || stamp != stamp_) {
            stamp_ = stamp;
            read_ = true;
            try {
                settings_ = ParseSaverSettings(
                    registry_.QueryString(Hive::CurrentUser, kDesktopKey, kSaveActiveName),
                    registry_.QueryString(Hive::CurrentUser, kDesktopKey, kSaveTimeOutName),
                    registry_.QueryString(Hive::CurrentUser, kDesktopKey, kSaverName));
            } catch (const RegistryError& e) {
                // A damaged hive has been moved aside and reads as empty from now on.
                Report(e.what());
                settings_ = SaverSettings{};
            }
            // Nothing of the desktop is held while the saver is off: installing the package
            // changes no session by itself.
            if (!settings_.Usable()) {
                idle_.reset();
                inhibitors_.reset();
                inhibitorsOpened_ = false;
            }
        }
        return settings_;
    }

    std::optional<Milliseconds> IdleTime(Milliseconds threshold) override {
        if (!idle_) {
            const Milliseconds now = Now();
            if (lastOpen_ && now - *lastOpen_ < kReopenInterval) return std::nullopt;
            lastOpen_ = now;
            std::string why;
            idle_ = OpenIdleSource(why);
            if (!idle_) {
                if (why != lastWhy_) Report("no idle source: " + why);
                lastWhy_ = why;
                return std::nullopt;
            }
            lastWhy_.clear();
            Report("idle time from " + idle_->Name());
        }
        auto idle = idle_->IdleTime(threshold);
        if (!idle) {
            Report(idle_->Name() + " is lost");
            idle_.reset();
        }
        return idle;
    }

    bool Inhibited() override {
        if (!inhibitorsOpened_) {
            inhibitorsOpened_ = true;
            inhibitors_ = OpenInhibitionSource();
            if (inhibitors_) Report("inhibitors from " + inhibitors_->Name());
        }
        return inhibitors_ && inhibitors_->Inhibited();
    }

    bool SaverRunning() override {
        if (!saver_) return false;
        if (saver_->Running()) return true;
        if (const int status = saver_->ExitStatus().value_or(0); status != 0)
            Report("the saver ended with status " + std::to_string(status));
        saver_.reset();
        return false;
    }

    Result<void, std::string> StartSaver(const std::string& program) override {
        const std::string shown = TerminalText(program);
        if (!machine_.FileExists(program))
            return Failure{"the saver " + shown + " does not exist"};
        if (!allowHost_ && !machine_.OnOwnDrive(program))
            return Failure{shown + " is a host program; the host starts it only with --host"};
        if (!EnterProgramFolder(machine_, program))
            return Failure{"the folder of " + shown + " cannot be entered"};
        saver_ = machine_.LaunchProcess(program, "/s");
        if (!saver_) return Failure{shown + " cannot be started"};
        return {};
    }

    void Report(const std::string& message) override {
        std::cerr << "plenova-machine host: " << TerminalText(message) << std::endl;
    }

    // Ends the saver this host started.
    void EndSaver() {
        if (saver_) saver_->End(std::chrono::seconds(2));
        saver_.reset();
    }

private:
    Machine& machine_;
    Registry registry_;
    std::string hive_;
    bool allowHost_;
    bool read_ = false;
    std::pair<std::optional<FileTime>, std::optional<std::int64_t>> stamp_;
    SaverSettings settings_;
    std::unique_ptr<IdleSource> idle_;
    std::optional<Milliseconds> lastOpen_;
    std::string lastWhy_;
    std::unique_ptr<InhibitionSource> inhibitors_;
    bool inhibitorsOpened_ = false;
    std::unique_ptr<ChildProgram> saver_;
};

}  // namespace

int HostCommand(const std::vector<std::string>& args) {
    bool allowHost = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--host")
            allowHost = true;
        else
            return Usage("host: unknown argument " + args[i]);
    }
    int argc = 1;
    char name[] = "plenova-machine";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    // Every session starts the host: for a user who never used the machine it makes none, and
    // waits until there is one.
    const std::string root = Machine::DefaultRoot().string();
    std::unique_ptr<DesktopHostServices> services;
    std::unique_ptr<HostLogic> logic;
    const auto check = [&] {
        if (!logic) {
            if (!FolderExists(root)) return;
            services = std::make_unique<DesktopHostServices>(CurrentMachine(), allowHost);
            logic = std::make_unique<HostLogic>(*services);
        }
        logic->Check();
    };
    EndSignalWatch endSignals([&](int) { QCoreApplication::quit(); });
    QTimer timer;
    timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&timer, &QTimer::timeout, check);
    timer.start(static_cast<int>(kCheckInterval.count()));
    check();
    QCoreApplication::exec();
    if (services) services->EndSaver();
    return kOk;
}

}  // namespace plenova::machine_tool
