#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor {

// printf-style formatting that always uses '.' as the decimal point, whatever
// locale the process (or Qt) has adopted.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The leading number of a text as "%f" / "%d" would read it (leading blanks
// skipped, '.' decimal point), or nothing when the text does not start with one.
std::optional<double> ParseLeadingDouble(std::string_view text);
std::optional<long long> ParseLeadingInt(std::string_view text);
// The number when the whole text (blanks around it aside) is one finite number.
std::optional<double> ParseWholeDouble(std::string_view text);

// How a number the user types is checked: the field's name for messages, the
// accepted range, and whether only whole numbers are allowed.
struct NumberField {
    const char* name;
    double min;
    double max;
    bool whole = false;
    const char* unit = "";
};

// A number typed by the user: the whole text must be one decimal number (blanks
// around it allowed). A comma is accepted as the decimal point, since many of our
// users type it that way; hexadecimal, exponents in whole fields, trailing text,
// infinities and NaN are refused. On refusal, error names the field and the range.
std::optional<double> ParseUserNumber(std::string_view text, const NumberField& field,
                                      std::string& error);

// A number given on a command line: as ParseUserNumber, with a message that names the
// option and its range as the user would type it ("--offset: 300 is out of range;
// enter a number from -100 to 100 dB").
std::optional<double> ParseOptionNumber(std::string_view text, const NumberField& field,
                                        std::string& error);

// Reads numbers in the order a scanf format of %d and %f conversions separated by
// blanks would ("dddfd" for "%d %d %d %f %d"), stopping at the first that does not
// parse. Returns how many were read; unread values are left as they were.
int ScanNumbers(std::string_view text, std::string_view kinds, std::vector<double>& values);

}  // namespace velquor
