#include "remote/scpi_values.h"

#include <charconv>
#include <cmath>

#include "remote/scpi_error.h"

namespace velquor::remote {

namespace {

bool UnitToFactor(UnitKind kind, std::string_view suffix, double& factor, bool& watts) {
    watts = false;
    factor = 1.0;
    switch (kind) {
        case UnitKind::None:
            return false;
        case UnitKind::Frequency:
            if (suffix == "HZ")
                return true;
            if (suffix == "KHZ") {
                factor = 1e3;
                return true;
            }
            // By SCPI convention MHZ is megahertz, not millihertz.
            if (suffix == "MHZ" || suffix == "MAHZ") {
                factor = 1e6;
                return true;
            }
            if (suffix == "GHZ") {
                factor = 1e9;
                return true;
            }
            return false;
        case UnitKind::Ratio:
            return suffix == "DB";
        case UnitKind::Level:
            if (suffix == "DBM")
                return true;
            watts = true;
            if (suffix == "W")
                return true;
            if (suffix == "MW") {
                factor = 1e-3;
                return true;
            }
            if (suffix == "UW") {
                factor = 1e-6;
                return true;
            }
            if (suffix == "NW") {
                factor = 1e-9;
                return true;
            }
            return false;
    }
    return false;
}

Converted Fail(int code, std::string_view detail = {}) {
    return Converted{code, std::string(detail)};
}

Converted WrongKind(const Parameter& param) {
    switch (param.kind) {
        case ParamKind::String:
            return Fail(err::kStringNotAllowed);
        case ParamKind::Block:
            return Fail(err::kBlockNotAllowed);
        case ParamKind::Expression:
            return Fail(err::kExpressionNotAllowed);
        case ParamKind::Character:
            return Fail(err::kCharacterDataNotAllowed, param.text);
        default:
            return Fail(err::kNumericNotAllowed);
    }
}

}  // namespace

bool MnemonicIs(std::string_view typed, std::string_view word) {
    std::size_t shortLength = 0;
    while (shortLength < word.size() && !(word[shortLength] >= 'a' && word[shortLength] <= 'z'))
        ++shortLength;
    if (typed.size() == shortLength)
        return typed == word.substr(0, shortLength);
    if (typed.size() != word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char w = word[i];
        const char up = (w >= 'a' && w <= 'z') ? static_cast<char>(w - 'a' + 'A') : w;
        if (typed[i] != up)
            return false;
    }
    return true;
}

void AppendNr3(std::string& out, double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 9.9e37) {
        out += kNotANumber;
        return;
    }
    // No "-0.000000E+00": a client comparing texts would take it for another value.
    if (value == 0.0)
        value = 0.0;
    char buffer[32];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 6);
    for (char* p = buffer; p != r.ptr; ++p)
        out += *p == 'e' ? 'E' : *p;
}

std::string FormatNr3(double value) {
    std::string out;
    AppendNr3(out, value);
    return out;
}

std::string FormatNr1(long long value) {
    return std::to_string(value);
}

std::string FormatString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"')
            out += "\"\"";
        else
            out += (u < 0x20 || u > 0x7E) ? '?' : c;
    }
    out += '"';
    return out;
}

Converted ToBound(const Parameter& param, Bound& bound) {
    if (param.kind != ParamKind::Character)
        return WrongKind(param);
    if (MnemonicIs(param.text, "MINimum"))
        bound = Bound::Min;
    else if (MnemonicIs(param.text, "MAXimum"))
        bound = Bound::Max;
    else if (MnemonicIs(param.text, "DEFault"))
        bound = Bound::Def;
    else
        return Fail(err::kIllegalParameterValue, param.text);
    return {};
}

