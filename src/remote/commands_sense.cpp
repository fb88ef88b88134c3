// SENSe: the meter's own frequency and cable loss (written through its setup
// sequence) and the host-side offset and averaging.
#include <cmath>
#include <string>

#include "measure/measure_settings.h"
#include "measure/moving_average.h"
#include "remote/commands.h"
#include "remote/scpi_values.h"

namespace velquor::remote {

namespace {

constexpr NumericBounds kLossBounds{0.0, kMaxCableLossDb, 0.0, UnitKind::Ratio};
constexpr NumericBounds kGainBounds{-kMaxCableLossDb, 0.0, 0.0, UnitKind::Ratio};
constexpr NumericBounds kOffsetBounds{measure::kMinOffsetDb, measure::kMaxOffsetDb, 0.0,
                                  UnitKind::Ratio};
constexpr NumericBounds kCountBounds{measure::kMinAverageCount, measure::kMaxAverageCount, 1.0,
                                 UnitKind::None, true};

NumericBounds FrequencyBounds(const MeterSetup& setup) {
    const int low = setup.low_frequency ? kMinLowFrequencyMhz : kMinFrequencyMhz;
    return NumericBounds{low * 1e6, kMaxFrequencyMhz * 1e6, std::nullopt, UnitKind::Frequency};
}

Outcome FromWrite(Instrument& inst, std::size_t ch, const WriteOutcome& w) {
    switch (w.status) {
        case WriteStatus::Done:
            inst.Invalidate(ch);
            return {};
        case WriteStatus::Failed:
            return Outcome{err::kHardware, w.detail, {}};
        case WriteStatus::Gone:
            return Outcome{err::kHardwareMissing, w.detail, {}};
        case WriteStatus::Refused:
            return Outcome{err::kDataOutOfRange, w.detail, {}};
    }
    return Outcome{err::kHardware, w.detail, {}};
}

// The meter's stored setup, or nothing (and -241) while it is away.
std::optional<MeterSetup> StoredSetup(Call& c) {
    std::optional<MeterSetup> setup = c.inst.Backend().Setup(c.channel);
    if (!setup || c.inst.Lost(c.channel)) {
        c.Fail(err::kHardwareMissing, "meter " + std::to_string(c.channel + 1) + " not connected");
        return std::nullopt;
    }
    return setup;
}

void WriteMeter(Call& c, SetupWrite write) {
    Instrument& inst = c.inst;
    const std::size_t ch = c.channel;
    c.deferred = [&inst, ch, write](Completion done) {
        inst.Backend().WriteSetup(ch, write, [&inst, ch, done = std::move(done)](WriteOutcome w) {
            done(FromWrite(inst, ch, w));
        });
    };
}

void Frequency(Call& c) {
    const std::optional<MeterSetup> setup = StoredSetup(c);
    if (!setup)
        return;
    double hz = 0;
    Converted r = ToNumber(c.Param(0), FrequencyBounds(*setup), hz);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    // The meter keeps whole MHz.
    WriteMeter(c, SetupWrite{static_cast<int>(std::lround(hz / 1e6)), std::nullopt});
}

void FrequencyQuery(Call& c) {
    const std::optional<MeterSetup> setup = c.inst.Backend().Setup(c.channel);
    const NumericBounds bounds = FrequencyBounds(setup.value_or(MeterSetup{}));
    if (c.HasParam()) {
        Bound b;
        Converted r = ToBound(c.Param(0), b);
        if (r.error != 0)
            return c.Fail(r.error, r.detail);
        if (b == Bound::Def)
            return c.Fail(err::kIllegalParameterValue, "no default frequency");
        c.out.reply = FormatNr3(b == Bound::Min ? bounds.min : bounds.max);
        return;
    }
    c.out.reply = setup ? FormatNr3(setup->frequency_mhz * 1e6) : kNotANumber;
}

void Loss(Call& c, bool asGain) {
    if (!StoredSetup(c))
        return;
    double v = 0;
    Converted r = ToNumber(c.Param(0), asGain ? kGainBounds : kLossBounds, v);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    WriteMeter(c, SetupWrite{std::nullopt, asGain ? -v : v});
}

void LossQuery(Call& c, bool asGain) {
    const NumericBounds& bounds = asGain ? kGainBounds : kLossBounds;
    if (c.HasParam())
        return NumberQuery(c, bounds, 0.0);
    const std::optional<MeterSetup> setup = c.inst.Backend().Setup(c.channel);
    if (!setup) {
        c.out.reply = kNotANumber;
        return;
    }
    // No "-0" for a loss of zero.
    const double loss = setup->cable_loss_db;
    c.out.reply = FormatNr3(asGain && loss != 0.0 ? -loss : loss);
}

void CableLoss(Call& c) {
    Loss(c, false);
}
void CableLossQuery(Call& c) {
    LossQuery(c, false);
}
void Gain(Call& c) {
    Loss(c, true);
}
void GainQuery(Call& c) {
    LossQuery(c, true);
}

void Offset(Call& c) {
    double v = 0;
    Converted r = ToNumber(c.Param(0), kOffsetBounds, v);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [v](ChannelSettings& s) { s.offset_db = v; });
}

void OffsetQuery(Call& c) {
    NumberQuery(c, kOffsetBounds, c.inst.Settings(c.channel).offset_db);
}

void OffsetState(Call& c) {
    bool on = false;
    Converted r = ToBool(c.Param(0), on);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [on](ChannelSettings& s) { s.offset_on = on; });
}
void OffsetStateQuery(Call& c) {
    c.out.reply = c.inst.Settings(c.channel).offset_on ? "1" : "0";
}

