#include "remote/scpi_parser.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>

#include "remote/scpi_error.h"

namespace velquor::remote {

namespace {

bool IsAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The longest excerpt of what a client typed that goes into an error detail.
constexpr std::size_t kDetailChars = 24;

ParseError Fail(int code, std::string_view detail = {}) {
    return ParseError{code, std::string(detail.substr(0, kDetailChars))};
}

constexpr int kMaxExponent = 32000;
constexpr std::size_t kMaxDigits = 255;

}  // namespace

void MessageParser::SkipBlanks() {
    while (!AtEnd() && IsScpiBlank(line_[pos_]))
        ++pos_;
}

MessageParser::Step MessageParser::Next(ProgramUnit& unit, ParseError& error) {
    unit.common = unit.absolute = unit.query = false;
    unit.nodes.clear();
    unit.params.clear();
    unit.header.clear();
    // Empty units (";;", a trailing ';') are passed over.
    for (;;) {
        SkipBlanks();
        if (AtEnd())
            return Step::End;
        if (Peek() != ';')
            break;
        ++pos_;
    }
    if (!ParseHeader(unit, error))
        return Step::Error;
    const bool blank = !AtEnd() && IsScpiBlank(Peek());
    SkipBlanks();
    if (!AtEnd() && Peek() != ';') {
        if (!blank) {
            error = Fail(err::kHeaderSeparator, unit.header);
            return Step::Error;
        }
        for (;;) {
            Parameter& p = unit.params.emplace_back();
            if (!ParseParameter(p, error))
                return Step::Error;
            SkipBlanks();
            if (AtEnd() || Peek() == ';')
                break;
            if (Peek() != ',') {
                error = Fail(err::kInvalidSeparator, line_.substr(pos_));
                return Step::Error;
            }
            ++pos_;
            SkipBlanks();
            if (AtEnd() || Peek() == ';' || Peek() == ',') {
                error = Fail(err::kMissingParameter, unit.header);
                return Step::Error;
            }
        }
    }
    if (!AtEnd())
        ++pos_;  // the ';'
    return Step::Unit;
}

bool MessageParser::ParseMnemonic(HeaderNode& node, ParseError& error) {
    const std::size_t start = pos_;
    if (!IsAlpha(Peek())) {
        const auto u = static_cast<unsigned char>(Peek());
        error =
            Fail(u > 0x7E || u < 0x20 ? err::kInvalidCharacter : err::kSyntax, line_.substr(start));
        return false;
    }
    while (!AtEnd() && (IsAlpha(Peek()) || IsDigit(Peek()) || Peek() == '_'))
        ++pos_;
    const std::string_view text = line_.substr(start, pos_ - start);
    if (text.size() > kMaxMnemonic) {
        error = Fail(err::kMnemonicTooLong, text);
        return false;
    }
    std::size_t digits = text.size();
    while (digits > 0 && IsDigit(text[digits - 1]))
        --digits;
    node.name.clear();
    for (std::size_t i = 0; i < digits; ++i)
        node.name += Upper(text[i]);
    node.suffix = kNoSuffix;
    if (digits < text.size()) {
        long long v = 0;
        for (std::size_t i = digits; i < text.size(); ++i)
            v = std::min<long long>(v * 10 + (text[i] - '0'), INT_MAX);
        node.suffix = static_cast<int>(v);
    }
    return true;
}

bool MessageParser::ParseHeader(ProgramUnit& unit, ParseError& error) {
    const std::size_t start = pos_;
    if (Peek() == '*') {
        ++pos_;
        HeaderNode node;
        if (!ParseMnemonic(node, error))
            return false;
        // A common header is one mnemonic; its digits are part of the name (*SRE2 is undefined).
        node.name = std::string(line_.substr(start, pos_ - start));
        for (char& c : node.name)
            c = Upper(c);
        node.suffix = kNoSuffix;
        unit.common = true;
        unit.nodes.push_back(std::move(node));
    } else {
        if (Peek() == ':') {
            unit.absolute = true;
            ++pos_;
        }
        for (;;) {
            HeaderNode& node = unit.nodes.emplace_back();
            if (!ParseMnemonic(node, error))
                return false;
            if (Peek() != ':')
                break;
            ++pos_;
        }
    }
    if (Peek() == '?') {
        unit.query = true;
        ++pos_;
    }
    unit.header = std::string(line_.substr(start, std::min(pos_ - start, kDetailChars)));
    return true;
}

bool MessageParser::ParseParameter(Parameter& param, ParseError& error) {
    const char c = Peek();
    if (IsDigit(c) || c == '+' || c == '-' || c == '.')
        return ParseDecimal(param, error);
    if (c == '#') {
        if (pos_ + 1 < line_.size() && IsDigit(line_[pos_ + 1]))
            return ParseBlock(param, error);
        return ParseNonDecimal(param, error);
    }
    if (c == '"' || c == '\'')
        return ParseString(param, error);
    if (c == '(')
        return ParseExpression(param, error);
    if (IsAlpha(c))
        return ParseCharacter(param, error);
    const auto u = static_cast<unsigned char>(c);
    error = Fail(u > 0x7E || u < 0x20 ? err::kInvalidCharacter : err::kSyntax, line_.substr(pos_));
    return false;
}

bool MessageParser::ParseDecimal(Parameter& param, ParseError& error) {
    const std::size_t start = pos_;
    std::string clean;  // sign, digits, point and exponent, ready for from_chars
    if (Peek() == '+' || Peek() == '-') {
        if (Peek() == '-')
            clean += '-';
        ++pos_;
    }
    std::size_t digits = 0;
    std::size_t significant = 0;
    std::size_t integerDigits = 0;
    bool point = false;
    while (!AtEnd() && (IsDigit(Peek()) || (Peek() == '.' && !point))) {
        if (Peek() == '.') {
            point = true;
        } else {
            ++digits;
            if (significant > 0 || Peek() != '0')
                ++significant;
            if (!point && significant > 0)
                ++integerDigits;
        }
        clean += Peek();
        ++pos_;
    }
    if (digits == 0) {
        error = Fail(err::kInvalidCharacterInNumber, line_.substr(start));
        return false;
    }
    if (significant > kMaxDigits) {
        error = Fail(err::kTooManyDigits, line_.substr(start));
        return false;
    }
    // The exponent may be set off by blanks; "E" not followed by a number is a suffix.
    long long exponent = 0;
    {
        std::size_t p = pos_;
        while (p < line_.size() && IsScpiBlank(line_[p]))
            ++p;
        if (p < line_.size() && Upper(line_[p]) == 'E') {
            std::size_t q = p + 1;
            while (q < line_.size() && IsScpiBlank(line_[q]))
                ++q;
            bool negative = false;
            if (q < line_.size() && (line_[q] == '+' || line_[q] == '-')) {
                negative = line_[q] == '-';
                ++q;
            }
            if (q < line_.size() && IsDigit(line_[q])) {
                while (q < line_.size() && IsDigit(line_[q])) {
                    exponent = std::min<long long>(exponent * 10 + (line_[q] - '0'), 1000000);
                    ++q;
                }
                if (exponent > kMaxExponent) {
                    error = Fail(err::kExponentTooLarge, line_.substr(start));
                    return false;
                }
                if (negative)
                    exponent = -exponent;
                pos_ = q;
                clean += 'e';
                clean += std::to_string(exponent);
            }
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(clean.data(), clean.data() + clean.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large becomes infinite (and fails every range check); too small is zero.
        const bool huge = static_cast<long long>(integerDigits) + exponent > 0 ||
                          (integerDigits == 0 && exponent > 0);
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
        if (!clean.empty() && clean[0] == '-')
            value = -value;
    } else if (result.ec != std::errc()) {
        error = Fail(err::kInvalidCharacterInNumber, line_.substr(start));
        return false;
    }
    param.kind = ParamKind::Decimal;
    param.number = value;
    param.text.clear();
    // A unit suffix, possibly after blanks.
    std::size_t p = pos_;
    while (p < line_.size() && IsScpiBlank(line_[p]))
        ++p;
    if (p < line_.size() && IsAlpha(line_[p])) {
        const std::size_t suffixStart = p;
        while (p < line_.size() && (IsAlpha(line_[p]) || IsDigit(line_[p])))
            ++p;
        if (p - suffixStart > kMaxMnemonic) {
            error = Fail(err::kSuffixTooLong, line_.substr(suffixStart));
            return false;
        }
        for (std::size_t i = suffixStart; i < p; ++i)
            param.text += Upper(line_[i]);
        pos_ = p;
    }
    if (!AtEnd() && !IsScpiBlank(Peek()) && Peek() != ',' && Peek() != ';') {
        error = Fail(err::kInvalidCharacterInNumber, line_.substr(start));
        return false;
    }
    return true;
}

bool MessageParser::ParseNonDecimal(Parameter& param, ParseError& error) {
    const std::size_t start = pos_;
    ++pos_;  // '#'
    int base = 0;
    switch (Upper(Peek())) {
        case 'H':
            base = 16;
            break;
        case 'Q':
            base = 8;
            break;
        case 'B':
            base = 2;
            break;
        default:
            error = Fail(err::kInvalidCharacterInNumber, line_.substr(start));
            return false;
    }
    ++pos_;
    unsigned long long value = 0;
    std::size_t count = 0;
    while (!AtEnd() && (IsAlpha(Peek()) || IsDigit(Peek()))) {
        const char c = Upper(Peek());
        const int digit = IsDigit(c) ? c - '0' : c - 'A' + 10;
        if (digit >= base) {
            error = Fail(err::kInvalidCharacterInNumber, line_.substr(start));
            return false;
        }
        if (value > (std::numeric_limits<unsigned long long>::max() >> 4)) {
            error = Fail(err::kTooManyDigits, line_.substr(start));
            return false;
        }
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        ++count;
        ++pos_;
    }
    if (count == 0) {
        error = Fail(err::kInvalidCharacterInNumber, line_.substr(start));
        return false;
    }
    param.kind = ParamKind::NonDecimal;
    param.number = static_cast<double>(value);
    param.text.clear();
    return true;
}

bool MessageParser::ParseBlock(Parameter& param, ParseError& error) {
    const std::size_t start = pos_;
    pos_ += 1;  // '#'
    const int lengthDigits = Peek() - '0';
    ++pos_;
    param.kind = ParamKind::Block;
    param.text.clear();
    if (lengthDigits == 0) {
        // An indefinite block runs to the end of the message.
        pos_ = line_.size();
        return true;
    }
    std::size_t length = 0;
    for (int i = 0; i < lengthDigits; ++i) {
        if (AtEnd() || !IsDigit(Peek())) {
            error = Fail(err::kInvalidBlock, line_.substr(start));
            return false;
        }
        length = length * 10 + static_cast<std::size_t>(Peek() - '0');
        ++pos_;
    }
    if (length > line_.size() - pos_) {
        error = Fail(err::kInvalidBlock, line_.substr(start));
        return false;
    }
    pos_ += length;
    return true;
}

bool MessageParser::ParseString(Parameter& param, ParseError& error) {
    const std::size_t start = pos_;
    const char quote = Peek();
    ++pos_;
    param.kind = ParamKind::String;
    param.text.clear();
    for (;;) {
        if (AtEnd()) {
            error = Fail(err::kInvalidString, line_.substr(start));
            return false;
        }
        const char c = line_[pos_++];
        if (c == quote) {
            if (Peek() != quote)
                return true;
            ++pos_;
        }
        param.text += c;
    }
}

bool MessageParser::ParseExpression(Parameter& param, ParseError& error) {
    const std::size_t start = pos_;
    int depth = 0;
    char quote = 0;
    while (!AtEnd()) {
        const char c = line_[pos_++];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            param.kind = ParamKind::Expression;
            param.text = std::string(line_.substr(start + 1, pos_ - start - 2));
            return true;
        }
    }
    error = Fail(err::kInvalidExpression, line_.substr(start));
    return false;
}

bool MessageParser::ParseCharacter(Parameter& param, ParseError& error) {
    const std::size_t start = pos_;
    while (!AtEnd() && (IsAlpha(Peek()) || IsDigit(Peek()) || Peek() == '_'))
        ++pos_;
    if (pos_ - start > kMaxMnemonic) {
        error = Fail(err::kCharacterDataTooLong, line_.substr(start));
        return false;
    }
    if (!AtEnd() && !IsScpiBlank(Peek()) && Peek() != ',' && Peek() != ';') {
        error = Fail(err::kInvalidCharacterData, line_.substr(start));
        return false;
    }
    param.kind = ParamKind::Character;
    param.number = 0.0;
    param.text.clear();
    for (std::size_t i = start; i < pos_; ++i)
        param.text += Upper(line_[i]);
    return true;
}

}  // namespace velquor::remote
