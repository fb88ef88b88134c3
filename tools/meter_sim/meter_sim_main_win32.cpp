// velquor-meter-sim for Windows: the simulated meter on a COM port given with
// --port, e.g. one end of a com0com null-modem pair.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "com_meter_server.h"
#include "link/auto_reset_event.h"

namespace {

// The console's control handler takes no argument; it sets this event, which the
// serve loop waits on.
HANDLE g_stop = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
    SetEvent(g_stop);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velquor::metersim;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string port;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == "--port" && it + 1 != args.end()) {
            port = *(it + 1);
            it = args.erase(it, it + 2);
        } else {
            ++it;
        }
    }
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(args, options, error)) {
        std::fprintf(stderr, "velquor-meter-sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(
            "Windows: --port COMn (required) is the COM port to serve the meter on,\n"
            "e.g. one end of a com0com null-modem pair; the program opens the other.\n",
            stdout);
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (port.empty()) {
        std::fprintf(stderr,
                     "velquor-meter-sim: --port COMn is needed on Windows: a COM port to serve "
                     "the meter on, e.g. one end of a null-modem pair (see --help)\n");
        return 2;
    }
    velquor::CAutoResetEvent stop;
    g_stop = reinterpret_cast<HANDLE>(stop.Fd());
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    CComMeterServer server(options, port);
    if (!server.Open(error)) {
        std::fprintf(stderr, "velquor-meter-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.PortName().c_str());
    std::fflush(stdout);
    // A port pair carries no USB identity either, as the Linux notice says of a terminal.
    std::fprintf(stderr,
                 "velquor-meter-sim: simulated meter on %s; a COM port pair carries no USB "
                 "identity, so clients see no serial number\n",
                 server.PortName().c_str());
    const bool ok = server.Serve(stop.Fd(), error);
    server.Close();
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (!ok) {
        std::fprintf(stderr, "velquor-meter-sim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
