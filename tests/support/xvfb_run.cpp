// plenova-xvfb-run COMMAND [ARG...]: runs the command on an X server of its own (Xvfb,
// 1024 x 768 x 24, display number picked by the server) and ends the server afterwards, also
// when this runner is killed. Exits with the command's status (128 + signal when it was killed).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <optional>

#include "tests/support/x_server.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: plenova-xvfb-run COMMAND [ARG...]\n");
        return 2;
    }
    std::optional<plenova::testing::XServer> server;
    try {
        server.emplace();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plenova-xvfb-run: %s\n", e.what());
        return 1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
