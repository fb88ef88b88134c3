#pragma once

#include <cstdint>
#include <string_view>

#include "remote/scpi_error.h"

namespace velquor::remote {

// One client's status reporting as IEEE 488.2 defines it: its error queue, the
// Standard Event Status Register with its enable mask, and the Service Request
// enable mask. Each connection has its own, so one client's errors never reach
// another's queue.
struct ClientStatus {
    static constexpr std::uint8_t kOpc = 0x01;
    static constexpr std::uint8_t kEav = 0x04;  // STB: error queue not empty
    static constexpr std::uint8_t kMav = 0x10;  // STB: reply data waiting
    static constexpr std::uint8_t kEsb = 0x20;  // STB: an enabled event is set
    static constexpr std::uint8_t kMss = 0x40;  // STB: master summary

    ErrorQueue errors;
    std::uint8_t esr = 0;
    std::uint8_t ese = 0;
    std::uint8_t sre = 0;

    void Push(int code, std::string_view detail = {}) {
        errors.Push(code, detail);
        esr = static_cast<std::uint8_t>(esr | EsrBitOf(code));
    }

    std::uint8_t Stb(bool messageAvailable) const {
        std::uint8_t stb = 0;
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