Converted ToNumber(const Parameter& param, const NumericBounds& bounds, double& value) {
    double v = 0.0;
    if (param.kind == ParamKind::Character) {
        Bound bound;
        Converted c = ToBound(param, bound);
        if (c.error != 0)
            return c;
        if (bound == Bound::Def && !bounds.def)
            return Fail(err::kIllegalParameterValue, "no default");
        value = bound == Bound::Min ? bounds.min : bound == Bound::Max ? bounds.max : *bounds.def;
        return {};
    }
    if (param.kind == ParamKind::NonDecimal) {
        v = param.number;
    } else if (param.kind == ParamKind::Decimal) {
        v = param.number;
        if (!param.text.empty()) {
            if (bounds.unit == UnitKind::None)
                return Fail(err::kSuffixNotAllowed, param.text);
            double factor = 1.0;
            bool watts = false;
            if (!UnitToFactor(bounds.unit, param.text, factor, watts))
                return Fail(err::kInvalidSuffix, param.text);
            v *= factor;
            if (watts) {
                if (!(v > 0.0))
                    return Fail(err::kDataOutOfRange, "power in W must be above 0");
                v = 10.0 * std::log10(v * 1000.0);
            }
        }
    } else {
        return WrongKind(param);
    }
    if (bounds.whole && std::isfinite(v))
        v = std::nearbyint(v);
    if (!(v >= bounds.min && v <= bounds.max))
        return Fail(err::kDataOutOfRange);
    value = v;
    return {};
}

Converted ToBool(const Parameter& param, bool& value) {
    if (param.kind == ParamKind::Character) {
        if (param.text == "ON")
            value = true;
        else if (param.text == "OFF")
            value = false;
        else
            return Fail(err::kIllegalParameterValue, param.text);
        return {};
    }
    if (param.kind == ParamKind::Decimal || param.kind == ParamKind::NonDecimal) {
        if (!param.text.empty())
            return Fail(err::kSuffixNotAllowed, param.text);
        if (!std::isfinite(param.number))
            return Fail(err::kDataOutOfRange);
        value = std::nearbyint(param.number) != 0.0;
        return {};
    }
    return WrongKind(param);
}

bool IsChannelList(const Parameter& param) {
    if (param.kind != ParamKind::Expression)
        return false;
    const std::size_t at = param.text.find_first_not_of(" \t");
    return at != std::string::npos && param.text[at] == '@';
}

Converted ToChannelList(const Parameter& param, std::vector<int>& channels) {
    channels.clear();
    const std::string& t = param.text;
    std::size_t i = 0;
    auto blanks = [&] {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t'))
            ++i;
    };
    auto number = [&](int& n) {
        const std::size_t start = i;
        long long v = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9' && i - start < 9)
            v = v * 10 + (t[i++] - '0');
        n = static_cast<int>(v);
        return i > start && !(i < t.size() && t[i] >= '0' && t[i] <= '9');
    };
    const Converted malformed = Fail(err::kInvalidExpression, "(" + t.substr(0, 24) + ")");
    blanks();
    if (i >= t.size() || t[i] != '@')
        return malformed;
    ++i;
    for (;;) {
        blanks();
        int first = 0;
        if (!number(first))
            return malformed;
        int last = first;
        blanks();
        if (i < t.size() && t[i] == ':') {
            ++i;
            blanks();
            if (!number(last))
                return malformed;
            blanks();
        }
        const int step = last >= first ? 1 : -1;
        for (int ch = first;; ch += step) {
            if (channels.size() >= kMaxListedChannels)
                return Fail(err::kDataOutOfRange, "more than 64 channels listed");
            channels.push_back(ch);
            if (ch == last)
                break;
        }
        if (i == t.size())
            return {};
        if (t[i] != ',')
            return malformed;
        ++i;
    }
}

Converted ToChoice(const Parameter& param, std::initializer_list<std::string_view> words,
                   int& index) {
    if (param.kind != ParamKind::Character)
        return WrongKind(param);
    int i = 0;
    for (const std::string_view w : words) {
        if (MnemonicIs(param.text, w)) {
            index = i;
            return {};
        }
        ++i;
    }
    return Fail(err::kIllegalParameterValue, param.text);
}

}  // namespace velquor::remote
