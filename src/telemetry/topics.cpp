#include "telemetry/topics.h"

#include <cstdint>
#include <set>

namespace velquor::telemetry {

namespace {

bool SafeChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not valid
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

std::string SafeTopicLevel(std::string_view name) {
    std::string level;
    level.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (SafeChar(c)) {
            level += static_cast<char>(c);
            ++i;
            continue;
        }
        // One '_' per character, not per byte, so "Prüfstand" stays readable.
        const std::size_t n = Utf8SequenceLength(name, i);
        level += '_';
        i += n == 0 ? 1 : n;
    }
    return level;
}

std::string MeterTopicLevel(std::string_view meter_name) {
    std::string_view name = meter_name;
    while (!name.empty() && name.back() == '/')
        name.remove_suffix(1);
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    std::string level = SafeTopicLevel(name);
    return level.empty() ? "meter" : level;
}

std::vector<std::string> UniqueMeterTopicLevels(const std::vector<std::string>& meter_names) {
    std::vector<std::string> levels;
    std::set<std::string> taken;
    levels.reserve(meter_names.size());
    for (const auto& name : meter_names) {
        const std::string base = MeterTopicLevel(name);
        std::string level = base;
        for (int n = 2; taken.count(level) != 0; ++n)
            level = base + "-" + std::to_string(n);
        taken.insert(level);
        levels.push_back(level);
    }
    return levels;
}

std::optional<std::string> CheckStandName(std::string_view stand) {
    if (stand.empty())
        return "the stand name is empty";
    if (SafeTopicLevel(stand) != stand)
        return "the stand name may hold only letters, digits, '-', '_' and '.'";
    return std::nullopt;
}

std::optional<std::string> CheckTopicPrefix(std::string_view prefix) {
    if (prefix.empty())
        return "the topic prefix is empty";
    if (prefix.front() == '$')
        return "the topic prefix may not start with '$' (the broker's own topics)";
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != prefix.npos)
        return "the topic prefix has an empty level (a '/' at either end or '//')";
    for (std::size_t i = 0; i < prefix.size();) {
        const unsigned char c = static_cast<unsigned char>(prefix[i]);
        if (c == '+' || c == '#')
            return "the topic prefix may not hold the wildcards '+' or '#'";
        if (c < 0x20 || c == 0x7F)
            return "the topic prefix may not hold control characters";
        const std::size_t n = Utf8SequenceLength(prefix, i);
        if (n == 0)
            return "the topic prefix is not valid UTF-8";
        i += n;
    }
    return std::nullopt;
}

StandTopics MakeStandTopics(std::string_view prefix, std::string_view stand_level,
                            const std::vector<std::string>& meter_levels) {
    const std::string base = std::string(prefix) + "/" + std::string(stand_level) + "/";
    StandTopics topics;
    topics.status = base + "status";
    for (const auto& level : meter_levels) {
        MeterTopics m;
        m.level = level;
        m.status = base + level + "/status";
        m.power = base + level + "/power";
        m.summary = base + level + "/summary";
        topics.meters.push_back(std::move(m));
    }
    return topics;
}

}  // namespace velquor::telemetry
