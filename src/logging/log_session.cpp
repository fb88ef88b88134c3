#include "logging/log_session.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "logging/log_messages.h"

namespace velquor {

LogSessionResult RunLogSession(ILogSource& source, const LogSettings& settings,
                               std::optional<std::chrono::milliseconds> duration,
                               const std::function<bool()>& cancelled, ILogClock* clock) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kCancelCheck = std::chrono::milliseconds(100);
    std::mutex lock;
    std::condition_variable ended;
    std::optional<LogResult> finished;

    CLogger logger(source, clock);
    LogSessionResult session;
    session.start = logger.Start(settings, [&](const LogResult& result) {
        std::lock_guard guard(lock);
        finished = result;
        ended.notify_all();
    });
    if (session.start.status != LogStart::Started)
        return session;

    const auto deadline = duration ? Clock::now() + *duration : Clock::time_point::max();
    {
        std::unique_lock guard(lock);
        while (!finished) {
            if (cancelled && cancelled())
                break;
            const auto now = Clock::now();
            if (now >= deadline)
                break;
            ended.wait_for(guard, std::min<Clock::duration>(deadline - now, kCancelCheck));
        }
    }
    // Joins the thread; its callback has run by then.
    logger.Stop();
    std::lock_guard guard(lock);
    if (finished)
        session.result = *finished;
    return session;
}

std::optional<char> ParseDelimiterOption(std::string_view text) {
    if (text == "tab")
        return '\t';
    if (text == "semicolon")
        return ';';
    if (text == "comma")
        return ',';
    if (text == "space")
        return ' ';
    // A line break would split rows; anything else printable is the user's choice.
    if (text.size() == 1 && text[0] != '\r' && text[0] != '\n' && text[0] != '\0')
        return text[0];
    return std::nullopt;
}

std::string DescribeLogFailure(const LogSettings& settings, const LogSessionResult& session) {
    switch (session.start.status) {
        case LogStart::AlreadyRunning:
            return AlreadyLoggingMessage(settings.path);
        case LogStart::OpenFailed:
            return OpenErrorMessage(settings.path) + " (" + session.start.error + ")";
        case LogStart::WriteFailed:
            return WriteErrorMessage(settings.path, session.start.error);
        case LogStart::Started:
            break;
    }
    if (session.result.end == LogEnd::WriteFailed)
        return WriteErrorMessage(settings.path, session.result.error);
    return {};
}

}  // namespace velquor
