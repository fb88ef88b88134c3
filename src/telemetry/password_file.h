#pragma once

#include <optional>
#include <string>

namespace velquor::telemetry {

// The broker password from a file: its first line, without the line end. A file
// that cannot be read, is empty, or is larger than a password can sensibly be
// gives nothing and a reason.
std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error);

}  // namespace velquor::telemetry
