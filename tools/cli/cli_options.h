#pragma once

// Options shared by several commands, added to a command with one call so that
// every command names and checks them alike.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "meter/number_format.h"
#include "station/reconnect_policy.h"

namespace velquor::cli {

// Which meters a command works on, as given on the command line.
struct MeterOptions {
    std::vector<std::string> ports;
    std::vector<std::string> serials;
    bool all = false;
    std::string simulateCount;  // the N of "--simulate N"; empty for one
    bool keepGoing = false;
    const CLI::Option* simulateOption = nullptr;

    bool Simulate() const { return simulateOption != nullptr && simulateOption->count() > 0; }
};

// The same, checked: how many simulated meters (0: real ones) and which.
struct MeterRequest {
    int simulated = 0;
    std::vector<std::string> ports;
    std::vector<std::string> serials;
    bool all = false;
    bool keepGoing = false;

    // More than one meter is asked for, or may be (--all).
    bool Several() const;
};

// Which of the meter options a command takes.
enum class MeterOptionSet {
    Simulate,  // --simulate [N] only (list)
    Root,      // --simulate, --port, --serial: before any command
    Meters,    // also --all and --keep-going: the commands that open meters
};

// --simulate [N], --port PATH and --serial S (both repeatable), --all and
// --keep-going, as the set says. In the common group.
void AddMeterOptions(CLI::App& app, MeterOptions& options, MeterOptionSet set);

// The options given before the command and after it, taken together and checked.
// kExitOk, or with a one-line reason kExitUsage (options that conflict) or
// kExitFailure (a value refused).
int ResolveMeters(const MeterOptions& before, const MeterOptions& after, MeterRequest& request,
                  std::string& error);

// --reconnect [--reconnect-timeout S]: a lost meter is looked for again.
struct ReconnectOptions {
    bool enabled = false;
    std::string timeout;
};
void AddReconnectOptions(CLI::App& app, ReconnectOptions& options);
inline constexpr NumberField kReconnectTimeoutField{"--reconnect-timeout", 1.0, 365.0 * 24 * 3600,
                                                    false, "s"};
// The station's policy for the options: kExitOk, or with a one-line reason
// kExitUsage (a time-out without --reconnect) or kExitFailure (a value refused).
int ReconnectPolicyFor(const ReconnectOptions& options, station::ReconnectPolicy& policy,
                       std::string& error);

// --seconds N: how long the command runs (a positive number of seconds, at most a year).
void AddSecondsOption(CLI::App& app, std::string& text, const std::string& what);
inline constexpr NumberField kSecondsField{"--seconds", 0.001, 365.0 * 24 * 3600, false, "s"};

// The text of a number option, checked as a whole: one decimal number (a comma is
// taken as the decimal point) within field's range. Nothing otherwise, with error
// naming the option and the accepted range.
std::optional<double> ParseNumberOption(const std::string& text, const NumberField& field,
                                        std::string& error);

// "on"/"yes" or "off"/"no"; nothing otherwise.
std::optional<bool> ParseSwitch(const std::string& text);

}  // namespace velquor::cli
