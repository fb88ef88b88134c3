#include "cli_text.h"

#include <chrono>
#include <ctime>

#include "meter/number_format.h"
#include "meter/platform_io.h"

namespace velquor::cli {

namespace {

// Length of the valid UTF-8 sequence at text[i] that is not a C1 control, or 0.
std::size_t PrintableSequence(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates, beyond Unicode, and the C1 controls.
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF ||
        (code >= 0x80 && code <= 0x9F))
        return 0;
    return length;
}

std::tm LocalTm(std::int64_t utc_us) {
    const std::time_t seconds =
        static_cast<std::time_t>(utc_us >= 0 ? utc_us / 1000000 : -((-utc_us + 999999) / 1000000));
    std::tm tm{};
    platform::LocalTime(seconds, tm);
    return tm;
}

int Millis(std::int64_t utc_us) {
    const std::int64_t r = ((utc_us % 1000000) + 1000000) % 1000000;
    return static_cast<int>(r / 1000);
}

}  // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = c >= 0x80 ? PrintableSequence(text, i) : 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += FormatC("\\x%02X", c);
            ++i;
        }
    }
    return out;
}

std::string LocalClockText(std::int64_t utc_us) {
    const std::tm tm = LocalTm(utc_us);
    return FormatC("%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, Millis(utc_us));
}

std::string LocalSecondsText(std::int64_t utc_us) {
    const std::tm tm = LocalTm(utc_us);
    return FormatC("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string IsoUtcText(std::int64_t utc_us) {
    const std::time_t seconds =
        static_cast<std::time_t>(utc_us >= 0 ? utc_us / 1000000 : -((-utc_us + 999999) / 1000000));
    std::tm tm{};
    platform::UtcTime(seconds, tm);
    return FormatC("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                   tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, Millis(utc_us));
}

std::string CountText(long long count, const char* singular, const char* plural) {
    return FormatC("%lld %s", count, count == 1 ? singular : plural);
}

std::int64_t UtcNowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace velquor::cli
