#pragma once

// The application object of velquor-cli: the command line (CLI11), the commands
// registered on it, and the stop signal. Each command lives in its own
// tools/cli/cmd_NAME.cpp that defines `void RegisterNAMECommand(CliApp&)`; the
// build finds the file and calls the function (see tools/cli/README.md).

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli_options.h"
#include "stop_signal.h"

namespace velquor::cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;      // the command ran and failed
inline constexpr int kExitUsage = 2;        // the command line is malformed
inline constexpr int kExitLimitFailed = 3;  // a reading failed a user limit

// The group of the options every meter command shares; the overview lists them once.
inline constexpr const char* kCommonGroup = "Common options";

class CliApp;
using CommandRunner = std::function<int(CliApp&)>;

class CliApp {
public:
    CliApp();
    ~CliApp();
    CliApp(const CliApp&) = delete;
    CliApp& operator=(const CliApp&) = delete;

    // Adds a command; run is called with the options bound to it filled in when the
    // command line names it.
    CLI::App* AddCommand(const std::string& name, const std::string& description,
                         CommandRunner run);
    // A command whose arguments are not checked: one this build lacks, which only
    // says so, whatever options it was given.
    CLI::App* AddUnavailableCommand(const std::string& name, const std::string& description,
                                    CommandRunner run);
    // Parses argv and runs the chosen command; returns the exit status.
    int Run(int argc, char** argv);

    CLI::App& Root() { return m_root; }
    // The meter options given before the command.
    const MeterOptions& RootMeters() const { return m_rootMeters; }
    StopSignal& Stop() { return *m_stop; }
    // The top-level help: the commands with their options, then the common ones.
    std::string Usage() const;
    // Flushes standard output; false when it could not be written (a full disk).
    // The command's end reports that once and turns a success into kExitFailure,
    // so a script never takes a lost result for one.
    bool FlushOutput();

private:
    struct Command {
        CLI::App* app;
        CommandRunner run;
        bool anyArguments = false;
    };

    CLI::App m_root;
    MeterOptions m_rootMeters;
    std::vector<Command> m_commands;
    std::unique_ptr<StopSignal> m_stop;
    int m_outputError = 0;  // errno of the first failed write to standard output
};

// Prints "velquor-cli: reason" on stderr (nothing for an empty reason) and
// returns kExitFailure.
int Fail(const std::string& reason);
// The same for a command line that is malformed; returns kExitUsage.
int UsageError(const std::string& reason);
// Prints "velquor-cli: reason" on stderr and returns status.
int Report(int status, const std::string& reason);

}  // namespace velquor::cli
