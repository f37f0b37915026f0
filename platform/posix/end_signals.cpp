#include "platform/end_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include <QSocketNotifier>

namespace plenova::platform {

namespace {

constexpr std::array<int, 3> kEndSignals{SIGTERM, SIGINT, SIGHUP};

// Written by the handler, so plain globals: -1 while no watch exists.
int pipeRead = -1;
volatile sig_atomic_t pipeWrite = -1;
std::array<struct sigaction, kEndSignals.size()> previous{};

extern "C" void OnEndSignal(int number) {
    const int savedErrno = errno;
    const int fd = pipeWrite;
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(number);
        // A full pipe already holds a report that the event loop has yet to read.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

struct EndSignalWatch::Notifier {
    Notifier(int fd, EndSignalWatch& watch) : notifier(fd, QSocketNotifier::Read) {
        QObject::connect(&notifier, &QSocketNotifier::activated, &notifier,
                         [&watch] { watch.ReadPending(); });
    }
    QSocketNotifier notifier;
};

EndSignalWatch::EndSignalWatch(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (pipeRead >= 0) throw std::logic_error("EndSignalWatch: a watch already exists");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "EndSignalWatch: pipe");
    }
    pipeRead = fds[0];
    pipeWrite = fds[1];
    notifier_ = std::make_unique<Notifier>(pipeRead, *this);
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls are restarted: the rest of the program never sees EINTR.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        ::sigaction(kEndSignals[i], &action, &previous[i]);
    }
}

EndSignalWatch::~EndSignalWatch() {
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        ::sigaction(kEndSignals[i], &previous[i], nullptr);
    }
    notifier_.reset();
    const int fd = pipeWrite;
    pipeWrite = -1;
    ::close(fd);
    ::close(pipeRead);
    pipeRead = -1;
}

void EndSignalWatch::ReadPending() {
    std::array<unsigned char, 64> numbers{};
    const ssize_t count = ::read(pipeRead, numbers.data(), numbers.size());
    if (count <= 0) return;
    // The callback may end the process or delete this watch: it runs from a local copy, and
    // nothing of the watch is touched afterwards.
    const std::function<void(int)> callback = onSignal_;
    if (!callback) return;
    for (ssize_t i = 0; i < count; ++i) callback(numbers[static_cast<std::size_t>(i)]);
}

}  // namespace plenova::platform
