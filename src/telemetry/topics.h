#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::telemetry {

// A name made safe as one MQTT topic level: every byte outside letters, digits,
// '-', '_' and '.' becomes '_', so no '/', '+', '#', control character, space or
// broken UTF-8 reaches a topic, and subscribers can use it in shell commands and
// Telegraf topic patterns as it stands. Empty when nothing is left.
std::string SafeTopicLevel(std::string_view name);

// A meter's topic level: a device path keeps only its last component
// (/dev/ttyUSB0 -> ttyUSB0), then SafeTopicLevel; "meter" when nothing is left.
std::string MeterTopicLevel(std::string_view meter_name);

// Topic levels for all meters of one stand, in the same order, never two alike:
// a level that is taken gets "-2", "-3", ... appended.
std::vector<std::string> UniqueMeterTopicLevels(const std::vector<std::string>& meter_names);

// Why a stand name the user typed cannot be a topic level, or nothing when it can.
std::optional<std::string> CheckStandName(std::string_view stand);

// Why a topic prefix cannot be used, or nothing when it can: levels separated by
// '/', none empty, no wildcard, no control character, valid UTF-8, not starting
// with '$' (the broker's own topics).
std::optional<std::string> CheckTopicPrefix(std::string_view prefix);

struct MeterTopics {
    std::string level;
    std::string status;   // retained: identity, setup, connected
    std::string power;    // every reading, batched per interval
    std::string summary;  // retained: last, min, max, mean over the last second
};

struct StandTopics {
    std::string status;  // retained: online, offline, or lost (the broker's Last Will)
    std::vector<MeterTopics> meters;
};

// prefix/stand/status and prefix/stand/<meter>/{status,power,summary}.
StandTopics MakeStandTopics(std::string_view prefix, std::string_view stand_level,
                            const std::vector<std::string>& meter_levels);

}  // namespace velquor::telemetry
