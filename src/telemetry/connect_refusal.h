#pragma once

#include <string>

namespace velquor::telemetry {

// Why a refused connection will not be accepted on a retry either, or empty. code:
// the broker's CONNACK refusal (1..5) or the library's; message: the library's text.
std::string PermanentRefusal(int code, const std::string& message);

}  // namespace velquor::telemetry
