// The ending signals of a program run by a host (SIGTERM, SIGINT, SIGHUP) as events of the Qt
// event loop. A signal handler may do almost nothing safely, so it only writes the signal's
// number into a pipe; a socket notifier on the pipe's other end calls `onSignal` from the event
// loop, where an ordinary unload (music closed, sound device released) can run.
//
// One watch per process at a time: a second one throws std::logic_error. The destructor puts
// back the handlers that were there before and closes the pipe. Signals that arrive before the
// event loop runs are kept in the pipe and reported once it does.
#pragma once

#include <functional>
#include <memory>

namespace plenova::platform {

class EndSignalWatch {
public:
    // Installs the handlers. Throws std::system_error when the pipe cannot be made.
    explicit EndSignalWatch(std::function<void(int signalNumber)> onSignal);
    ~EndSignalWatch();
    EndSignalWatch(const EndSignalWatch&) = delete;
    EndSignalWatch& operator=(const EndSignalWatch&) = delete;

private:
    void ReadPending();

    std::function<void(int)> onSignal_;
    struct Notifier;  // the event loop's watch on the pipe
    std::unique_ptr<Notifier> notifier_;
};

}  // namespace plenova::platform
