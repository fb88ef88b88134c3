#include "app/app_options.h"

#include "meter/number_format.h"

namespace velquor {

bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options,
                     std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg == "--port") {
            if (!value(options.port))
                return false;
        } else if (arg == "--snapshot") {
            if (!value(options.snapshotFile))
                return false;
        } else if (arg == "--after") {
            std::string text;
            if (!value(text))
                return false;
            const auto seconds = ParseLeadingDouble(text);
            if (!seconds || *seconds < 0) {
                error = "--after needs a number of seconds, not '" + text + "'";
                return false;
            }
            options.snapshotAfterS = *seconds;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else {
            error = "unknown argument '" + arg + "'";
            return false;
        }
    }
    if (options.simulate && !options.port.empty()) {
        error = "--simulate and --port cannot be used together";
        return false;
    }
    if (!options.snapshotFile.empty() && options.snapshotAfterS < 0)
        options.snapshotAfterS = 0;
    if (options.snapshotFile.empty() && options.snapshotAfterS >= 0) {
        error = "--after needs --snapshot FILE";
        return false;
    }
    return true;
}

}  // namespace velquor
