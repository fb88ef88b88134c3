// velquor-cli: the meter from a terminal, on the same link and meter code as the GUI.
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/sim_driver.h"
#include "meter/number_format.h"
#include "meter/orvane_usb.h"

namespace velquor {
namespace {

struct Options {
    std::string command;
    bool simulate = false;
    std::string port;
    std::string serial;
    double seconds = -1.0;
    bool json = false;
};

void PrintUsage(std::FILE* out) {
    std::fputs(
        "usage: velquor-cli COMMAND [options]\n"
        "commands:\n"
        "  monitor    print every frame the meter sends\n"
        "common options:\n"
        "  --simulate        use the built-in simulated meter\n"
        "  --port PATH       open this device node directly\n"
        "  --serial S        choose the meter with this serial number\n"
        "monitor options:\n"
        "  --seconds N       stop after N seconds (default: until Ctrl-C)\n"
        "  --json            one JSON object per line\n"
        "  --help, --version\n",
        out);
}

// Frames from the worker thread, queued for the main thread to print.
class QueueSink : public IFrameSink {
public:
    void PostFrame(std::uint32_t, std::vector<std::uint8_t> frame) override {
        {
            std::lock_guard lock(m_lock);
            m_frames.push_back(std::move(frame));
        }
        m_ready.notify_one();
    }
    bool Pop(std::vector<std::uint8_t>& frame, int timeout_ms) {
        std::unique_lock lock(m_lock);
        if (!m_ready.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [this] { return !m_frames.empty(); }))
            return false;
        frame = std::move(m_frames.front());
        m_frames.pop_front();
        return true;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::vector<std::uint8_t>> m_frames;
};

std::string DescribeFrame(const std::vector<std::uint8_t>& frame, bool json) {
    if (!frame.empty() && frame[0] == kOpMeasurement) {
        const Measurement m = DecodeMeasurement(frame.data(), static_cast<int>(frame.size()));
        if (json) {
            std::string s = "{\"opcode\":228";
            if (m.hasBattery)
                s += FormatC(",\"battery\":%.1f", m.battery);
            if (m.hasPower)
                s += FormatC(",\"power_dbm\":%.1f", m.powerDbm);
            if (m.hasTemperature)
                s += FormatC(",\"temperature_c\":%.2f", m.temperatureC);
            // Shorter forms for whole values keep the common case compact.
            return s + "}";
        }
        std::string s = "measurement";
        if (m.hasPower)
            s += FormatC("  power %.1f dBm", m.powerDbm);
        if (m.hasTemperature)
            s += FormatC("  temperature %.2f C", m.temperatureC);
        if (m.hasBattery)
            s += FormatC("  battery %.0f", m.battery);
        return s;
    }
    if (!frame.empty() && frame[0] == kOpLinkLost)
        return json ? "{\"opcode\":240,\"event\":\"link_lost\"}" : "link lost";
    const int opcode = frame.empty() ? -1 : frame[0];
    if (json)
        return opcode < 0 ? FormatC("{\"opcode\":null,\"length\":0}")
                          : FormatC("{\"opcode\":%d,\"length\":%zu}", opcode, frame.size());
    return opcode < 0 ? std::string("empty frame")
                      : FormatC("frame opcode 0x%02X, %zu bytes", opcode, frame.size());
}

}  // namespace
}  // namespace velquor

int main(int argc, char** argv) {
    using namespace velquor;
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velquor-cli: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("velquor-cli 1.1.0");
            return 0;
        } else if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg == "--port") {
            options.port = value("--port");
        } else if (arg == "--serial") {
            options.serial = value("--serial");
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--seconds") {
            const auto v = ParseLeadingDouble(value("--seconds"));
            if (!v || *v < 0) {
                std::fputs("velquor-cli: --seconds needs a number of seconds\n", stderr);
                return 2;
            }
            options.seconds = *v;
        } else if (options.command.empty() && arg[0] != '-') {
            options.command = arg;
        } else {
            std::fprintf(stderr, "velquor-cli: unknown argument '%s'\n", arg.c_str());
            return 2;
        }
    }
    (void)options;
    PrintUsage(stderr);
    return 2;
}
