// velquor-cli info: the unit's identity and setup.
#include <nlohmann/json.hpp>

#include <cstdio>

#include "cli_app.h"
#include "cli_text.h"
#include "meter/number_format.h"
#include "meter_session.h"

namespace velquor::cli {

namespace {

struct InfoOptions {
    MeterOptions meters;
    bool json = false;
};

int RunInfo(CliApp& cli, const InfoOptions& options) {
    MeterRequest request;
    std::string error;
    if (!ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Fail(error);
    MeterSession session(request, cli.Stop());
    if (!session.Connect(error))
        return cli.Stop().Requested() ? cli.Stop().ExitStatus() : Fail(error);
    const UnitState& s = session.State();
    const bool known = session.IdentityRead();
    const std::string range = s.m_bLowFrequency ? "100-2700" : "700-2700";
    const std::string cableLoss = FormatC("%3.1f", s.m_dCableLoss);
    if (options.json) {
        using Json = nlohmann::ordered_json;
        const Json unknown = nullptr;
        const Json info = {
            {"serial", known ? Json(s.m_strSerialNumber) : unknown},
            {"manufacturer", known ? Json(s.m_strManufacturer) : unknown},
            {"calibration_date", s.m_strCalDate},
            {"firmware", s.m_strFirmware},
            {"frequency_range", range},
            {"frequency_mhz", s.m_nFrequency},
            {"cable_loss_db", s.m_dCableLoss},
            {"show_dbm", s.m_bShowDbm},
            {"show_watt", s.m_bShowWatt},
            {"low_frequency", s.m_bLowFrequency},
        };
        std::printf("%s\n", info.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
        return kExitOk;
    }
    const std::string serial = known ? PrintableText(s.m_strSerialNumber) : "unknown";
    const std::string maker = known ? PrintableText(s.m_strManufacturer) : "unknown";
    std::printf("Serial number:     %s\n", serial.c_str());
    std::printf("Manufacturer:      %s\n", maker.c_str());
    std::printf("Calibration date:  %s\n", PrintableText(s.m_strCalDate).c_str());
    std::printf("Firmware version:  %s\n", PrintableText(s.m_strFirmware).c_str());
    std::printf("Frequency range:   %s MHz\n", range.c_str());
    std::printf("Frequency:         %d MHz\n", s.m_nFrequency);
    std::printf("Cable loss:        %s dB\n", cableLoss.c_str());
    std::printf("Show dBm:          %s\n", s.m_bShowDbm ? "on" : "off");
    std::printf("Show Watt:         %s\n", s.m_bShowWatt ? "on" : "off");
    std::printf("Low frequency:     %s\n", s.m_bLowFrequency ? "yes" : "no");
    return kExitOk;
}

}  // namespace

void RegisterInfoCommand(CliApp& cli) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* app = cli.AddCommand("info", "connect and show the unit's identity and setup",
                                   [options](CliApp& c) { return RunInfo(c, *options); });
    app->add_flag("--json", options->json, "One JSON object");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
