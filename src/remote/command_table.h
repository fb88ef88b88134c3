#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "remote/scpi_parser.h"

namespace velquor::remote {

// One command header pattern in the usual SCPI notation:
//   "[SENSe#]:FREQuency[:CW|:FIXed]?"   "MEASure#[:SCALar][:POWer:AC]?"   "*IDN?"
// Upper-case letters are the short form, the whole word the long form; brackets
// mark optional nodes (alternatives with '|'); '#' takes a numeric suffix (the
// channel); trailing digits of a word are a fixed part of it (LOSS2); a final '?'
// makes it a query. Colons only separate words.
class CommandPattern {
public:
    // Throws std::invalid_argument for a malformed pattern (a mistake in our table).
    explicit CommandPattern(std::string_view text);

    bool IsQuery() const { return query_; }
    // Whether a word takes the '#' suffix: the command works on one channel.
    bool TakesChannel() const { return channel_; }
    const std::string& Text() const { return text_; }

    // Whether the header nodes match. `channel` receives the '#' suffix, or
    // kNoSuffix when it was not given. With ignoreSuffixes, a suffix where none
    // belongs does not stop the match (used to tell -114 from -113).
    bool Matches(const std::vector<HeaderNode>& nodes, int& channel,
                 bool ignoreSuffixes = false) const;

private:
    struct Word {
        std::string shortForm;
        std::string longForm;
        bool takesSuffix = false;
        int fixedSuffix = kNoSuffix;
    };
    struct Element {
        bool optional = false;
        std::vector<std::vector<Word>> choices;
    };
    bool MatchFrom(std::size_t element, std::size_t node, const std::vector<HeaderNode>& nodes,
                   int& channel, bool ignoreSuffixes) const;
    static bool WordMatches(const Word& word, const HeaderNode& node, int& channel,
                            bool ignoreSuffixes);

    std::string text_;
    std::vector<Element> elements_;
    bool query_ = false;
    bool channel_ = false;
};

// Every command the instrument knows, as rows of patterns: adding a command is
// adding a row. Lookup walks the rows in order and reports why nothing matched.
class CommandTable {
public:
    std::size_t Add(std::string_view pattern);
    std::size_t Size() const { return rows_.size(); }
    const CommandPattern& Row(std::size_t i) const { return rows_[i]; }

    struct Lookup {
        int error = 0;  // 0, or -113 undefined header / -114 suffix out of range
        std::size_t row = 0;
        int channel = kNoSuffix;
    };
    Lookup Find(const std::vector<HeaderNode>& nodes, bool query) const;

private:
    std::vector<CommandPattern> rows_;
};

}  // namespace velquor::remote
