#include "measure/measure_options.h"

#include "meter/number_format.h"

namespace velquor::measure {

namespace {

constexpr NumberField kAverageField{"--average", kMinAverageCount, kMaxAverageCount, true,
                                    "readings"};
constexpr NumberField kOffsetField{"--offset", kMinOffsetDb, kMaxOffsetDb, false, "dB"};
constexpr NumberField kRelativeField{"--relative", kMinPowerDbm, kMaxPowerDbm, false, "dBm"};
constexpr NumberField kUpperField{"--upper", kMinPowerDbm, kMaxPowerDbm, false, "dBm"};
constexpr NumberField kLowerField{"--lower", kMinPowerDbm, kMaxPowerDbm, false, "dBm"};

// A typed text in a message: control bytes and the backslash escaped, so the
// message stays one line.
std::string Printable(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c == 0x7F)
            out += FormatC("\\x%02X", c);
        else
            out += ch;
    }
    return out;
}

}  // namespace

bool BuildMeasureSettings(const MeasureOptionTexts& options, MeasureSettings& settings,
                          std::string& error) {
    settings = {};
    if (!options.emptyOption.empty()) {
        error = options.emptyOption + " needs a value";
        return false;
    }
    const auto number = [&](const std::string& text, const NumberField& field,
                            auto assign) -> bool {
        if (text.empty())
            return true;
        const auto value = ParseOptionNumber(text, field, error);
        if (value)
            assign(*value);
        return value.has_value();
    };
    if (!number(options.average, kAverageField,
                [&](double v) { settings.average_count = static_cast<int>(v); }) ||
        !number(options.offset, kOffsetField, [&](double v) { settings.offset_db = v; }) ||
        !number(options.relative, kRelativeField,
                [&](double v) {
                    settings.relative = true;
                    settings.reference_dbm = v;
                }) ||
        !number(options.upper, kUpperField, [&](double v) { settings.limits.upper_dbm = v; }) ||
        !number(options.lower, kLowerField, [&](double v) { settings.limits.lower_dbm = v; }))
        return false;
    if (!options.unit.empty()) {
        const auto unit = ParsePowerUnit(options.unit);
        if (!unit) {
            error = "--unit takes dbm, w, dbuv or v, not \"" + Printable(options.unit) + "\"";
            return false;
        }
        settings.unit = *unit;
    }
    if (settings.limits.upper_dbm && settings.limits.lower_dbm &&
        *settings.limits.upper_dbm < *settings.limits.lower_dbm) {
        error = "--upper must not be below --lower";
        return false;
    }
    std::string reason;
    if (!ValidateSettings(settings, reason)) {
        error = reason;
        return false;
    }
    return true;
}

}  // namespace velquor::measure
