#include "meter/unit_sequences.h"

#include <cstdint>
#include <vector>

#include "link/device_list.h"
#include "meter/number_format.h"
#include "meter/round_half_down.h"

namespace velquor {

namespace {

constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// Chooses the meter to open. False when there is none or the listing failed
// (after telling the user about the latter).
bool SelectMeter(UnitContext& ctx, std::string& serial) {
    if (!ctx.port.empty()) {
        serial = ctx.port;
        return true;
    }
    std::vector<DeviceEntry> devices;
    if (!ListDevices(ctx.driver, devices)) {
        ctx.prompt.ShowMessage(kMsgListFailed, kAppTitle);
        return false;
    }
    const std::vector<int> meters = MeterIndexes(devices);
    if (meters.empty())
        return false;
    int chosen = meters[0];
    if (meters.size() > 1) {
        std::vector<std::string> lines;
        for (int index : meters)
            lines.push_back(DeviceLine(devices[static_cast<std::size_t>(index)]));
        int selected = 0;
        if (ctx.prompt.SelectDevice(lines, selected) && selected >= 0 &&
            selected < static_cast<int>(meters.size()))
            chosen = meters[static_cast<std::size_t>(selected)];
    }
    serial = devices[static_cast<std::size_t>(chosen)].serial;
    return true;
}

struct CalibrationDate {
    int day = 0;
    int month = 0;
    int year = 0;
};

// A unit whose calibration data lives in its identity text: "day month year
// version model". A text without a whole date leaves the record's date and
// firmware as they are (a later setup writes them back), and one without a
// version leaves the firmware; zeros would be values nobody gave. Returns the
// date to show.
CalibrationDate ApplyLegacyIdentity(UnitContext& ctx, UnitParameters& r, std::uint8_t& firmware) {
    const std::uint8_t kept0 = r[0], kept1 = r[1], kept4 = r[4];
    std::vector<double> v(5, 0.0);
    const int parsed = ScanNumbers(ctx.state.m_strManufacturer, "dddfd", v);
    firmware = r[2];
    if (parsed < 3)
        return {CalibrationDay(r), CalibrationMonth(r), CalibrationYear(r)};
    const auto day = static_cast<long long>(v[0]);
    const auto month = static_cast<long long>(v[1]);
    const auto year = static_cast<long long>(v[2]);
    const auto version = static_cast<float>(v[3]);
    const auto model = static_cast<long long>(v[4]);

    // 64-bit arithmetic: hostile texts may hold numbers near the int limits.
    r[0] = static_cast<std::uint8_t>(day & 0xFF);
    r[1] = static_cast<std::uint8_t>((month | ((year - 2007) * 16)) & 0xFF);
    if (parsed >= 4) {
        const long long whole = TruncateToInt(version);
        const long long hundredths = RoundHalfDown(static_cast<double>(version) * 100.0);
        firmware = static_cast<std::uint8_t>((whole * 32 + (hundredths - whole * 100)) & 0xFF);
    }
    if (model == 2)
        r[4] = static_cast<std::uint8_t>(r[4] | kFlagLowFrequency);

    if (r[0] != kept0 || r[1] != kept1 || r[4] != kept4) {
        ctx.prompt.ShowMessage(FormatC(kMsgResetUnit, ctx.state.m_strSerialNumber.c_str()),
                               kCaptionResetUnit);
    }
    return {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2])};
}

bool Abandoned(const UnitContext& ctx) {
    return ctx.abandon != nullptr && ctx.abandon->load();
}

// Polls the write acknowledgement for at most ten seconds from t0.
bool WaitForAck(UnitContext& ctx, std::int64_t t0) {
    for (;;) {
        if (Abandoned(ctx) || ctx.clock.SteadyMs() - t0 >= kAckWaitSeconds * 1000LL)
            return false;
        if (ctx.meter.WriteAck())
            return true;
        ctx.clock.SleepMs(kAckPollMs);
    }
}

