// IEEE 488.2 common commands (but *TRG, with the other triggers) and the SYSTem subsystem.
#include <string>
#include <vector>

#include "remote/commands.h"
#include "remote/scpi_values.h"

namespace velquor::remote {

namespace {

constexpr NumericBounds kRegisterBounds{0.0, 255.0, 0.0, UnitKind::None, true};

void Idn(Call& c) {
    c.out.reply = IdentityReply(c.inst.Identity(0), c.inst.Options().version);
}

void Rst(Call& c) {
    c.inst.Reset();
}

void Cls(Call& c) {
    c.status.errors.Clear();
    c.status.esr = 0;
    const InstrumentStatus now = c.inst.StatusNow();
    c.status.operation.Clear(now.operation);
    c.status.questionable.Clear(now.questionable);
}

// Every command here completes before the next one starts, so the operation is
// complete as soon as *OPC is reached.
void Opc(Call& c) {
    c.status.esr |= ClientStatus::kOpc;
}
void OpcQuery(Call& c) {
    c.out.reply = "1";
}
void Wai(Call&) {}

void EsrQuery(Call& c) {
    c.out.reply = FormatNr1(c.status.esr);
    c.status.esr = 0;
}

void Ese(Call& c) {
    double v = 0;
    Converted r = ToNumber(c.Param(0), kRegisterBounds, v);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    c.status.ese = static_cast<std::uint8_t>(v);
}
void EseQuery(Call& c) {
    c.out.reply = FormatNr1(c.status.ese);
}

void Sre(Call& c) {
    double v = 0;
    Converted r = ToNumber(c.Param(0), kRegisterBounds, v);
    if (r.error != 0)
        return c.Fail(r.error, r.detail);
    // The summary bit cannot enable itself.
    c.status.sre = static_cast<std::uint8_t>(static_cast<unsigned>(v) & ~ClientStatus::kMss);
}
void SreQuery(Call& c) {
    c.out.reply = FormatNr1(c.status.sre);
}

void StbQuery(Call& c) {
    c.out.reply = FormatNr1(c.status.Stb(c.message_available, c.inst.StatusNow()));
}

void TstQuery(Call& c) {
    const std::uint32_t failed = c.inst.SelfTest();
    c.out.reply = FormatNr1(failed);
    for (std::size_t i = 0; i < c.inst.Channels() && i < 32; ++i) {
        if ((failed & (1u << i)) != 0)
            c.status.Push(err::kSelfTestFailed,
                          "meter " + std::to_string(i + 1) + " not answering");
    }
}

void ErrorNext(Call& c) {
    c.out.reply = FormatError(c.status.errors.Pop());
}
// Every queued error, oldest first, and the queue is empty afterwards.
void ErrorAll(Call& c) {
    std::string reply;
    do {
        if (!reply.empty())
            reply += ',';
        reply += FormatError(c.status.errors.Pop());
    } while (!c.status.errors.Empty());
    c.out.reply = std::move(reply);
}
void ErrorCount(Call& c) {
    c.out.reply = FormatNr1(static_cast<long long>(c.status.errors.Count()));
}
void Version(Call& c) {
    c.out.reply = "1999.0";
}

// Which meter is which channel, so that a script can check it reads the right one.
void ChannelCount(Call& c) {
    c.out.reply = FormatNr1(static_cast<long long>(c.inst.Channels()));
}
void ChannelIdentity(Call& c) {
    c.out.reply = MeterIdentityReply(c.inst.Identity(c.channel));
}
void ChannelSerial(Call& c) {
    c.out.reply = FormatString(c.inst.Identity(c.channel).serial);
}
void ChannelName(Call& c) {
    c.out.reply = FormatString(c.inst.Identity(c.channel).name);
}

// No options are installed.
void OptQuery(Call& c) {
    c.out.reply = "0";
}

constexpr CommandDef kCommon[] = {
    {"*IDN?", Idn, 0, 0},
    {"*RST", Rst, 0, 0},
    {"*CLS", Cls, 0, 0},
    {"*OPC", Opc, 0, 0},
    {"*OPC?", OpcQuery, 0, 0},
    {"*WAI", Wai, 0, 0},
    {"*ESR?", EsrQuery, 0, 0},
    {"*ESE", Ese, 1, 1},
    {"*ESE?", EseQuery, 0, 0},
    {"*SRE", Sre, 1, 1},
    {"*SRE?", SreQuery, 0, 0},
    {"*STB?", StbQuery, 0, 0},
    {"*TST?", TstQuery, 0, 0},
    {"*OPT?", OptQuery, 0, 0},
    {"SYSTem:ERRor[:NEXT]?", ErrorNext, 0, 0},
    {"SYSTem:ERRor:ALL?", ErrorAll, 0, 0},
    {"SYSTem:ERRor:COUNt?", ErrorCount, 0, 0},
    {"SYSTem:VERSion?", Version, 0, 0},
    {"SYSTem:CHANnel:COUNt?", ChannelCount, 0, 0},
    {"SYSTem:CHANnel#:IDN?", ChannelIdentity, 0, 0},
    {"SYSTem:CHANnel#:SNUMber?", ChannelSerial, 0, 0},
    {"SYSTem:CHANnel#:NAME?", ChannelName, 0, 0},
};

std::string CleanField(const std::string& text, const char* fallback) {
    std::string out;
    for (const char ch : text) {
        const auto u = static_cast<unsigned char>(ch);
        out +=
            (u < 0x20 || u > 0x7E || ch == ',' || ch == ';' || ch == '"' || ch == '\'') ? '_' : ch;
    }
    return out.empty() ? fallback : out;
}

}  // namespace

std::string IdentityReply(const MeterIdentity& meter, const std::string& version) {
    return "VELQUOR," + CleanField(meter.model, "0") + ',' + CleanField(meter.serial, "0") + ',' +
           CleanField(version, "0");
}

std::string MeterIdentityReply(const MeterIdentity& meter) {
    return "ORVANE," + CleanField(meter.model, "0") + ',' + CleanField(meter.serial, "0") + ',' +
           CleanField(meter.firmware, "0");
}

void NumberQuery(Call& c, const NumericBounds& bounds, double value) {
    if (c.HasParam()) {
        Bound b;
        Converted r = ToBound(c.Param(0), b);
        if (r.error != 0)
            return c.Fail(r.error, r.detail);
        if (b == Bound::Def && !bounds.def)
            return c.Fail(err::kIllegalParameterValue, "no default");
        value = b == Bound::Min ? bounds.min : b == Bound::Max ? bounds.max : *bounds.def;
    }
    c.out.reply = FormatNr3(value);
}

std::span<const CommandDef> CommonCommands() {
    return kCommon;
}

std::span<const CommandDef> CommandDefs() {
    // Built once from the groups' constant rows; read-only afterwards.
    static const std::vector<CommandDef> all = [] {
        std::vector<CommandDef> v;
        for (auto group : {CommonCommands(), MeasureCommands(), SenseCommands(), StatusCommands()})
            v.insert(v.end(), group.begin(), group.end());
        return v;
    }();
    return all;
}

}  // namespace velquor::remote
