#include "telemetry/connect_refusal.h"

namespace velquor::telemetry {

std::string PermanentRefusal(int code, const std::string& message) {
    switch (code) {
        case 1:
            return "the broker refused the connection: it does not accept MQTT 3.1.1";
        case 2:
            return "the broker refused the client identifier";
        case 4:
            return "the broker refused the user name or password";
        case 5:
            return "the broker refused the connection: not authorised (check the user name and "
                   "password)";
        default:
            break;
    }
    const std::string& m = message;
    if (m.find("certificate verify failed") != std::string::npos ||
        m.find("CERTIFICATE_VERIFY_FAILED") != std::string::npos)
        return "TLS: the broker's certificate was not accepted (" + m + ")";
    if (m.find("no such file") != std::string::npos ||
        m.find("No such file") != std::string::npos || m.find("PEM") != std::string::npos ||
        m.find("system library") != std::string::npos)
        return "TLS: " + m;
    return {};
}

}  // namespace velquor::telemetry
