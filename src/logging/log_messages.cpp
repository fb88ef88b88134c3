#include "logging/log_messages.h"

#include "meter/number_format.h"

namespace velquor {

std::string OpenErrorMessage(const std::string& path) {
    return FormatC("Error opening file %s.", path.c_str());
}

std::string WriteErrorMessage(const std::string& path, const std::string& error) {
    return FormatC(
        "Error writing file %s: %s. Logging has stopped; the rows saved before the error are "
        "complete.",
        path.c_str(), error.c_str());
}

std::string AlreadyLoggingMessage(const std::string& path) {
    return FormatC("Measurement data is already being saved to %s.", path.c_str());
}

}  // namespace velquor
