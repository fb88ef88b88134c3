#include "display/measure_readout.h"

#include "meter/number_format.h"

namespace velquor {

namespace {

using measure::MeasureSettings;
using measure::PowerUnit;

std::string Caption(const MeasureSettings& s) {
    std::string caption;
    const auto add = [&caption](const std::string& part) {
        caption += caption.empty() ? part : "  " + part;
    };
    if (s.relative)
        add("REL");
    if (s.average_count > 1)
        add(FormatC("AVG %d", s.average_count));
    if (s.offset_db != 0.0)
        add(FormatC("OFS %+.1f", s.offset_db));
    if (s.max_hold)
        add("MAX");
    return caption;
}

// The Watt readout's own formats, without its range test: an offset may take the
// power past what the sensor itself reads.
std::string WattText(double dbm) {
    const double watt = measure::DbmToUnit(dbm, PowerUnit::Watt);
    return watt >= 1.0 ? FormatC("%2.2f", watt) : FormatC("%1.3f", watt);
}

}  // namespace

bool MeasureIsPlain(const MeasureSettings& s) {
    return s.average_count == 1 && s.offset_db == 0.0 && !s.relative && !s.max_hold &&
           !s.limits.Any() && s.unit == PowerUnit::Dbm;
}

void ApplyMeasureReadouts(MeasurementPanelContent& content, MeasurementDisplayState& state,
                          bool connected, const measure::MeasurePipeline& pipeline) {
    const MeasureSettings& s = pipeline.Settings();
    if (MeasureIsPlain(s))
        return;
    const measure::MeasureResult& r = pipeline.Last();
    // The sensor's own range decides whether there is a number to show at all.
    const bool valid = connected && pipeline.HasReading() && PowerShownAsNumber(r.input_dbm);

    ReadoutMarks& marks = content.marks;
    marks.caption = Caption(s);
    const int decimals = s.average_count > 1 ? 2 : 1;
    measure::PowerText primary;
    if (s.relative)
        primary = measure::FormatRelativeParts(r.relative_db, decimals);
    else
        primary = measure::FormatPowerParts(r.shown_dbm, s.unit, decimals);
    marks.unit = primary.unit;
    marks.lampRow = s.relative || s.unit != PowerUnit::Dbm || s.limits.Any();
    if (!valid) {
        content.dbmText = kPowerPlaceholder;
        content.wattText = kPowerPlaceholder;
        if (s.unit != PowerUnit::Dbm && !s.relative)
            marks.unit = measure::UnitName(s.unit);
        return;
    }
    state.m_dShownPower = r.shown_dbm;
    content.dbmText = primary.number;
    content.wattText = WattText(r.shown_dbm);
    switch (r.limit) {
        case measure::LimitState::Off:
            break;
        case measure::LimitState::Pass:
            marks.state = "PASS";
            break;
        case measure::LimitState::FailUpper:
            marks.state = "HIGH";
            marks.failed = true;
            break;
        case measure::LimitState::FailLower:
            marks.state = "LOW";
            marks.failed = true;
            break;
    }
}

}  // namespace velquor
