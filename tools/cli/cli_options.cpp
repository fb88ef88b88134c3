#include "cli_options.h"

#include <cmath>

#include "cli_app.h"

namespace velquor::cli {

namespace {

constexpr NumberField kSimulateField{"--simulate", 1, 16, true, "meters"};

}  // namespace

bool MeterRequest::Several() const {
    return all || simulated > 1 || ports.size() + serials.size() > 1;
}

void AddMeterOptions(CLI::App& app, MeterOptions& options, MeterOptionSet set) {
    options.simulateOption =
        app.add_option("--simulate", options.simulateCount,
                       "Use N simulated meters (default 1) instead of real ones")
            ->expected(0, 1)
            ->type_name("[N]")  // a command's --help shows the count as optional
            ->group(kCommonGroup);
    if (set == MeterOptionSet::Simulate)
        return;
    app.add_option("--port", options.ports, "Open this device node (repeatable)")
        ->type_name("PATH")
        ->allow_extra_args(false)
        ->group(kCommonGroup);
    app.add_option("--serial", options.serials, "The meter with this serial number (repeatable)")
        ->type_name("S")
        ->allow_extra_args(false)
        ->group(kCommonGroup);
    if (set == MeterOptionSet::Meters) {
        app.add_flag("--all", options.all, "Every meter found")->group(kCommonGroup);
        app.add_flag("--keep-going", options.keepGoing,
                     "Go on with the meters that opened when others cannot be opened")
            ->group(kCommonGroup);
    }
}

int ResolveMeters(const MeterOptions& before, const MeterOptions& after, MeterRequest& request,
                  std::string& error) {
    request = {};
    request.ports = before.ports;
    request.ports.insert(request.ports.end(), after.ports.begin(), after.ports.end());
    request.serials = before.serials;
    request.serials.insert(request.serials.end(), after.serials.begin(), after.serials.end());
    request.all = before.all || after.all;
    request.keepGoing = before.keepGoing || after.keepGoing;
    if (before.Simulate() || after.Simulate()) {
        request.simulated = 1;
        const std::string& count =
            after.simulateCount.empty() ? before.simulateCount : after.simulateCount;
        if (!count.empty()) {
            const auto n = ParseNumberOption(count, kSimulateField, error);
            if (!n)
                return kExitFailure;
            request.simulated = static_cast<int>(*n);
        }
    }
    for (const std::string& p : request.ports) {
        if (p.empty()) {
            error = "--port needs a device path";
            return kExitUsage;
        }
    }
    if (request.simulated > 0 && !request.ports.empty()) {
        error = "--simulate and --port cannot be used together";
        return kExitUsage;
    }
    if (request.all && !(request.ports.empty() && request.serials.empty())) {
        error = "--all cannot be used with --port or --serial";
        return kExitUsage;
    }
    return kExitOk;
}

void AddReconnectOptions(CLI::App& app, ReconnectOptions& options) {
    app.add_flag("--reconnect", options.enabled,
                 "When a meter is lost, wait for it and go on when it is back");
    app.add_option("--reconnect-timeout", options.timeout,
                   "Give up on a lost meter after S seconds (default: wait for ever)")
        ->type_name("S");
}

int ReconnectPolicyFor(const ReconnectOptions& options, station::ReconnectPolicy& policy,
                       std::string& error) {
    policy = {};
    policy.enabled = options.enabled;
    if (options.timeout.empty())
        return kExitOk;
    if (!options.enabled) {
        error = "--reconnect-timeout needs --reconnect";
        return kExitUsage;
    }
    const auto seconds = ParseNumberOption(options.timeout, kReconnectTimeoutField, error);
    if (!seconds)
        return kExitFailure;
    policy.timeout = std::chrono::milliseconds(std::llround(*seconds * 1000.0));
    return kExitOk;
}

void AddSecondsOption(CLI::App& app, std::string& text, const std::string& what) {
    app.add_option("--seconds", text, what)->type_name("N");
}

std::optional<double> ParseNumberOption(const std::string& text, const NumberField& field,
                                        std::string& error) {
    return ParseOptionNumber(text, field, error);
}

std::optional<bool> ParseSwitch(const std::string& text) {
    if (text == "on" || text == "yes")
        return true;
    if (text == "off" || text == "no")
        return false;
    return std::nullopt;
}

}  // namespace velquor::cli
