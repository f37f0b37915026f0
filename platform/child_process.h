// Running code that may crash or hang (a foreign library's entry point) without taking the
// caller with it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace plenova::platform {

// Runs `body` in a child process of its own (a fork, so the body must not rely on other threads
// of this process) and waits for it at most `limit`. The child's exit code (0..255, from the
// body's result; 255 when the body throws), or an empty optional when the child died of a signal,
// overran the limit (it and its process group are then killed) or could not be started. The
// child also dies when the caller does.
std::optional<int> RunInChildProcess(const std::function<int()>& body,
                                     std::chrono::milliseconds limit);

}  // namespace plenova::platform
