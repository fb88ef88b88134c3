#include "meter/number_format.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "meter/platform_io.h"

namespace velquor {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Longest prefix strtod would take, copied so the input need not be terminated.
std::optional<double> ParseDoubleAt(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    // A number is at most a few hundred characters; cap the copy.
    const std::string chunk(text.substr(pos, 512));
    char* end = nullptr;
    const double value = platform::StrtodC(chunk.c_str(), &end);
    if (end == chunk.c_str())
        return std::nullopt;
    // Reject infinities and NaN spelled out: the meter and the user only ever mean numbers.
    const char first = chunk[0] == '+' || chunk[0] == '-' ? chunk[1] : chunk[0];
    if (!(first == '.' || (first >= '0' && first <= '9')))
        return std::nullopt;
    pos += static_cast<std::size_t>(end - chunk.c_str());
    return value;
}

std::optional<long long> ParseIntAt(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    const std::string chunk(text.substr(pos, 64));
    char* end = nullptr;
    errno = 0;
    long long value = strtoll(chunk.c_str(), &end, 10);
    if (end == chunk.c_str())
        return std::nullopt;
    pos += static_cast<std::size_t>(end - chunk.c_str());
    // Skip any further digits of a number too long for the copy.
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        ++pos;
    return value;
}

}  // namespace

std::string FormatC(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = platform::VsnprintfC(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        out.resize(static_cast<std::size_t>(needed) + 1);
        platform::VsnprintfC(out.data(), out.size(), format, args);
        out.resize(static_cast<std::size_t>(needed));
    }
    va_end(args);
    return out;
}

std::optional<double> ParseLeadingDouble(std::string_view text) {
    std::size_t pos = 0;
    return ParseDoubleAt(text, pos);
}

std::optional<long long> ParseLeadingInt(std::string_view text) {
    std::size_t pos = 0;
    return ParseIntAt(text, pos);
}

std::optional<double> ParseWholeDouble(std::string_view text) {
    std::size_t pos = 0;
    const auto value = ParseDoubleAt(text, pos);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    if (pos != text.size())
        return std::nullopt;
    return value;
}

namespace {

std::string RangeText(const NumberField& field) {
    const char* fmt = field.whole ? "%.0f" : "%g";
    std::string text = "enter " + std::string(field.whole ? "a whole number " : "a number ") +
                       "from " + FormatC(fmt, field.min) + " to " + FormatC(fmt, field.max);
    if (field.unit != nullptr && *field.unit != 0)
        text += std::string(" ") + field.unit;
    return text;
}

}  // namespace

std::optional<double> ParseUserNumber(std::string_view text, const NumberField& field,
                                      std::string& error) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    std::string body(text.substr(begin, end - begin));
    // Plain decimal only: sign, digits, one decimal point (or comma), optional exponent.
    bool ok = !body.empty() && body.size() <= 64;
    bool digits = false, point = false, exponent = false;
    for (std::size_t i = 0; ok && i < body.size(); ++i) {
        char& ch = body[i];
        if (ch >= '0' && ch <= '9') {
            digits = true;
        } else if ((ch == '+' || ch == '-') &&
                   (i == 0 || body[i - 1] == 'e' || body[i - 1] == 'E')) {
        } else if ((ch == '.' || ch == ',') && !point && !exponent) {
            point = true;
            ch = '.';
        } else if ((ch == 'e' || ch == 'E') && digits && !exponent && !field.whole) {
            exponent = true;
            digits = false;
        } else {
            ok = false;
        }
    }
    ok = ok && digits;
    std::optional<double> value;
    if (ok)
        value = ParseWholeDouble(body);
    if (!value) {
        error = std::string(field.name) + ": \"" + std::string(text) + "\" is not a number; " +
                RangeText(field);
        return std::nullopt;
    }
    if (field.whole && (point || *value != std::floor(*value))) {
        error = std::string(field.name) + ": \"" + std::string(text) +
                "\" is not a whole number; " + RangeText(field);
        return std::nullopt;
    }
    if (*value < field.min || *value > field.max) {
        error = std::string(field.name) + ": " + std::string(body) + " is out of range; " +
                RangeText(field);
        return std::nullopt;
    }
    return value;
}

int ScanNumbers(std::string_view text, std::string_view kinds, std::vector<double>& values) {
    if (values.size() < kinds.size())
        values.resize(kinds.size(), 0.0);
    std::size_t pos = 0;
    int read = 0;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        if (kinds[k] == 'd') {
            const auto v = ParseIntAt(text, pos);
            if (!v)
                break;
            // scanf's %d stores into an int; keep the value an int would hold.
            long long clamped = *v;
            if (clamped > std::numeric_limits<int>::max())
                clamped = std::numeric_limits<int>::max();
            if (clamped < std::numeric_limits<int>::min())
                clamped = std::numeric_limits<int>::min();
            values[k] = static_cast<double>(clamped);
        } else {
            const auto v = ParseDoubleAt(text, pos);
            if (!v)
                break;
            // %f reads single precision; keep the value a float would hold.
            double d = *v;
            const double fmax = std::numeric_limits<float>::max();
            if (d > fmax)
                d = fmax;
            if (d < -fmax)
                d = -fmax;
            values[k] = static_cast<double>(static_cast<float>(d));
        }
        ++read;
    }
    return read;
}

namespace {

std::string OptionRangeText(const NumberField& field) {
    const std::string unit = field.unit && *field.unit ? std::string(" ") + field.unit : "";
    return std::string("enter ") + (field.whole ? "a whole number" : "a number") + " from " +
           FormatC("%.10g", field.min) + " to " + FormatC("%.10g", field.max) + unit;
}

}  // namespace

std::optional<double> ParseOptionNumber(std::string_view text, const NumberField& field,
                                        std::string& error) {
    std::string reason;
    if (const auto value = ParseUserNumber(text, field, reason))
        return value;
    // The library's own message formats large ranges in exponent notation; the
    // option's message names the range as the user would type it.
    NumberField any = field;
    any.min = -std::numeric_limits<double>::max();
    any.max = std::numeric_limits<double>::max();
    std::string ignored;
    const auto unbounded = ParseUserNumber(text, any, ignored);
    if (unbounded)
        error = std::string(field.name) + ": " + FormatC("%.10g", *unbounded) +
                " is out of range; " + OptionRangeText(field);
    else
        error = std::string(field.name) + ": \"" + std::string(text) + "\" is not " +
                (field.whole ? "a whole number; " : "a number; ") + OptionRangeText(field);
    return std::nullopt;
}

}  // namespace velquor
