// velquor-meter-sim: the simulated meter on a pseudo-terminal.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pty_meter_server.h"

int main(int argc, char** argv) {
    using namespace velquor::metersim;
    // Signals arrive through a descriptor the serve loop waits on, so shutdown is an
    // ordinary loop exit that closes the terminal.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int stopFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (stopFd < 0) {
        std::perror("velquor-meter-sim: signalfd");
        return 1;
    }

    SimOptions options;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "velquor-meter-sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    CPtyMeterServer server(options);
    if (!server.Open(error)) {
        std::fprintf(stderr, "velquor-meter-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.SlavePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "velquor-meter-sim: %s\n", ServingNotice(server.SlavePath()).c_str());
    const bool ok = server.Serve(stopFd, error);
    server.Close();
    close(stopFd);
    if (!ok) {
        std::fprintf(stderr, "velquor-meter-sim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
