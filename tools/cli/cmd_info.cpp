// velquor-cli info: each unit's identity and setup.
#include <nlohmann/json.hpp>

#include <cstdio>

#include "cli_app.h"
#include "cli_station.h"
#include "cli_text.h"
#include "meter/number_format.h"

namespace velquor::cli {

namespace {

struct InfoOptions {
    MeterOptions meters;
    bool json = false;
};

std::string InfoJson(const station::MeterInfo& m) {
    using Json = nlohmann::ordered_json;
    // Unknown, not a made-up serial, when the identity could not be read.
    const auto identity = [&](const std::string& text) {
        return m.identity_read ? Json(text) : Json(nullptr);
    };
    const Json info = {
        {"meter", m.name},
        {"serial", identity(m.serial)},
        {"manufacturer", identity(m.manufacturer)},
        {"path", m.path},
        {"calibration_date", m.calibration_date},
        {"firmware", m.firmware},
        {"frequency_range", m.frequency_range},
        {"frequency_mhz", m.frequency_mhz},
        {"cable_loss_db", m.cable_loss_db},
        {"show_dbm", m.show_dbm},
        {"show_watt", m.show_watt},
        {"low_frequency", m.low_frequency},
    };
    return info.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void PrintInfoText(const station::MeterInfo& m, bool several) {
    const auto known = [&](const std::string& text) {
        return m.identity_read ? PrintableText(text) : std::string("unknown");
    };
    if (several)
        std::printf("Meter:             %s\n", PrintableText(m.name).c_str());
    std::printf("Serial number:     %s\n", known(m.serial).c_str());
    std::printf("Manufacturer:      %s\n", known(m.manufacturer).c_str());
    std::printf("Calibration date:  %s\n", PrintableText(m.calibration_date).c_str());
    std::printf("Firmware version:  %s\n", PrintableText(m.firmware).c_str());
    std::printf("Frequency range:   %s MHz\n", PrintableText(m.frequency_range).c_str());
    std::printf("Frequency:         %d MHz\n", m.frequency_mhz);
    std::printf("Cable loss:        %s dB\n", FormatC("%3.1f", m.cable_loss_db).c_str());
    std::printf("Show dBm:          %s\n", m.show_dbm ? "on" : "off");
    std::printf("Show Watt:         %s\n", m.show_watt ? "on" : "off");
    std::printf("Low frequency:     %s\n", m.low_frequency ? "yes" : "no");
}

int RunInfo(CliApp& cli, const InfoOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    CliStation meters(cli);
    if (const int status = meters.Open(request))
        return status;
    for (std::size_t i = 0; i < meters.Count(); ++i) {
        const station::MeterInfo info = meters.Get().Meter(i);
        if (options.json) {
            std::printf("%s\n", InfoJson(info).c_str());
        } else {
            if (i > 0)
                std::printf("\n");
            PrintInfoText(info, meters.Several());
        }
    }
    return meters.SomeFailed() ? kExitFailure : kExitOk;
}

}  // namespace

void RegisterInfoCommand(CliApp& cli) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* app = cli.AddCommand("info", "connect and show each unit's identity and setup",
                                   [options](CliApp& c) { return RunInfo(c, *options); });
    app->add_flag("--json", options->json, "One JSON object per meter, one per line");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
