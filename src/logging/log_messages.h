#pragma once

#include <string>

namespace velquor {

// The logger's user-facing texts. Message boxes without a caption of their own use
// kAppTitle (meter/prompt.h).
inline constexpr const char* kMsgNotConnected = "No Orvane Connected!";
inline constexpr const char* kMsgPeriodTooShort = "Time period to save data is too short!";
inline constexpr const char* kMsgPeriodTooLong = "Time period to save data is too long!";
inline constexpr const char* kMsgPeriodNotANumber =
    "The file save rate is not a number! Enter 1.0 to 3600.0 seconds.";
inline constexpr const char* kCaptionFileOpenError = "File open error";
inline constexpr const char* kCaptionFileWriteError = "File write error";

// "Error opening file %s." with the path.
std::string OpenErrorMessage(const std::string& path);

// Names the file and the system's reason, and says that logging has stopped.
std::string WriteErrorMessage(const std::string& path, const std::string& error);

// Shown when a start is refused because a logger is still writing to path.
std::string AlreadyLoggingMessage(const std::string& path);

}  // namespace velquor
