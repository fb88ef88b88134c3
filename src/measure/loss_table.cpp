#include "measure/loss_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace velquor::measure {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The whole field as one finite decimal number.
std::optional<double> ParseField(std::string_view field) {
    if (!field.empty() && field.front() == '+')
        field.remove_prefix(1);
    if (field.empty())
        return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc() || end != field.data() + field.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Up to two fields: split at a comma when there is one, else at blanks.
std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    if (line.find(',') != std::string_view::npos) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = line.find(',', start);
            fields.push_back(Trim(line.substr(start, comma - start)));
            if (comma == std::string_view::npos || fields.size() > 2)
                break;
            start = comma + 1;
        }
        return fields;
    }
    std::size_t i = 0;
    while (i < line.size() && fields.size() <= 2) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        std::size_t j = i;
        while (j < line.size() && !IsBlank(line[j]))
            ++j;
        if (j > i)
            fields.push_back(line.substr(i, j - i));
        i = j;
    }
    return fields;
}

// A short, printable excerpt of a line for a message.
std::string Excerpt(std::string_view line) {
    constexpr std::size_t kMax = 40;
    std::string out;
    for (std::size_t i = 0; i < line.size() && i < kMax; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    if (line.size() > kMax)
        out += "...";
    return out;
}

// Column titles: printable text with at least one letter.
bool IsHeaderText(std::string_view line) {
    const bool printable = std::all_of(line.begin(), line.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c >= 0x20 || c == '\t';
    });
    const bool letter = std::any_of(line.begin(), line.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
    return printable && letter;
}

std::string Number(double value, const char* unit) {
    char buffer[40];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 10);
    return std::string(buffer, ec == std::errc() ? end : buffer) + " " + unit;
}

std::string LinePrefix(int line) {
    return "Line " + std::to_string(line) + ": ";
}

// A decimal number read into a double, as a whole count of millionths: exact for
// up to six decimals at the magnitudes a table holds.
std::int64_t Millionths(double value) {
    return std::llround(value * 1e6);
}

}  // namespace

struct LossTableParser {
    static LossTableParse Parse(std::string_view text) {
        LossTableParse result;
        LossTable table;
        auto fail = [&](int line, std::string message) {
            result.error = (line > 0 ? LinePrefix(line) : std::string()) + message;
            result.error_line = line;
            return result;
        };
        bool content_seen = false;
        int line_number = 0;
        std::size_t pos = 0;
        while (pos < text.size()) {
            ++line_number;
            std::size_t end = text.find('\n', pos);
            if (end == std::string_view::npos)
                end = text.size();
            const std::string_view raw = text.substr(pos, end - pos);
            pos = end + 1;
            std::string_view line = raw.substr(0, raw.find('#'));
            line = Trim(line);
            if (line.empty())
                continue;
            const auto fields = SplitFields(line);
            const auto frequency = fields.size() == 2 ? ParseField(fields[0]) : std::nullopt;
            const auto loss = fields.size() == 2 ? ParseField(fields[1]) : std::nullopt;
            const bool first_content = !content_seen;
            content_seen = true;
            if (!frequency || !loss) {
                // Words on the first line are the column titles.
                if (first_content && !fields.empty() && !ParseField(fields[0]) &&
                    IsHeaderText(line))
                    continue;
                return fail(line_number, "expected a frequency in MHz and a loss in dB, found \"" +
                                             Excerpt(line) + "\"");
            }
            if (*frequency <= 0.0)
                return fail(line_number,
                            "frequency " + Number(*frequency, "MHz") + " is not above 0 MHz");
            if (*frequency > kMaxTableFrequencyMhz)
                return fail(line_number, "frequency " + Number(*frequency, "MHz") + " is above " +
                                             Number(kMaxTableFrequencyMhz, "MHz"));
            if (*loss < kMinTableLossDb || *loss > kMaxTableLossDb)
                return fail(line_number, "loss " + Number(*loss, "dB") +
                                             " is outside what the meter stores, 0.0 to 25.5 dB");
            // Compared in whole hertz, as the interpolation counts.
            if (!table.points_.empty() &&
                Millionths(*frequency) <= Millionths(table.points_.back().frequency_mhz)) {
                const LossPoint& previous = table.points_.back();
                return fail(line_number,
                            "frequency " + Number(*frequency, "MHz") + " is not above " +
                                Number(previous.frequency_mhz, "MHz") + " on line " +
                                std::to_string(previous.line) + "; the frequencies must increase");
            }
            if (table.points_.size() == kMaxLossTablePoints)
                return fail(line_number, "the table has more than " +
                                             std::to_string(kMaxLossTablePoints) + " points");
            table.points_.push_back({*frequency, *loss, line_number});
        }
        if (table.points_.size() < 2) {
            return fail(0, table.points_.empty()
                               ? "The loss table has no points; it needs at least two"
                               : "The loss table has only one point; it needs at least two");
        }
        result.table = std::move(table);
        return result;
    }
};

