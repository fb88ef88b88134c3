#include <cstdio>

#include "commands.h"
#include "link/device_list.h"
#include "meter/number_format.h"
#include "meter_session.h"

namespace velquor::cli {

namespace {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += FormatC("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

const char* Bool(bool v) {
    return v ? "true" : "false";
}

// "on"/"off" or "yes"/"no" into a flag.
bool ParseSwitch(const std::string& text, bool& value) {
    if (text == "on" || text == "yes") {
        value = true;
        return true;
    }
    if (text == "off" || text == "no") {
        value = false;
        return true;
    }
    return false;
}

}  // namespace

int RunList(const Options& options) {
    MeterSession session(options);
    std::vector<DeviceEntry> devices;
    if (!ListDevices(session.Driver(), devices))
        return Fail(kMsgListFailed);
    const bool all = options.Flag("--all");
    std::string json = "[";
    for (const DeviceEntry& d : devices) {
        const bool meter = d.description == kMeterDescription;
        if (!meter && !all)
            continue;
        if (options.json) {
            if (json.size() > 1)
                json += ',';
            json += "{\"serial\":";
            json += JsonString(d.serial);
            json += ",\"description\":";
            json += JsonString(d.description);
            json += ",\"meter\":";
            json += Bool(meter);
            json += '}';
        } else {
            std::printf("%s\n", DeviceLine(d).c_str());
        }
    }
    if (options.json)
        std::printf("%s]\n", json.c_str());
    return 0;
}

int RunInfo(const Options& options) {
    MeterSession session(options);
    std::string error;
    if (!session.Connect(error))
        return Fail(error);
    const UnitState& s = session.State();
    const std::string range = s.m_bLowFrequency ? "100-2700" : "700-2700";
    const std::string cableLoss = FormatC("%3.1f", s.m_dCableLoss);
    if (options.json) {
        std::printf(
            "{\"serial\":%s,\"manufacturer\":%s,\"calibration_date\":%s,\"firmware\":%s,"
            "\"frequency_range\":%s,\"frequency_mhz\":%d,\"cable_loss_db\":%s,"
            "\"show_dbm\":%s,\"show_watt\":%s,\"low_frequency\":%s}\n",
            JsonString(s.m_strSerialNumber).c_str(), JsonString(s.m_strManufacturer).c_str(),
            JsonString(s.m_strCalDate).c_str(), JsonString(s.m_strFirmware).c_str(),
            JsonString(range).c_str(), s.m_nFrequency, cableLoss.c_str(), Bool(s.m_bShowDbm),
            Bool(s.m_bShowWatt), Bool(s.m_bLowFrequency));
        return 0;
    }
    std::printf("Serial number:     %s\n", s.m_strSerialNumber.c_str());
    std::printf("Manufacturer:      %s\n", s.m_strManufacturer.c_str());
    std::printf("Calibration date:  %s\n", s.m_strCalDate.c_str());
    std::printf("Firmware version:  %s\n", s.m_strFirmware.c_str());
    std::printf("Frequency range:   %s MHz\n", range.c_str());
    std::printf("Frequency:         %d MHz\n", s.m_nFrequency);
    std::printf("Cable loss:        %s dB\n", cableLoss.c_str());
    std::printf("Show dBm:          %s\n", s.m_bShowDbm ? "on" : "off");
    std::printf("Show Watt:         %s\n", s.m_bShowWatt ? "on" : "off");
    std::printf("Low frequency:     %s\n", s.m_bLowFrequency ? "yes" : "no");
    return 0;
}

int RunSetup(const Options& options) {
    const auto frequency = options.Value("--frequency");
    if (!frequency)
        return Fail("setup needs --frequency MHZ");
    bool showDbm = false, showWatt = false, lowFrequency = false;
    const auto dbmText = options.Value("--show-dbm");
    const auto wattText = options.Value("--show-watt");
    const auto lowText = options.Value("--low-frequency");
    if (dbmText && !ParseSwitch(*dbmText, showDbm))
        return Fail("--show-dbm takes on or off");
    if (wattText && !ParseSwitch(*wattText, showWatt))
        return Fail("--show-watt takes on or off");
    if (lowText && !ParseSwitch(*lowText, lowFrequency))
        return Fail("--low-frequency takes yes or no");

    MeterSession session(options);
    std::string error;
    if (!session.Connect(error))
        return Fail(error);
    // Anything not given keeps the unit's current value, as the connect filled it in.
    PlainUnitControls& controls = session.Controls();
    controls.frequency = *frequency;
    if (const auto cableLoss = options.Value("--cable-loss"))
        controls.cableLoss = *cableLoss;
    if (dbmText)
        controls.showDbm = showDbm;
    if (wattText)
        controls.showWatt = showWatt;
    if (lowText)
        session.Prompt().yesNoAnswer = lowFrequency;
    const SetupResult result = OnSetupUnit(session.Context());
    // The sequence's messages are already on stderr; the final one goes to stdout too.
    if (result == SetupResult::Success) {
        std::printf("%s\n", kMsgSetupDone);
        return 0;
    }
    return 1;
}

}  // namespace velquor::cli
