// Measuring: MEASure?, READ?, FETCh?, CONFigure, INITiate, triggers, UNIT, CALCulate
// and DIAGnostic.
#include <memory>
#include <mutex>
#include <string>

#include "measure/battery_gauge.h"
#include "measure/measure_settings.h"
#include "remote/commands.h"
#include "remote/scpi_values.h"

namespace velquor::remote {

namespace {

constexpr NumericBounds kReferenceBounds{measure::kMinPowerDbm, measure::kMaxPowerDbm, 0.0,
                                         UnitKind::Level};
constexpr NumericBounds kUpperBounds{measure::kMinPowerDbm, measure::kMaxPowerDbm,
                                     ChannelSettings{}.upper_dbm, UnitKind::Level};
constexpr NumericBounds kLowerBounds{measure::kMinPowerDbm, measure::kMaxPowerDbm,
                                     ChannelSettings{}.lower_dbm, UnitKind::Level};
// The expected value and resolution drivers send with MEASure? and CONFigure.
constexpr NumericBounds kExpectedBounds{measure::kMinPowerDbm, measure::kMaxPowerDbm, 0.0,
                                        UnitKind::Level};
constexpr NumericBounds kResolutionBounds{0.001, 4.0, 3.0, UnitKind::Ratio};

// Checks the optional <expected value>[,<resolution>] of the measurement commands.
// The meter ranges itself and every result has the same digits, so neither changes
// anything: a value other than DEF sets the command warning bit (QUEStionable 14).
bool MeasurementParameters(Call& c) {
    const NumericBounds* bounds[] = {&kExpectedBounds, &kResolutionBounds};
    bool ignored = false;
    for (std::size_t i = 0; i < c.params.size(); ++i) {
        const Parameter& p = c.Param(i);
        double v = 0;
        const Converted r = ToNumber(p, *bounds[i], v);
        if (r.error != 0) {
            c.Fail(r.error, r.detail);
            return false;
        }
        ignored = ignored || !(p.kind == ParamKind::Character && MnemonicIs(p.text, "DEFault"));
    }
    if (ignored)
        c.status.questionable.Latch(status_bit::kCommandWarning);
    return true;
}

void Wait(Call& c, WaitKind kind) {
    Instrument& inst = c.inst;
    const std::size_t ch = c.channel;
    const void* owner = c.owner;
    c.deferred = [&inst, ch, kind, owner](Completion done) {
        inst.StartWait(ch, kind, owner, std::move(done));
    };
}

void Read(Call& c) {
    if (MeasurementParameters(c))
        Wait(c, WaitKind::Read);
}
void Initiate(Call& c) {
    Wait(c, WaitKind::Init);
}
void Trigger(Call& c) {
    Wait(c, WaitKind::Trigger);
}

// *TRG: a fresh measurement on every channel; done when all are, with the first error.
void TriggerAll(Call& c) {
    Instrument& inst = c.inst;
    const void* owner = c.owner;
    c.deferred = [&inst, owner](Completion done) {
        struct Joint {
            std::mutex lock;
            std::size_t left = 0;
            Outcome first;
            Completion done;
        };
        auto joint = std::make_shared<Joint>();
        joint->left = inst.Channels();
        joint->done = std::move(done);
        if (joint->left == 0)
            return joint->done(Outcome{});
        for (std::size_t ch = 0; ch < inst.Channels(); ++ch) {
            inst.StartWait(ch, WaitKind::Trigger, owner, [joint](Outcome o) {
                Completion finish;
                Outcome result;
                {
                    std::lock_guard lock(joint->lock);
                    if (o.error != 0 && joint->first.error == 0)
                        joint->first = std::move(o);
                    if (--joint->left > 0)
                        return;
                    finish = std::move(joint->done);
                    result = std::move(joint->first);
                }
                finish(std::move(result));
            });
        }
    };
}

// Commands run in order, so a measurement this client started has ended before its
// ABORt runs; other clients' measurements are theirs. Nothing is left to stop.
void Abort(Call&) {}

void Fetch(Call& c) {
    if (MeasurementParameters(c))
        c.out = c.inst.Fetch(c.channel);
}
void Configure(Call& c) {
    if (MeasurementParameters(c))
        c.inst.ClearResult(c.channel);
}
void ConfigureQuery(Call& c) {
    c.out.reply = "\"POW:AC\"";
}

void Continuous(Call& c) {
    bool on = false;
    Converted r = ToBool(c.Param(0), on);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [on](ChannelSettings& s) { s.continuous = on; });
}
void ContinuousQuery(Call& c) {
    c.out.reply = c.inst.Settings(c.channel).continuous ? "1" : "0";
}

void Unit(Call& c) {
    int which = 0;
    Converted r = ToChoice(c.Param(0), {"DBM", "W"}, which);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [which](ChannelSettings& s) {
        s.unit = which == 0 ? measure::PowerUnit::Dbm : measure::PowerUnit::Watt;
    });
}
void UnitQuery(Call& c) {
    c.out.reply = c.inst.Settings(c.channel).unit == measure::PowerUnit::Watt ? "W" : "DBM";
}

void RelativeAuto(Call& c) {
    int which = 0;
    Converted r = ToChoice(c.Param(0), {"ONCE"}, which);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    c.out = c.inst.TakeReference(c.channel);
}