// The cable loss the record's byte 3 carries, in tenths of a dB.
constexpr NumberField kCableLossField{"Cable loss or other correction", 0.0, 25.5, false, "dB"};

// Every unit takes 150 to 2700 MHz: below 700 once it is known to be calibrated for
// low frequency, which is asked when such a number is entered.
constexpr NumberField kFrequencyField{"Frequency", 150.0, 2700.0, true, "MHz"};

SetupResult SetupFailed(UnitContext& ctx) {
    if (Abandoned(ctx))
        return SetupResult::Abandoned;
    ctx.prompt.ShowMessage(kMsgSetupFailed, kAppTitle);
    ctx.state.m_bConnected = false;
    return SetupResult::Failed;
}

}  // namespace

const char* MonthName(int month) {
    return month >= 1 && month <= 12 ? kMonths[month - 1] : "";
}

bool ConnectUnits(UnitContext& ctx) {
    UnitState& s = ctx.state;
    if (s.m_bConnected) {
        ctx.meter.CloseDevice();
        ctx.meter.ResetIdleTicks();
        s.m_bConnected = false;
    }

    std::string serial;
    if (!SelectMeter(ctx, serial))
        return false;
    if (!ctx.meter.OpenDevice(serial, kMeterBaud))
        return false;
    ctx.meter.SetView(ctx.view, kMeterFrameMessage);

    bool identityValid = false;
    if (ctx.meter.QueryIdentity()) {
        ctx.clock.SleepMs(kIdentityPauseMs);
        s.m_strSerialNumber = ctx.meter.EepromSerial();
        s.m_strManufacturer = ctx.meter.EepromManufacturer();
        identityValid = true;
    } else {
        // Whatever was there belongs to another unit, or is the panel's placeholder.
        s.m_strSerialNumber.clear();
        s.m_strManufacturer.clear();
    }

    UnitParameters r{};
    if (!ctx.meter.ReadParameters(r)) {
        s.m_bConnected = false;
        ctx.prompt.ShowMessage(kMsgReadFailed, kAppTitle);
        return false;
    }

    CalibrationDate date;
    std::uint8_t firmware;
    if (identityValid && s.m_strManufacturer.find("Dunmarsh") == std::string::npos) {
        date = ApplyLegacyIdentity(ctx, r, firmware);
    } else {
        date = {CalibrationDay(r), CalibrationMonth(r), CalibrationYear(r)};
        firmware = r[2];
    }

    s.m_byCalDate0 = r[0];
    s.m_byCalDate1 = r[1];
    s.m_strCalDate = FormatC("%s-%d-%d", MonthName(date.month), date.day, date.year);
    s.m_strFirmware = FirmwareText(firmware);
    s.m_byFirmware = firmware;

    s.m_dCableLoss = CableLossDb(r);
    ctx.controls.SetCableLossText(FormatC("%3.1f", s.m_dCableLoss));

    s.m_bShowDbm = (r[4] & kFlagShowDbm) != 0;
    s.m_bShowWatt = (r[4] & kFlagShowWatt) != 0;
    s.m_bLowFrequency = LowFrequency(r);
    ctx.controls.SetShowDbmChecked(s.m_bShowDbm);
    ctx.controls.SetShowWattChecked(s.m_bShowWatt);

    s.m_nFrequency = FrequencyMhz(r);
    s.m_strFrequency = FormatC("%d", s.m_nFrequency);
    ctx.controls.SetFrequencyText(s.m_strFrequency);

    ctx.meter.RequestMeasurement();
    s.m_bConnected = true;
    return true;
}