LossTableParse ParseLossTable(std::string_view text) {
    // Spreadsheets save "CSV UTF-8" with a byte-order mark in front.
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        text.remove_prefix(kUtf8Bom.size());
    // UTF-16 would otherwise be refused as a line of question marks.
    if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
        LossTableParse result;
        result.error = "The loss table is UTF-16 text; save it as CSV or CSV UTF-8";
        return result;
    }
    return LossTableParser::Parse(text);
}

const LossPoint* LossTable::UpperPoint(double frequency_mhz, std::string& error) const {
    if (points_.size() < 2 || !std::isfinite(frequency_mhz)) {
        error = "No loss for this frequency";
        return nullptr;
    }
    const LossPoint& first = points_.front();
    const LossPoint& last = points_.back();
    if (frequency_mhz < first.frequency_mhz || frequency_mhz > last.frequency_mhz) {
        const bool below = frequency_mhz < first.frequency_mhz;
        const LossPoint& edge = below ? first : last;
        error = "Frequency " + Number(frequency_mhz, "MHz") + " is " +
                (below ? "below the loss table's first point, "
                       : "above the loss table's last point, ") +
                Number(edge.frequency_mhz, "MHz") + " (line " + std::to_string(edge.line) + ")";
        return nullptr;
    }
    return &*std::lower_bound(points_.begin(), points_.end(), frequency_mhz,
                              [](const LossPoint& p, double f) { return p.frequency_mhz < f; });
}

std::optional<double> LossTable::LossAt(double frequency_mhz, std::string& error) const {
    const LossPoint* upper = UpperPoint(frequency_mhz, error);
    if (upper == nullptr)
        return std::nullopt;
    if (upper->frequency_mhz == frequency_mhz)
        return upper->loss_db;
    const LossPoint& a = *(upper - 1);
    const LossPoint& b = *upper;
    const double t = (frequency_mhz - a.frequency_mhz) / (b.frequency_mhz - a.frequency_mhz);
    return a.loss_db + t * (b.loss_db - a.loss_db);
}

std::optional<int> LossTable::LossTenthsAt(double frequency_mhz, std::string& error) const {
    const LossPoint* upper = UpperPoint(frequency_mhz, error);
    if (upper == nullptr)
        return std::nullopt;
    const LossPoint& a = upper == &points_.front() ? *upper : *(upper - 1);
    const LossPoint& b = *upper;
    // Hertz and micro-dB: the loss is la + (f - fa) (lb - la) / (fb - fa), a fraction
    // whose remainder says exactly whether it lies above, at or below a half tenth.
    using Wide = __int128;
    const Wide fa = Millionths(a.frequency_mhz);
    const Wide span = Millionths(b.frequency_mhz) - fa;
    const Wide la = Millionths(a.loss_db);
    const Wide numerator =
        span == 0 ? la
                  : la * span + (Millionths(frequency_mhz) - fa) * (Millionths(b.loss_db) - la);
    const Wide denominator = (span == 0 ? 1 : span) * 100000;  // micro-dB in a tenth
    Wide tenths = numerator / denominator;
    if (2 * (numerator % denominator) > denominator)
        ++tenths;
    return static_cast<int>(tenths);
}

}  // namespace velquor::measure
