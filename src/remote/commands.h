#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "remote/client_status.h"
#include "remote/instrument.h"
#include "remote/scpi_parser.h"
#include "remote/scpi_values.h"

namespace velquor::remote {

// What a command handler works with. A handler sets `out` (error or reply) or,
// for a command that has to wait, `deferred`, which the session starts once the
// handler has returned.
struct Call {
    Instrument& inst;
    ClientStatus& status;
    std::span<const Parameter> params;  // without a channel list, which sets `channel`
    std::size_t channel;     // 0-based, from the header's numeric suffix or a channel list
    bool message_available;  // replies already waiting on this line (*STB? MAV)
    const void* owner;       // the client, for waits that end with it
    Outcome out;
    std::function<void(Completion)> deferred;

    const Parameter& Param(std::size_t i) const { return params[i]; }
    bool HasParam() const { return !params.empty(); }
    void Fail(int code, std::string detail = {}) {
        out.error = code;
        out.detail = std::move(detail);
    }
};

using Handler = void (*)(Call&);

// One row of the command table. The parameter counts do not include a channel
// list "(@n)", which every command of one channel takes last.
struct CommandDef {
    const char* pattern;
    Handler handler;
    std::uint8_t min_params;
    std::uint8_t max_params;
};

// Every command, in lookup order.
std::span<const CommandDef> CommandDefs();

// The rows of each group, in their own files.
std::span<const CommandDef> CommonCommands();
std::span<const CommandDef> MeasureCommands();
std::span<const CommandDef> SenseCommands();
std::span<const CommandDef> StatusCommands();

// Changes host-side settings of the call's channel; refused settings change nothing.
template <typename F>
void ChangeSettings(Call& c, F&& edit) {
    ChannelSettings s = c.inst.Settings(c.channel);
    edit(s);
    Outcome o = c.inst.Apply(c.channel, s);
    if (o.error != 0)
        c.Fail(o.error, o.detail);
}

// Replies with a setting's value, or with MIN/MAX/DEF when the query names one.
void NumberQuery(Call& c, const NumericBounds& bounds, double value);

// `VELQUOR,<model>,<serial>,<version>` with each field kept to printable ASCII
// without the separators a reply parser would trip over.
std::string IdentityReply(const MeterIdentity& meter, const std::string& version);
// One meter's own identity in the same form: `ORVANE,<model>,<serial>,<firmware>`.
std::string MeterIdentityReply(const MeterIdentity& meter);

}  // namespace velquor::remote
