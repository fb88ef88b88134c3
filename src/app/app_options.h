#pragma once

#include <string>
#include <vector>

namespace velquor {

// The GUI's command line.
struct AppOptions {
    bool simulate = false;
    std::string port;
    std::string snapshotFile;
    double snapshotAfterS = -1.0;
    // Close the window after this many seconds (negative: never), for unattended runs.
    double quitAfterS = -1.0;
    bool help = false;
    bool version = false;
};

inline constexpr const char* kAppUsage =
    "usage: velquor [--simulate | --port PATH] [--snapshot FILE --after SECONDS]\n"
    "              [--quit-after SECONDS]\n"
    "\n"
    "  --simulate          use the built-in simulated meter instead of the hardware\n"
    "  --port PATH         open this device node directly instead of listing meters\n"
    "  --snapshot FILE     after --after SECONDS, save the measurement and trace area\n"
    "                      (PNG, or the printed page when FILE ends in .pdf) and exit\n"
    "  --quit-after SECONDS\n"
    "                      close the window after SECONDS (unattended runs)\n"
    "  --help, --version\n";

// False with a one-line reason on a usage error. Qt's own options (-platform ...)
// are removed from args before this sees them.
bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options, std::string& error);

}  // namespace velquor