void Reference(Call& c) {
    double v = 0;
    Converted r = ToNumber(c.Param(0), kReferenceBounds, v);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [v](ChannelSettings& s) { s.reference_dbm = v; });
}
void ReferenceQuery(Call& c) {
    NumberQuery(c, kReferenceBounds, c.inst.Settings(c.channel).reference_dbm);
}

template <bool ChannelSettings::*Flag>
void State(Call& c) {
    bool on = false;
    Converted r = ToBool(c.Param(0), on);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [on](ChannelSettings& s) { s.*Flag = on; });
}

template <bool ChannelSettings::*Flag>
void StateQuery(Call& c) {
    c.out.reply = c.inst.Settings(c.channel).*Flag ? "1" : "0";
}

template <double ChannelSettings::*Field, const NumericBounds& Bounds>
void Level(Call& c) {
    double v = 0;
    Converted r = ToNumber(c.Param(0), Bounds, v);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    ChangeSettings(c, [v](ChannelSettings& s) { s.*Field = v; });
}

template <double ChannelSettings::*Field, const NumericBounds& Bounds>
void LevelQuery(Call& c) {
    NumberQuery(c, Bounds, c.inst.Settings(c.channel).*Field);
}

void LimitFail(Call& c) {
    c.out.reply = c.inst.LimitFailed(c.channel) ? "1" : "0";
}
void LimitCount(Call& c) {
    c.out.reply = FormatNr1(c.inst.FailCount(c.channel));
}
void LimitClear(Call& c) {
    c.inst.ClearFailures(c.channel);
}

void Temperature(Call& c) {
    c.out.reply = FormatNr3(c.inst.Temperature(c.channel));
}
void Battery(Call& c) {
    c.out.reply = FormatNr3(c.inst.Battery(c.channel));
}
// The window's gauge: whole percent, and 1 at or below its empty mark.
void BatteryPercentQuery(Call& c) {
    const auto percent = measure::BatteryPercent(c.inst.Battery(c.channel));
    c.out.reply = percent ? FormatNr1(*percent) : kNotANumber;
}
void BatteryLowQuery(Call& c) {
    const auto low = measure::BatteryLow(c.inst.Battery(c.channel));
    c.out.reply = low ? (*low ? "1" : "0") : kNotANumber;
}

constexpr CommandDef kMeasure[] = {
    {"MEASure#[:SCALar][:POWer][:AC]?", Read, 0, 2},
    {"READ#[:SCALar][:POWer][:AC]?", Read, 0, 2},
    {"FETCh#[:SCALar][:POWer][:AC]?", Fetch, 0, 2},
    {"CONFigure#[:SCALar][:POWer][:AC]", Configure, 0, 2},
    {"CONFigure#?", ConfigureQuery, 0, 0},
    {"INITiate#[:IMMediate]", Initiate, 0, 0},
    {"TRIGger#[:IMMediate]", Trigger, 0, 0},
    {"*TRG", TriggerAll, 0, 0},
    {"ABORt#", Abort, 0, 0},
    {"INITiate#:CONTinuous", Continuous, 1, 1},
    {"INITiate#:CONTinuous?", ContinuousQuery, 0, 0},
    {"UNIT#:POWer", Unit, 1, 1},
    {"UNIT#:POWer?", UnitQuery, 0, 0},
    {"CALCulate#:RELative[:MAGNitude]:AUTO", RelativeAuto, 1, 1},
    {"CALCulate#:RELative[:MAGNitude]", Reference, 1, 1},
    {"CALCulate#:RELative[:MAGNitude]?", ReferenceQuery, 0, 1},
    {"CALCulate#:RELative:STATe", State<&ChannelSettings::relative_on>, 1, 1},
    {"CALCulate#:RELative:STATe?", StateQuery<&ChannelSettings::relative_on>, 0, 0},
    {"CALCulate#:LIMit:UPPer[:DATA]", Level<&ChannelSettings::upper_dbm, kUpperBounds>, 1, 1},
    {"CALCulate#:LIMit:UPPer[:DATA]?", LevelQuery<&ChannelSettings::upper_dbm, kUpperBounds>, 0, 1},
    {"CALCulate#:LIMit:LOWer[:DATA]", Level<&ChannelSettings::lower_dbm, kLowerBounds>, 1, 1},
    {"CALCulate#:LIMit:LOWer[:DATA]?", LevelQuery<&ChannelSettings::lower_dbm, kLowerBounds>, 0, 1},
    {"CALCulate#:LIMit:STATe", State<&ChannelSettings::limits_on>, 1, 1},
    {"CALCulate#:LIMit:STATe?", StateQuery<&ChannelSettings::limits_on>, 0, 0},
    {"CALCulate#:LIMit:FAIL?", LimitFail, 0, 0},
    {"CALCulate#:LIMit:FCOunt?", LimitCount, 0, 0},
    {"CALCulate#:LIMit:CLEar[:IMMediate]", LimitClear, 0, 0},
    {"DIAGnostic:TEMPerature#?", Temperature, 0, 0},
    {"DIAGnostic:BATTery#?", Battery, 0, 0},
    {"DIAGnostic:BATTery#:PERCent?", BatteryPercentQuery, 0, 0},
    {"DIAGnostic:BATTery#:LOW?", BatteryLowQuery, 0, 0},
};

}  // namespace

std::span<const CommandDef> MeasureCommands() {
    return kMeasure;
}

}  // namespace velquor::remote
