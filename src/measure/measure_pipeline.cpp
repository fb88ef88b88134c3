#include "measure/measure_pipeline.h"

namespace velquor::measure {

bool MeasurePipeline::Apply(const MeasureSettings& settings, std::string& error) {
    if (!ValidateSettings(settings, error))
        return false;
    const bool new_offset = settings.offset_db != settings_.offset_db;
    const bool restart = settings.average_count != settings_.average_count || new_offset;
    const bool hold_starts = settings.max_hold && !settings_.max_hold;
    settings_ = settings;
    if (restart) {
        average_.SetCount(settings.average_count);
        RestartAverage();
    }
    if (new_offset) {
        // Everything gathered so far is on the old scale.
        statistics_.Reset();
        failures_ = {};
        has_held_ = false;
    }
    if (hold_starts)
        has_held_ = false;
    Rederive();
    return true;
}

void MeasurePipeline::Rederive() {
    if (!has_reading_)
        return;
    last_.shown_dbm = settings_.max_hold && has_held_ ? held_max_dbm_ : last_.average_dbm;
    last_.relative_db = last_.shown_dbm - settings_.reference_dbm;
    last_.limit = EvaluateLimits(settings_.limits, last_.average_dbm);
}

bool MeasurePipeline::SetAverageCount(long long count, std::string& error) {
    if (!CheckAverageCount(count, error))
        return false;
    MeasureSettings s = settings_;
    s.average_count = static_cast<int>(count);
    return Apply(s, error);
}

bool MeasurePipeline::SetOffset(double db, std::string& error) {
    MeasureSettings s = settings_;
    s.offset_db = db;
    return Apply(s, error);
}

bool MeasurePipeline::SetReference(double dbm, std::string& error) {
    MeasureSettings s = settings_;
    s.reference_dbm = dbm;
    return Apply(s, error);
}

bool MeasurePipeline::SetLimits(const UserLimits& limits, std::string& error) {
    MeasureSettings s = settings_;
    s.limits = limits;
    return Apply(s, error);
}

void MeasurePipeline::SetRelative(bool on) {
    settings_.relative = on;
}

void MeasurePipeline::SetMaxHold(bool on) {
    if (on && !settings_.max_hold)
        has_held_ = false;
    settings_.max_hold = on;
    Rederive();
}

bool MeasurePipeline::TakeReference(std::string& error) {
    if (!has_reading_) {
        error = "There is no reading yet to take as the reference";
        return false;
    }
    MeasureSettings s = settings_;
    s.reference_dbm = last_.average_dbm;
    s.relative = true;
    return Apply(s, error);
}

double MeasurePipeline::OutputValue() const {
    if (settings_.relative)
        return last_.relative_db;
    return DbmToUnit(last_.shown_dbm, settings_.unit);
}

const char* MeasurePipeline::OutputUnit() const {
    return settings_.relative ? "dB" : UnitName(settings_.unit);
}

std::string MeasurePipeline::OutputText() const {
    if (settings_.relative)
        return FormatRelative(last_.relative_db);
    return FormatPower(last_.shown_dbm, settings_.unit);
}

void MeasurePipeline::ResetStatistics() {
    statistics_.Reset();
    failures_ = {};
    has_held_ = false;
    Rederive();
}

void MeasurePipeline::RestartAverage() {
    average_.Restart();
    has_reading_ = false;
    latest_taken_ = false;
    last_ = {};
}

}  // namespace velquor::measure
