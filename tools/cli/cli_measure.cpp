#include "cli_measure.h"

#include <nlohmann/json.hpp>

#include "cli_options.h"
#include "cli_text.h"
#include "measure/measure_options.h"
#include "measure/statistics_text.h"

namespace velquor::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A number that is not finite (no reading yet) is null in JSON.
Json Number(double v) {
    return std::isfinite(v) ? Json(v) : Json(nullptr);
}

}  // namespace

bool MeasureOptions::Any() const {
    return given > 0;
}

void AddMeasureOptions(CLI::App& app, MeasureOptions& options) {
    const auto counted = [&options](const char* name) {
        return [&options, name](const std::string& value) {
            ++options.given;
            if (value.empty() && options.texts.emptyOption.empty())
                options.texts.emptyOption = name;
        };
    };
    app.add_option("--average", options.texts.average,
                   "Average N readings in linear power, 1 (off) to 1024")
        ->type_name("N")
        ->each(counted("--average"));
    app.add_option("--unit", options.texts.unit, "Show the power in dBm (default), W, dBuV or V")
        ->type_name("dbm|w|dbuv|v")
        ->each(counted("--unit"));
    app.add_option("--offset", options.texts.offset,
                   "Add DB (-100 to 100) to every reading first, for an attenuator or amplifier")
        ->type_name("DB")
        ->each(counted("--offset"));
    app.add_option("--relative", options.texts.relative, "Show dB relative to DBM")
        ->type_name("DBM")
        ->each(counted("--relative"));
    app.add_option("--upper", options.texts.upper, "Fail a value above DBM")
        ->type_name("DBM")
        ->each(counted("--upper"));
    app.add_option("--lower", options.texts.lower, "Fail a value below DBM")
        ->type_name("DBM")
        ->each(counted("--lower"));
}

bool BuildMeasureSettings(const MeasureOptions& options, measure::MeasureSettings& settings,
                          std::string& error) {
    return measure::BuildMeasureSettings(options.texts, settings, error);
}

std::string MeasuredText(const measure::MeasurePipeline& pipeline) {
    std::string text = pipeline.OutputText();
    const measure::LimitState limit = pipeline.Last().limit;
    if (limit == measure::LimitState::Pass)
        text += "  pass";
    else if (measure::Failed(limit))
        text += "  fail";
    return text;
}

std::string LimitFailureText(const measure::MeasurePipeline& pipeline) {
    return pipeline.OutputText() + " is " +
           measure::DescribeFailure(pipeline.Last().limit, pipeline.Settings().limits);
}

std::string MeasuredJson(const measure::MeasurePipeline& pipeline, const std::string& meter,
                         std::int64_t utc_us) {
    const char* word = measure::LimitWord(pipeline.Last().limit);
    const Json value = {
        {"meter", meter},
        {"time", IsoUtcText(utc_us)},
        {"value", Number(pipeline.OutputValue())},
        {"unit", pipeline.OutputUnit()},
        {"power_dbm", Number(pipeline.Last().average_dbm)},
        {"limit", *word ? Json(word) : Json(nullptr)},
    };
    return Dump(value);
}

std::string StatisticsText(const measure::MeasurePipeline& pipeline, const std::string& meter,
                           bool named) {
    std::string text = named ? "Statistics of " + PrintableText(meter) + ":\n" : "";
    for (const auto& line : measure::DescribeStatistics(pipeline.Statistics(), pipeline.Failures(),
                                                        pipeline.Settings().limits.Any())) {
        std::string label = line.label + ":";
        label.resize(std::max<std::size_t>(label.size() + 1, 11), ' ');
        text += label + line.value + "\n";
    }
    return text;
}

std::string StatisticsJson(const measure::MeasurePipeline& pipeline, const std::string& meter) {
    const measure::StatisticsSnapshot s = pipeline.Statistics();
    const bool any = s.count > 0;
    const Json stats = {
        {"meter", meter},
        {"event", "statistics"},
        {"count", s.count},
        {"min_dbm", any ? Number(s.min_dbm) : Json(nullptr)},
        {"max_dbm", any ? Number(s.max_dbm) : Json(nullptr)},
        {"mean_dbm", any ? Number(s.mean_dbm) : Json(nullptr)},
        {"stddev_db", any ? Number(s.stddev_db) : Json(nullptr)},
        {"elapsed_s", s.elapsed_s},
        {"failures",
         pipeline.Settings().limits.Any() ? Json(pipeline.Failures().Total()) : Json(nullptr)},
        {"invalid", s.invalid},
    };
    return Dump(stats);
}

}  // namespace velquor::cli
