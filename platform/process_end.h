// Ending the process at once. A program ends "immediately": no further handler of ours runs,
// no destructor, no atexit function. The real service flushes the standard streams and leaves
// with _exit; the test double throws ProcessEnded, which a test catches.
#pragma once

#include <memory>

#include "platform/service_slot.h"

namespace plenova::platform {

// Thrown by the test double. Deliberately not derived from std::exception: code that ignores
// failing steps (catching std::exception or RuntimeError) must not swallow the end of the
// process. Only catch (...) or catch (const ProcessEnded&) sees it.
struct ProcessEnded {
    int exitCode = 0;
};

class ProcessEndService {
public:
    virtual ~ProcessEndService() = default;
    [[noreturn]] virtual void End(int exitCode) = 0;
};

// The service in use. Until one is installed this is the real, immediate end.
ProcessEndService& ProcessEnd();
// Installs a service (nullptr: the real one); returns the previous one.
std::shared_ptr<ProcessEndService> SetProcessEnd(std::shared_ptr<ProcessEndService> service);

// Ends the process through the installed service.
[[noreturn]] void EndProcess(int exitCode = 0);

// The real service: flushes stdout/stderr (C and C++ streams), then _exit(exitCode).
class ImmediateProcessEnd : public ProcessEndService {
public:
    [[noreturn]] void End(int exitCode) override;
};

// Test double: counts the calls and throws ProcessEnded{exitCode}.
class ThrowingProcessEnd : public ProcessEndService {
public:
    [[noreturn]] void End(int exitCode) override;
    int Calls() const noexcept { return calls_; }
    int LastExitCode() const noexcept { return lastExitCode_; }

private:
    int calls_ = 0;
    int lastExitCode_ = 0;
};

// Installs a ThrowingProcessEnd for the lifetime of the object and restores the previous one.
using ScopedThrowingProcessEnd =
    ScopedService<ProcessEndService, ThrowingProcessEnd, &SetProcessEnd>;

}  // namespace plenova::platform
