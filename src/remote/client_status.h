#pragma once

#include <cstdint>
#include <string_view>

#include "remote/scpi_error.h"
#include "remote/status_register.h"

namespace velquor::remote {

// One client's status reporting as IEEE 488.2 and SCPI define it: its error queue,
// the Standard Event Status Register with its enable mask, the Service Request
// enable mask, and its event registers over the instrument's OPERation and
// QUEStionable conditions. Each connection has its own, so one client's errors
// and events never reach another's.
struct ClientStatus {
    static constexpr std::uint8_t kOpc = 0x01;
    static constexpr std::uint8_t kEav = 0x04;  // STB: error queue not empty
    static constexpr std::uint8_t kQes = 0x08;  // STB: an enabled QUEStionable event
    static constexpr std::uint8_t kMav = 0x10;  // STB: reply data waiting
    static constexpr std::uint8_t kEsb = 0x20;  // STB: an enabled event is set
    static constexpr std::uint8_t kMss = 0x40;  // STB: master summary
    static constexpr std::uint8_t kOes = 0x80;  // STB: an enabled OPERation event

    ErrorQueue errors;
    std::uint8_t esr = 0;
    std::uint8_t ese = 0;
    std::uint8_t sre = 0;
    EventRegister operation;
    EventRegister questionable;

    // Events from this point on are this client's.
    void Start(const InstrumentStatus& shared) {
        operation.Start(shared.operation);
        questionable.Start(shared.questionable);
    }

    void Push(int code, std::string_view detail = {}) {
        errors.Push(code, detail);
        esr = static_cast<std::uint8_t>(esr | EsrBitOf(code));
    }

    std::uint8_t Stb(bool messageAvailable, const InstrumentStatus& shared) {
        std::uint8_t stb = 0;
        if (questionable.Summary(shared.questionable))
            stb |= kQes;
        if (operation.Summary(shared.operation))
            stb |= kOes;
        if (!errors.Empty())
            stb |= kEav;
        if (messageAvailable)
            stb |= kMav;
        if ((esr & ese) != 0)
            stb |= kEsb;
        if ((stb & sre & ~kMss) != 0)
            stb |= kMss;
        return stb;
    }
};

}  // namespace velquor::remote
