#pragma once

#include <optional>
#include <string>
#include <vector>

#include "measure/measure_options.h"
#include "measure/measure_settings.h"

namespace velquor {

// What a snapshot file holds, by its name's extension.
enum class SnapshotFormat { kPng, kJpeg, kPdf, kCsv };

// The format for a file name ending in .png, .jpg, .jpeg, .pdf or .csv (any case); a
// .csv is the recorded trace of the one-meter window.
std::optional<SnapshotFormat> SnapshotFormatOf(const std::string& file);

// The GUI's command line.
struct AppOptions {
    bool simulate = false;
    int simulateCount = 1;  // the N of --simulate N
    std::string port;       // the first --port
    std::vector<std::string> ports;
    std::vector<std::string> serials;
    bool all = false;
    bool keepGoing = false;
    // --serve [ADDR:PORT]: remote control from the start.
    std::optional<std::string> serve;
    // --http [ADDR:PORT]: the web page from the start (read-only).
    std::optional<std::string> http;
    // --no-announce: the servers are not announced over DNS-SD.
    bool noAnnounce = false;
    // --publish HOST[:PORT] [--stand NAME]: telemetry from the start.
    std::string publish;
    std::string stand;
    std::string snapshotFile;
    double snapshotAfterS = -1.0;
    // Close the window after this many seconds (negative: never), for unattended runs.
    double quitAfterS = -1.0;
    bool help = false;
    bool version = false;
    // Wait for a lost meter to come back (also the "Reconnect Automatically" setting).
    bool reconnect = false;
    // --average, --offset, --relative, --upper, --lower, --unit as typed, and the
    // settings they give (checked as velquor-cli checks them) when any was given.
    measure::MeasureOptionTexts measureTexts;
    std::optional<measure::MeasureSettings> measure;
    // --trace-period S: Play with this period once the meter is open.
    std::string tracePeriod;
    // --rolling HOURS: keep every reading of the last HOURS (0: off).
    double rollingHours = 0.0;

    // Several meters, a serial number, every meter or remote control: the station
    // window. Otherwise the one-meter window.
    bool StationWindow() const {
        return (simulate && simulateCount > 1) || ports.size() > 1 || !serials.empty() || all ||
               serve.has_value() || http.has_value() || !publish.empty();
    }
};

inline constexpr const char* kDefaultServeAddress = "127.0.0.1:5025";
inline constexpr const char* kDefaultHttpAddress = "127.0.0.1:8080";

inline constexpr const char* kAppUsage =
    "usage: velquor [--simulate [N] | --port PATH... | --serial S... | --all] [--keep-going]\n"
    "              [--serve [ADDR:PORT]] [--http [ADDR:PORT]] [--no-announce]\n"
    "              [--publish HOST[:PORT] [--stand NAME]] [--reconnect]\n"
    "              [--snapshot FILE [--after SECONDS]] [--quit-after SECONDS]\n"
    "              [--average N] [--offset DB] [--relative DBM] [--upper DBM] [--lower DBM]\n"
    "              [--unit dbm|w|dbuv|v] [--trace-period S] [--rolling HOURS]\n"
    "\n"
    "  --simulate [N]      use N built-in simulated meters (default 1) instead of the hardware\n"
    "  --port PATH         open this device node directly instead of listing meters\n"
    "                      (repeatable: one meter per --port)\n"
    "  --serial S          open the meter with this serial number (repeatable)\n"
    "  --all               open every meter found\n"
    "  --keep-going        go on with the meters that opened when some do not\n"
    "  --serve [ADDR:PORT] answer SCPI clients as velquor-cli serve does, from the start\n"
    "                      (default 127.0.0.1:5025; also Options > Remote Control)\n"
    "  --http [ADDR:PORT]  serve the read-only web page and JSON API as velquor-cli serve\n"
    "                      --http does (default 127.0.0.1:8080; also Options > Web Page)\n"
    "  --no-announce       do not announce the running servers over DNS-SD (also\n"
    "                      Options > Announce on the Network)\n"
    "  --publish HOST[:PORT] [--stand NAME]\n"
    "                      publish the readings to an MQTT broker as velquor-cli publish\n"
    "                      does (also Options > Telemetry)\n"
    "  With several meters (or --serial, --all, --serve, --http, --publish) the window\n"
    "  shows the station view.\n"
    "  --reconnect         when the meter is lost, wait for it and carry on\n"
    "  --snapshot FILE     after --after SECONDS, save the trace graph area (the window\n"
    "                      right of x 225 and below y 185, as printed) and exit; FILE\n"
    "                      ends in .png or .jpg (the picture), .pdf (the printed page)\n"
    "                      or .csv (the recorded trace with its conditions)\n"
    "  --average N, --offset DB, --relative DBM, --upper DBM, --lower DBM,\n"
    "  --unit dbm|w|dbuv|v the measurement math for this run, as velquor-cli read takes\n"
    "                      them (one-meter window; the Measure menu's settings stay)\n"
    "  --trace-period S    record the trace as Play with a period of S seconds does\n"
    "                      (more than 0, up to 3600)\n"
    "  --rolling HOURS     keep every reading of the last HOURS (more than 0, up to 24)\n"
    "                      and draw them as the graph instead of the trace\n"
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
