// The STATus subsystem: each client's OPERation and QUEStionable event, enable and
// transition filter registers over the instrument's shared conditions.
#include "remote/commands.h"
#include "remote/scpi_values.h"

namespace velquor::remote {

namespace {

constexpr NumericBounds kMaskBounds{0.0, 65535.0, 0.0, UnitKind::None, true};

using Register = EventRegister ClientStatus::*;
using Condition = ConditionHistory InstrumentStatus::*;

bool ToMask(Call& c, std::uint16_t& mask) {
    double v = 0;
    const Converted r = ToNumber(c.Param(0), kMaskBounds, v);
    if (r.error != 0) {
        c.Fail(r.error, r.detail);
        return false;
    }
    mask = static_cast<std::uint16_t>(v);
    return true;
}

// Reading the event register clears it.
template <Register R, Condition C>
void EventQuery(Call& c) {
    c.out.reply = FormatNr1((c.status.*R).Take(c.inst.StatusNow().*C));
}

template <Condition C>
void ConditionQuery(Call& c) {
    c.out.reply = FormatNr1((c.inst.StatusNow().*C).condition);
}

template <Register R>
void Enable(Call& c) {
    std::uint16_t mask = 0;
    if (ToMask(c, mask))
        (c.status.*R).SetEnable(mask);
}
template <Register R>
void EnableQuery(Call& c) {
    c.out.reply = FormatNr1((c.status.*R).Enable());
}

template <Register R, Condition C>
void PositiveFilter(Call& c) {
    std::uint16_t mask = 0;
    if (ToMask(c, mask))
        (c.status.*R).SetPositiveFilter(c.inst.StatusNow().*C, mask);
}
template <Register R>
void PositiveFilterQuery(Call& c) {
    c.out.reply = FormatNr1((c.status.*R).PositiveFilter());
}

template <Register R, Condition C>
void NegativeFilter(Call& c) {
    std::uint16_t mask = 0;
    if (ToMask(c, mask))
        (c.status.*R).SetNegativeFilter(c.inst.StatusNow().*C, mask);
}
template <Register R>
void NegativeFilterQuery(Call& c) {
    c.out.reply = FormatNr1((c.status.*R).NegativeFilter());
}

void Preset(Call& c) {
    const InstrumentStatus now = c.inst.StatusNow();
    c.status.operation.Preset(now.operation);
    c.status.questionable.Preset(now.questionable);
}

constexpr Register kOper = &ClientStatus::operation;
constexpr Register kQues = &ClientStatus::questionable;
constexpr Condition kOperCond = &InstrumentStatus::operation;
constexpr Condition kQuesCond = &InstrumentStatus::questionable;

constexpr CommandDef kStatus[] = {
    {"STATus:OPERation[:EVENt]?", EventQuery<kOper, kOperCond>, 0, 0},
    {"STATus:OPERation:CONDition?", ConditionQuery<kOperCond>, 0, 0},
    {"STATus:OPERation:ENABle", Enable<kOper>, 1, 1},
    {"STATus:OPERation:ENABle?", EnableQuery<kOper>, 0, 0},
    {"STATus:OPERation:PTRansition", PositiveFilter<kOper, kOperCond>, 1, 1},
    {"STATus:OPERation:PTRansition?", PositiveFilterQuery<kOper>, 0, 0},
    {"STATus:OPERation:NTRansition", NegativeFilter<kOper, kOperCond>, 1, 1},
    {"STATus:OPERation:NTRansition?", NegativeFilterQuery<kOper>, 0, 0},
    {"STATus:QUEStionable[:EVENt]?", EventQuery<kQues, kQuesCond>, 0, 0},
    {"STATus:QUEStionable:CONDition?", ConditionQuery<kQuesCond>, 0, 0},
    {"STATus:QUEStionable:ENABle", Enable<kQues>, 1, 1},
    {"STATus:QUEStionable:ENABle?", EnableQuery<kQues>, 0, 0},
    {"STATus:QUEStionable:PTRansition", PositiveFilter<kQues, kQuesCond>, 1, 1},
    {"STATus:QUEStionable:PTRansition?", PositiveFilterQuery<kQues>, 0, 0},
    {"STATus:QUEStionable:NTRansition", NegativeFilter<kQues, kQuesCond>, 1, 1},
    {"STATus:QUEStionable:NTRansition?", NegativeFilterQuery<kQues>, 0, 0},
    {"STATus:PRESet", Preset, 0, 0},
};

}  // namespace

std::span<const CommandDef> StatusCommands() {
    return kStatus;
}

}  // namespace velquor::remote
