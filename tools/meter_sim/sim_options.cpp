#include "sim_options.h"

#include <cmath>
#include <functional>
#include <map>

#include "meter/number_format.h"

namespace velquor::metersim {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Longest run any option accepts; --silence-after and --exit-after use it.
constexpr double kMaxSeconds = 604800.0;

int HexDigit(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

constexpr const char* kNoIdentity =
    "a pseudo-terminal carries no USB identity, so clients see no serial number";
constexpr const char* kTrySerialSelection =
    "to try choosing meters by serial number: velquor-cli info --simulate 3 --serial OV227701";

}  // namespace

std::optional<std::vector<std::uint8_t>> ParseHexBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ':') {
            if (high >= 0)
                return std::nullopt;  // a blank inside a byte
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return bytes;
}

std::string HexText(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t b : bytes)
        text += FormatC("%02X", b);
    return text;
}

std::optional<std::int16_t> PowerTenthsOf(double dBm) {
    const double tenths = std::round(dBm * 10.0);
    if (!(tenths >= -32768.0 && tenths <= 32767.0))
        return std::nullopt;
    return static_cast<std::int16_t>(tenths);
}

std::optional<std::uint8_t> TemperatureByteOf(double celsius) {
    const double raw = std::round((celsius + 50.0) / 1.25);
    if (!(raw >= 0.0 && raw <= 255.0))
        return std::nullopt;
    return static_cast<std::uint8_t>(raw);
}

std::optional<std::uint8_t> BatteryByteOf(long long raw) {
    if (raw < 0 || raw > 1023)
        return std::nullopt;
    return static_cast<std::uint8_t>(raw / 4);
}

std::string SimUsage() {
    return "usage: velquor-meter-sim [options]\n"
           "Serves a simulated Orvane power meter on a pseudo-terminal and prints its\n"
           "device path as the first line. A number must be the option's whole value\n"
           "(a comma may stand for the decimal point); anything else is refused.\n"
           "  --rate N              measurement frames per second (1 to 213)\n"
           "  --interval-ms N       milliseconds between measurement frames (default 200)\n"
           "  --power DBM           fixed power reading in dBm (tenths are sent)\n"
           "  --temperature C       fixed temperature in degrees C\n"
           "  --battery RAW         fixed battery gauge value (0 to 1023; 576 empty, 664 full)\n"
           "  --record HEX          the 9-byte parameter record, e.g. 12852A0003001900 00\n"
           "  --silence-after S     send and answer nothing after S seconds\n"
           "  --no-answer           never answer requests (measurements still flow)\n"
           "  --no-ack              do not acknowledge record writes\n"
           "  --ack-delay-ms N      acknowledge record writes after N ms\n"
           "  --read-back-delta N   add N to record byte 6 in read-back replies\n"
           "  --junk HEX            bytes sent before every measurement frame\n"
           "  --chunk N             write at most N bytes at a time\n"
           "  --chunk-pause-ms N    pause between chunks (default 5)\n"
           "  --exit-after S        exit after S seconds\n"
           "  --record-out FILE     keep the current record there as hex\n"
           "  --tag                 put a running frame counter (modulo 500) in the power\n"
           "                        field, as tenths of a dBm; a measurement that answers\n"
           "                        a request repeats the last frame's counter\n"
           "  --send-log FILE       with --tag: write \"S <counter> <CLOCK_MONOTONIC ns>\"\n"
           "                        per frame sent (complete at exit)\n"
           "  --help                show this text\n"
           "A pseudo-terminal carries no USB identity, so clients see no serial number or\n"
           "manufacturer here. To try choosing meters by serial number, use the simulated\n"
           "meters built into the programs: velquor-cli info --simulate 3 --serial OV227701\n";
}

