#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velquor {

// What a snapshot file holds, by its name's extension.
enum class SnapshotFormat { kPng, kJpeg, kPdf };

// The format for a file name ending in .png, .jpg, .jpeg or .pdf (any case).
std::optional<SnapshotFormat> SnapshotFormatOf(const std::string& file);

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
    // Wait for a lost meter to come back (also the "Reconnect Automatically" setting).
    bool reconnect = false;
};

inline constexpr const char* kAppUsage =
    "usage: velquor [--simulate | --port PATH] [--reconnect]\n"
    "              [--snapshot FILE [--after SECONDS]] [--quit-after SECONDS]\n"
    "\n"
    "  --simulate          use the built-in simulated meter instead of the hardware\n"
    "  --port PATH         open this device node directly instead of listing meters\n"
    "  --reconnect         when the meter is lost, wait for it and carry on\n"
    "  --snapshot FILE     after --after SECONDS, save the trace graph area (the window\n"
    "                      right of x 225 and below y 185, as printed) and exit; FILE\n"
    "                      ends in .png or .jpg (the picture) or .pdf (the printed page)\n"
    "  --quit-after SECONDS\n"
    "                      close the window after SECONDS (unattended runs)\n"
    "  --help, --version\n";

// The arguments that are the program's own: Qt's options (-platform NAME, -style
// NAME, ...; one dash) are left out, so the command line can be checked before Qt
// starts, also without a display.
std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& args);

// False with a one-line reason on a usage error. Qt's own options (-platform ...)
// are removed from args before this sees them.
bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options, std::string& error);

}  // namespace velquor
