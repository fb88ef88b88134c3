#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velquor::cli {

// The command line: a command, the common options, and the command's own
// "--name value" options and flags, checked by each command.
struct Options {
    std::string command;
    bool simulate = false;
    std::string port;
    std::string serial;
    bool json = false;
    std::map<std::string, std::string> values;
    std::vector<std::string> flags;

    bool Flag(const std::string& name) const;
    std::optional<std::string> Value(const std::string& name) const;
};

// Options that take a value, besides --port and --serial.
bool TakesValue(const std::string& name);

// A number of seconds given on the command line: the whole text must be a finite
// number greater than zero and at most a year. Nothing otherwise.
std::optional<double> ParseSecondsOption(const std::string& text);

// Parses argv. On a usage error returns false with a one-line reason.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

}  // namespace velquor::cli
