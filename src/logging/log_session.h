#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "logging/log_clock.h"
#include "logging/log_source.h"
#include "logging/logger.h"

namespace velquor {

struct LogSessionResult {
    LogStartResult start;
    LogResult result;  // valid when start.status is Started
};

// Logs source to a file on the calling thread's behalf: starts a CLogger and
// returns when it ends on its own (disconnect, write error), when duration has
// passed, or when cancelled() turns true (checked every 100 ms; may be empty).
// Without a duration it runs until the source disconnects or cancelled().
LogSessionResult RunLogSession(ILogSource& source, const LogSettings& settings,
                               std::optional<std::chrono::milliseconds> duration,
                               const std::function<bool()>& cancelled = {},
                               ILogClock* clock = nullptr);

// "tab", "semicolon", "comma", "space" or a single character; nothing otherwise.
std::optional<char> ParseDelimiterOption(std::string_view text);

// One line for the user when the session failed, empty when it did not.
std::string DescribeLogFailure(const LogSettings& settings, const LogSessionResult& session);

}  // namespace velquor
