#include "platform/process_end.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <unistd.h>

namespace plenova::platform {

namespace {

constinit ServiceSlot<ProcessEndService> processEndSlot{
    &MakeService<ProcessEndService, ImmediateProcessEnd>};

}  // namespace

ProcessEndService& ProcessEnd() { return processEndSlot.Get(); }

std::shared_ptr<ProcessEndService> SetProcessEnd(std::shared_ptr<ProcessEndService> service) {
    return processEndSlot.Set(std::move(service));
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

}  // namespace plenova::platform
