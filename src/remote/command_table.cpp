#include "remote/command_table.h"

#include <stdexcept>

#include "remote/scpi_error.h"

namespace velquor::remote {

namespace {

bool IsUpper(char c) {
    return (c >= 'A' && c <= 'Z') || c == '*';
}
bool IsWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*';
}
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

CommandPattern::CommandPattern(std::string_view text) : text_(text) {
    std::size_t i = 0;
    auto bad = [&](const char* why) {
        throw std::invalid_argument(std::string("command pattern \"") + text_ + "\": " + why);
    };
    auto readWord = [&]() {
        Word w;
        const std::size_t start = i;
        while (i < text.size() && IsWordChar(text[i]))
            ++i;
        std::string_view word = text.substr(start, i - start);
        if (word.empty())
            bad("empty word");
        std::size_t digits = word.size();
        while (digits > 0 && word[digits - 1] >= '0' && word[digits - 1] <= '9')
            --digits;
        if (digits < word.size() && word[0] != '*') {
            w.fixedSuffix = std::stoi(std::string(word.substr(digits)));
            word = word.substr(0, digits);
        }
        for (const char c : word) {
            if (IsUpper(c) && w.shortForm.size() == w.longForm.size())
                w.shortForm += c;
            w.longForm += Upper(c);
        }
        if (w.shortForm.empty())
            bad("word without a short form");
        if (i < text.size() && text[i] == '#') {
            w.takesSuffix = true;
            channel_ = true;
            ++i;
        }
        return w;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == ':') {
            ++i;
        } else if (c == '?') {
            if (i + 1 != text.size())
                bad("'?' before the end");
            query_ = true;
            ++i;
        } else if (c == '[') {
            ++i;
            Element e;
            e.optional = true;
            e.choices.emplace_back();
            while (i < text.size() && text[i] != ']') {
                if (text[i] == ':') {
                    ++i;
                } else if (text[i] == '|') {
                    e.choices.emplace_back();
                    ++i;
                } else {
                    e.choices.back().push_back(readWord());
                }
            }
            if (i >= text.size())
                bad("unclosed '['");
            ++i;
            for (const auto& choice : e.choices) {
                if (choice.empty())
                    bad("empty choice");
            }
            elements_.push_back(std::move(e));
        } else {
            Element e;
            e.choices.push_back({readWord()});
            elements_.push_back(std::move(e));
        }
    }
    if (elements_.empty())
        bad("no words");
}

bool CommandPattern::WordMatches(const Word& word, const HeaderNode& node, int& channel,
                                 bool ignoreSuffixes) {
    if (node.name != word.shortForm && node.name != word.longForm)
        return false;
    // LOSS2's digit is part of its name: plain LOSS is another word, LOSS3 a wrong suffix.
    if (word.fixedSuffix != kNoSuffix)
        return node.suffix == word.fixedSuffix || (ignoreSuffixes && node.suffix != kNoSuffix);
    if (word.takesSuffix) {
        channel = node.suffix;
        return true;
    }
    return node.suffix == kNoSuffix || ignoreSuffixes;
}

bool CommandPattern::MatchFrom(std::size_t element, std::size_t node,
                               const std::vector<HeaderNode>& nodes, int& channel,
                               bool ignoreSuffixes) const {
    if (element == elements_.size())
        return node == nodes.size();
    const Element& e = elements_[element];
    for (const auto& choice : e.choices) {
        if (node + choice.size() > nodes.size())
            continue;
        int ch = channel;
        bool ok = true;
        for (std::size_t k = 0; ok && k < choice.size(); ++k)
            ok = WordMatches(choice[k], nodes[node + k], ch, ignoreSuffixes);
        if (ok && MatchFrom(element + 1, node + choice.size(), nodes, ch, ignoreSuffixes)) {
            channel = ch;
            return true;
        }
    }
    return e.optional && MatchFrom(element + 1, node, nodes, channel, ignoreSuffixes);
}

bool CommandPattern::Matches(const std::vector<HeaderNode>& nodes, int& channel,
                             bool ignoreSuffixes) const {
    int ch = kNoSuffix;
    if (!MatchFrom(0, 0, nodes, ch, ignoreSuffixes))
        return false;
    channel = ch;
    return true;
}

std::size_t CommandTable::Add(std::string_view pattern) {
    rows_.emplace_back(pattern);
    return rows_.size() - 1;
}

CommandTable::Lookup CommandTable::Find(const std::vector<HeaderNode>& nodes, bool query) const {
    Lookup result;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].IsQuery() == query && rows_[i].Matches(nodes, result.channel)) {
            result.row = i;
            return result;
        }
    }
    int ignored = kNoSuffix;
    for (const auto& row : rows_) {
        if (row.IsQuery() == query && row.Matches(nodes, ignored, true)) {
            result.error = err::kHeaderSuffixOutOfRange;
            return result;
        }
    }
    result.error = err::kUndefinedHeader;
    return result;
}

}  // namespace velquor::remote
