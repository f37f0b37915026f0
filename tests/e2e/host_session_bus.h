// A session bus of a host journey's own (dbus-daemon), ended with the object.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <sstream>
#include <string>

#include "tests/support/process.h"

namespace plenova::e2e {

class PrivateBus {
public:
    PrivateBus() {
        const auto started = testing::RunToEnd(
            {"dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"},
            testing::Capture::kOutputOnly);
        std::istringstream lines(started.output);
        std::getline(lines, address_);
        lines >> pid_;
    }
    ~PrivateBus() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    // Empty when the bus did not start.
    const std::string& Address() const { return address_; }

private:
    std::string address_;
    pid_t pid_ = -1;
};

}  // namespace plenova::e2e
