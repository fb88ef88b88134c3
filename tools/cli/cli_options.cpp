#include "cli_options.h"

#include <algorithm>

#include "meter/number_format.h"

namespace velquor::cli {

bool Options::Flag(const std::string& name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
}

std::optional<std::string> Options::Value(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

std::optional<double> ParseSecondsOption(const std::string& text) {
    const auto value = ParseWholeDouble(text);
    constexpr double kYear = 365.0 * 24 * 3600;
    if (!value || !(*value > 0.0) || *value > kYear)
        return std::nullopt;
    return value;
}

bool TakesValue(const std::string& name) {
    static const char* const kValued[] = {"--seconds",  "--frequency", "--cable-loss",
                                          "--show-dbm", "--show-watt", "--low-frequency",
                                          "--file",     "--rate",      "--delimiter"};
    return std::any_of(std::begin(kValued), std::end(kValued),
                       [&](const char* v) { return name == v; });
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--port") {
            if (!next(options.port))
                return false;
        } else if (arg == "--serial") {
            if (!next(options.serial))
                return false;
        } else if (TakesValue(arg)) {
            std::string value;
            if (!next(value))
                return false;
            options.values[arg] = value;
        } else if (arg.rfind("--", 0) == 0) {
            options.flags.push_back(arg);
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            error = "unexpected argument '" + arg + "'";
            return false;
        }
    }
    if (options.simulate && !options.port.empty()) {
        error = "--simulate and --port cannot be used together";
        return false;
    }
    return true;
}

}  // namespace velquor::cli