std::string ServingNotice(const std::string& path) {
    return "simulated meter on " + path + "; " + kNoIdentity + " (" + kTrySerialSelection + ")";
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                     std::string& error) {
    // Each handler reads its option's value; a refused number sets error itself.
    using Handler = std::function<bool(const std::string& name, const std::string& value)>;
    // The whole text must be one number in [min, max]; error names the option and range.
    const auto number = [&](const std::string& name, const std::string& value, double min,
                            double max, bool whole,
                            const char* unit = "") -> std::optional<double> {
        return ParseUserNumber(value, NumberField{name.c_str(), min, max, whole, unit}, error);
    };
    const auto integer = [&](const std::string& name, const std::string& value, long long min,
                             long long max, const char* unit = "") -> std::optional<long long> {
        const auto v =
            number(name, value, static_cast<double>(min), static_cast<double>(max), true, unit);
        return v ? std::optional<long long>(static_cast<long long>(*v)) : std::nullopt;
    };
    const auto NoIdentity = [&](const std::string& name) {
        error = name + ": " + kNoIdentity + "; " + kTrySerialSelection;
        return false;
    };
    const std::map<std::string, Handler> valued = {
        {"--rate",
         [&](const std::string& name, const std::string& v) {
             const auto n = integer(name, v, 1, kMaxFramesPerSecond, "frames per second");
             if (!n)
                 return false;
             options.frameInterval = std::chrono::microseconds(1000000 / *n);
             options.model.frameIntervalMs = static_cast<int>(1000 / *n);
             return true;
         }},
        {"--interval-ms",
         [&](const std::string& name, const std::string& v) {
             const auto n = integer(name, v, 5, 3600000, "ms");
             if (!n)
                 return false;
             options.frameInterval = std::chrono::milliseconds(*n);
             options.model.frameIntervalMs = static_cast<int>(*n);
             return true;
         }},
        {"--power",
         [&](const std::string& name, const std::string& v) {
             const auto d = number(name, v, -3276.8, 3276.7, false, "dBm");
             const auto raw = d ? PowerTenthsOf(*d) : std::nullopt;
             if (raw)
                 options.model.fixedPowerTenths = raw;
             return raw.has_value();
         }},
        {"--temperature",
         [&](const std::string& name, const std::string& v) {
             const auto d = number(name, v, -50.0, 268.75, false, "degrees C");
             const auto raw = d ? TemperatureByteOf(*d) : std::nullopt;
             if (raw)
                 options.model.fixedTemperature = raw;
             return raw.has_value();
         }},
        {"--battery",
         [&](const std::string& name, const std::string& v) {
             const auto n = integer(name, v, 0, 1023);
             const auto raw = n ? BatteryByteOf(*n) : std::nullopt;
             if (raw)
                 options.model.fixedBattery = raw;
             return raw.has_value();
         }},
        // What only a USB device carries: refused, since no client could see it.
        {"--serial", [&](const std::string& name, const std::string&) { return NoIdentity(name); }},
        {"--manufacturer",
         [&](const std::string& name, const std::string&) { return NoIdentity(name); }},
        {"--record",
         [&](const std::string&, const std::string& v) {
             const auto bytes = ParseHexBytes(v);
             if (!bytes || bytes->size() != 9)
                 return false;
             options.model.record = *bytes;
             return true;
         }},
        {"--silence-after",
         [&](const std::string& name, const std::string& v) {
             const auto d = number(name, v, 0.0, kMaxSeconds, false, "s");
             if (d)
                 options.model.silenceAfterS = *d;
             return d.has_value();
         }},
        {"--ack-delay-ms",
         [&](const std::string& name, const std::string& v) {
             const auto n = integer(name, v, 0, 600000, "ms");
             if (n)
                 options.model.ackDelayMs = static_cast<int>(*n);
             return n.has_value();
         }},
        {"--read-back-delta",
         [&](const std::string& name, const std::string& v) {
             const auto n = integer(name, v, -255, 255);
             if (n)
                 options.model.readBackStepDelta = static_cast<int>(*n);
             return n.has_value();
         }},
        {"--junk",
         [&](const std::string&, const std::string& v) {
             const auto bytes = ParseHexBytes(v);
             if (!bytes || bytes->empty())
                 return false;
             options.model.junk = *bytes;
             return true;
         }},
        {"--chunk",
         [&](const std::string& name, const std::string& v) {
             const auto n = integer(name, v, 1, 65536, "bytes");
             if (n)
                 options.chunk = static_cast<int>(*n);
             return n.has_value();
         }},
        {"--chunk-pause-ms",
         [&](const std::string& name, const std::string& v) {
             const auto n = integer(name, v, 0, 10000, "ms");
             if (n)
                 options.chunkPauseMs = static_cast<int>(*n);
             return n.has_value();
         }},
        {"--exit-after",
         [&](const std::string& name, const std::string& v) {
             const auto d = number(name, v, 0.001, kMaxSeconds, false, "s");
             if (d)
                 options.exitAfterS = *d;
             return d.has_value();
         }},
        {"--record-out",
         [&](const std::string&, const std::string& v) {
             options.recordOut = v;
             return !v.empty();
         }},
        {"--send-log",
         [&](const std::string&, const std::string& v) {
             options.sendLog = v;
             return !v.empty();
         }},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--no-ack" || name == "--no-answer" || name == "--tag") {
            if (value) {
                error = name + " takes no value";
                return false;
            }
            if (name == "--no-ack")
                options.model.acknowledgeWrites = false;
            else if (name == "--tag")
                options.tag = true;
            else
                options.model.answerRequests = false;
            continue;
        }
        const auto it = valued.find(name);
        if (it == valued.end()) {
            error = "unknown option " + name;
            return false;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        error.clear();
        if (!it->second(name, *value)) {
            if (error.empty())
                error = "invalid value for " + name + ": \"" + *value + "\"";
            return false;
        }
    }
    if (!options.sendLog.empty() && !options.tag) {
        error = "--send-log needs --tag";
        return false;
    }
    if (options.tag && options.model.fixedPowerTenths) {
        error = "--tag and --power cannot be used together";
        return false;
    }
    return true;
}

}  // namespace velquor::metersim