void AverageCount(Call& c) {
    double v = 0;
    Converted r = ToNumber(c.Param(0), kCountBounds, v);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [v](ChannelSettings& s) { s.average_count = static_cast<int>(v); });
}

void AverageCountQuery(Call& c) {
    long long v = c.inst.Settings(c.channel).average_count;
    if (c.HasParam()) {
        Bound b;
        Converted r = ToBound(c.Param(0), b);
        if (r.error != 0)
            return c.Fail(r.error, r.detail);
        v = b == Bound::Max ? measure::kMaxAverageCount : measure::kMinAverageCount;
    }
    c.out.reply = FormatNr1(v);
}

void AverageState(Call& c) {
    bool on = false;
    Converted r = ToBool(c.Param(0), on);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [on](ChannelSettings& s) { s.average_on = on; });
}
void AverageStateQuery(Call& c) {
    c.out.reply = c.inst.Settings(c.channel).average_on ? "1" : "0";
}

constexpr CommandDef kSense[] = {
    {"[SENSe#]:FREQuency[:CW|:FIXed]", Frequency, 1, 1},
    {"[SENSe#]:FREQuency[:CW|:FIXed]?", FrequencyQuery, 0, 1},
    {"[SENSe#]:CORRection:LOSS2[:INPut][:MAGNitude]", CableLoss, 1, 1},
    {"[SENSe#]:CORRection:LOSS2[:INPut][:MAGNitude]?", CableLossQuery, 0, 1},
    {"[SENSe#]:CORRection:GAIN2[:INPut][:MAGNitude]", Gain, 1, 1},
    {"[SENSe#]:CORRection:GAIN2[:INPut][:MAGNitude]?", GainQuery, 0, 1},
    {"[SENSe#]:CORRection:OFFSet", Offset, 1, 1},
    {"[SENSe#]:CORRection:OFFSet?", OffsetQuery, 0, 1},
    {"[SENSe#]:CORRection:OFFSet:STATe", OffsetState, 1, 1},
    {"[SENSe#]:CORRection:OFFSet:STATe?", OffsetStateQuery, 0, 0},
    {"[SENSe#]:AVERage:COUNt", AverageCount, 1, 1},
    {"[SENSe#]:AVERage:COUNt?", AverageCountQuery, 0, 1},
    {"[SENSe#]:AVERage[:STATe]", AverageState, 1, 1},
    {"[SENSe#]:AVERage[:STATe]?", AverageStateQuery, 0, 0},
};

}  // namespace

std::span<const CommandDef> SenseCommands() {
    return kSense;
}

}  // namespace velquor::remote
