#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::remote {

// Program data as IEEE 488.2 defines its kinds.
enum class ParamKind {
    Decimal,     // NRf, with an optional unit suffix
    NonDecimal,  // #H, #Q, #B
    Character,   // a mnemonic: ON, MIN, DBM, ...
    String,      // "..." or '...'
    Block,       // #<n><length><bytes> or #0...
    Expression,  // ( ... )
};

struct Parameter {
    ParamKind kind = ParamKind::Decimal;
    double number = 0.0;  // Decimal and NonDecimal
    // Decimal: the unit suffix in upper case, empty when none; Character: the
    // mnemonic in upper case; String: the text with doubled quotes undone;
    // Expression: what is between the outer parentheses, as typed.
    std::string text;
};

inline constexpr int kNoSuffix = -1;

// One node of a header: "MEAS2" is name "MEAS" with suffix 2.
struct HeaderNode {
    std::string name;  // upper case, without the numeric suffix
    int suffix = kNoSuffix;
};

// One program message unit: header, query flag and parameters.
struct ProgramUnit {
    bool common = false;    // *IDN? and friends; nodes holds the one mnemonic with '*'
    bool absolute = false;  // the header began with ':'
    bool query = false;
    std::vector<HeaderNode> nodes;
    std::vector<Parameter> params;
    std::string header;  // as typed, for error details
};

struct ParseError {
    int code = 0;
    std::string detail;
};

inline constexpr std::size_t kMaxMnemonic = 12;

// Splits one line (terminator already removed) into program message units, one at
// a time, so that the units before a faulty one still run. The line must outlive
// the parser.
class MessageParser {
public:
    enum class Step { Unit, End, Error };

    explicit MessageParser(std::string_view line = {}) : line_(line) {}

    // The next unit, End when the line is used up, or Error (the caller drops the
    // rest of the line: after a syntax error the units that follow cannot be trusted).
    Step Next(ProgramUnit& unit, ParseError& error);

private:
    bool AtEnd() const { return pos_ >= line_.size(); }
    char Peek() const { return AtEnd() ? '\0' : line_[pos_]; }
    void SkipBlanks();
    bool ParseHeader(ProgramUnit& unit, ParseError& error);
    bool ParseMnemonic(HeaderNode& node, ParseError& error);
    bool ParseParameter(Parameter& param, ParseError& error);
    bool ParseDecimal(Parameter& param, ParseError& error);
    bool ParseNonDecimal(Parameter& param, ParseError& error);
    bool ParseBlock(Parameter& param, ParseError& error);
    bool ParseString(Parameter& param, ParseError& error);
    bool ParseExpression(Parameter& param, ParseError& error);
    bool ParseCharacter(Parameter& param, ParseError& error);

    std::string_view line_;
    std::size_t pos_ = 0;
};

// IEEE 488.2 white space: every byte from 0 to 32 except the line feed.
inline bool IsScpiBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 && c != '\n';
}

}  // namespace velquor::remote