SetupResult OnSetupUnit(UnitContext& ctx) {
    UnitState& s = ctx.state;
    if (!s.m_bConnected) {
        ctx.prompt.ShowMessage(kMsgNotConnected, kAppTitle);
        return SetupResult::NotConnected;
    }

    UnitParameters record{};
    record[0] = s.m_byCalDate0;
    record[1] = s.m_byCalDate1;
    record[2] = s.m_byFirmware;

    // A cable loss the record cannot carry would reach the unit as a different
    // value (30.0 dB as 4.4 dB), so it is refused rather than wrapped.
    std::string error;
    const auto cableLoss = ParseUserNumber(ctx.controls.CableLossText(), kCableLossField, error);
    if (!cableLoss) {
        ctx.prompt.ShowMessage(error, kAppTitle);
        return SetupResult::InvalidInput;
    }
    s.m_dCableLoss = *cableLoss;
    record[3] = EncodeCableLoss(*cableLoss);
    // The field shows what the unit is given ("3,5" and "3.54" both as 3.5), not
    // the text as typed.
    ctx.controls.SetCableLossText(FormatC("%1.1f", CableLossDb(record)));

    s.m_bShowDbm = ctx.controls.ShowDbmChecked();
    s.m_bShowWatt = ctx.controls.ShowWattChecked();
    record[4] = static_cast<std::uint8_t>((s.m_bShowDbm ? kFlagShowDbm : 0) |
                                          (s.m_bShowWatt ? kFlagShowWatt : 0));

    // Whole MHz only; a number outside the unit's range goes on to the range check
    // below, which may first ask about the low-frequency calibration.
    const std::string frequencyText = ctx.controls.FrequencyText();
    const NumberField anyWholeMhz{kFrequencyField.name, -1e9, 1e9, true, "MHz"};
    const auto entered = ParseUserNumber(frequencyText, anyWholeMhz, error);
    if (!entered) {
        ParseUserNumber(frequencyText, kFrequencyField, error);
        ctx.prompt.ShowMessage(error, kAppTitle);
        ctx.controls.SetFrequencyText(FormatC("%d", s.m_nFrequency));
        return SetupResult::InvalidInput;
    }
    const int f = static_cast<int>(*entered);

    bool notLowFrequency = false;
    if (!s.m_bLowFrequency && f >= 150 && f <= 699) {
        s.m_bLowFrequency = ctx.prompt.AskYesNo(kMsgLowFrequencyQuestion, kAppTitle);
        notLowFrequency = !s.m_bLowFrequency;
    }

    const int low = s.m_bLowFrequency ? 150 : 700;
    if (s.m_bLowFrequency)
        record[4] = static_cast<std::uint8_t>(record[4] | kFlagLowFrequency);
    if (f < low || f > 2700) {
        // The range named is the one a new try is checked against: 150 MHz up, unless
        // the user has just said the unit is not calibrated below 700 MHz.
        const int named = notLowFrequency ? 700 : 150;
        ctx.prompt.ShowMessage(FormatC(kMsgFrequencyRange, f, named), kAppTitle);
        ctx.controls.SetFrequencyText(FormatC("%d", s.m_nFrequency));
        return SetupResult::OutOfRange;
    }
    EncodeFrequency(f, s.m_bLowFrequency, record);
    record[7] = 0;
    record[8] = 0;

    ctx.meter.ClearWriteAck();
    const std::int64_t t0 = ctx.clock.SteadyMs();
    ctx.meter.WriteParameters(record);
    if (!WaitForAck(ctx, t0))
        return SetupFailed(ctx);

    const std::uint8_t kept5 = record[5], kept6 = record[6];
    if (!ctx.meter.ReadParameters(record) || record[5] != kept5 || record[6] != kept6)
        return SetupFailed(ctx);

    const std::int64_t t1 = ctx.clock.SteadyMs();
    ctx.meter.WriteParameters(record);
    if (!WaitForAck(ctx, t1))
        return SetupFailed(ctx);

    ctx.meter.RequestMeasurement();
    ctx.meter.ClearWriteAck();
    ctx.prompt.ShowMessage(kMsgSetupDone, kAppTitle);
    return SetupResult::Success;
}

}  // namespace velquor
