#pragma once

#include <optional>
#include <string>

#include "telemetry/mqtt_client.h"

namespace velquor::telemetry {

// Loads the CA, and the client certificate and key when given, the way the TLS
// connection will. A file that does not load is the user's to fix, not the
// network's: found before the first attempt instead of retried for ever. Empty
// when they load, else which file and why.
std::optional<std::string> CheckTlsFiles(const TlsFiles& files);

}  // namespace velquor::telemetry
