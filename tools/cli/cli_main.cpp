// velquor-cli: the meter from a terminal, on the same link and meter code as the GUI.
#include <signal.h>

#include <cstdio>
#include <string>

#include "cli_options.h"
#include "commands.h"

namespace velquor::cli {

namespace {

void PrintUsage(std::FILE* out) {
    std::fputs(
        "usage: velquor-cli COMMAND [options]\n"
        "\n"
        "commands:\n"
        "  list [--all] [--json]            list the meters found (--all: every FTDI device)\n"
        "  info [--json]                    connect and show the unit's identity and setup\n"
        "  setup --frequency MHZ [--cable-loss DB] [--show-dbm on|off]\n"
        "        [--show-watt on|off] [--low-frequency yes|no]\n"
        "                                   write the unit's setup\n"
        "  monitor [--seconds N] [--json]   print every frame the meter sends\n"
        "  log --file PATH [--rate SECONDS] [--seconds N] [--no-index] [--no-header]\n"
        "      [--delimiter tab|semicolon|comma|space|CHAR]\n"
        "                                   log readings to a delimited text file\n"
        "\n"
        "common options:\n"
        "  --simulate      use the built-in simulated meter\n"
        "  --port PATH     open this device node directly\n"
        "  --serial S      choose the meter with this serial number\n"
        "  --help          show this help\n"
        "  --version       show the version\n",
        out);
}

}  // namespace

int Fail(const std::string& reason) {
    if (!reason.empty())
        std::fprintf(stderr, "velquor-cli: %s\n", reason.c_str());
    return 1;
}

void BlockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool StopRequested() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    const timespec zero{0, 0};
    return sigtimedwait(&set, nullptr, &zero) > 0;
}

}  // namespace velquor::cli

int main(int argc, char** argv) {
    using namespace velquor::cli;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("velquor-cli 1.1.0");
            return 0;
        }
    }
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        Fail(error);
        return 2;
    }
    // Before any thread starts, so every thread inherits the mask.
    BlockStopSignals();
    if (options.command == "monitor")
        return RunMonitor(options);
    if (options.command == "list")
        return RunList(options);
    if (options.command == "info")
        return RunInfo(options);
    if (options.command == "setup")
        return RunSetup(options);
    if (options.command == "log")
        return RunLog(options);
    if (options.command.empty())
        PrintUsage(stderr);
    else
        Fail("unknown command '" + options.command + "'");
    return 2;
}
