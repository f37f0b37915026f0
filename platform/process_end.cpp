#include "platform/process_end.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>

#include <unistd.h>

namespace plenova::platform {

namespace {

std::mutex serviceMutex;
std::shared_ptr<ProcessEndService>& Current() {
    static std::shared_ptr<ProcessEndService> service = std::make_shared<ImmediateProcessEnd>();
    return service;
}

}  // namespace

ProcessEndService& ProcessEnd() {
    std::lock_guard lock(serviceMutex);
    return *Current();
}

std::shared_ptr<ProcessEndService> SetProcessEnd(std::shared_ptr<ProcessEndService> service) {
    std::lock_guard lock(serviceMutex);
    if (!service) service = std::make_shared<ImmediateProcessEnd>();
    std::swap(service, Current());
    return service;
}

void EndProcess(int exitCode) {
    ProcessEnd().End(exitCode);
    std::abort();  // a service that returned broke its promise; never run on past an end
}

void ImmediateProcessEnd::End(int exitCode) {
    // What the program already wrote must not be lost; nothing else of ours runs.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(exitCode);
}

void ThrowingProcessEnd::End(int exitCode) {
    ++calls_;
    lastExitCode_ = exitCode;
    throw ProcessEnded{exitCode};
}

ScopedThrowingProcessEnd::ScopedThrowingProcessEnd()
    : service_(std::make_shared<ThrowingProcessEnd>()), previous_(SetProcessEnd(service_)) {}

ScopedThrowingProcessEnd::~ScopedThrowingProcessEnd() { SetProcessEnd(previous_); }

}  // namespace plenova::platform
