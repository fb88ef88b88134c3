#include "remote/scpi_session.h"

#include "remote/commands.h"
#include "remote/scpi_error.h"
#include "remote/scpi_values.h"

namespace velquor::remote {

namespace {

bool IsCommandError(int code) {
    return code <= -100 && code >= -199;
}

}  // namespace

// "(@n)" names the channel the header's suffix would; both may be given when they agree.
Outcome ScpiSession::ListedChannel(const Parameter& list, int& number) const {
    std::vector<int> listed;
    const Converted r = ToChannelList(list, listed);
    if (r.error != 0)
        return Outcome{r.error, r.detail, {}};
    if (listed.size() != 1)
        return Outcome{err::kIllegalParameterValue, "one channel per command", {}};
    const int ch = listed.front();
    if (ch < 1 || static_cast<std::size_t>(ch) > instrument_.Channels())
        return Outcome{err::kDataOutOfRange, "no channel " + std::to_string(ch), {}};
    if (number != kNoSuffix && number != ch)
        return Outcome{
            err::kIllegalParameterValue, "suffix and (@" + std::to_string(ch) + ") differ", {}};
    number = ch;
    return {};
}

ScpiSession::ScpiSession(Instrument& instrument, ReplySink reply, Wake wake)
    : instrument_(instrument), reply_(std::move(reply)), wake_(std::move(wake)) {
    status_.Start(instrument_.StatusNow());
}

ScpiSession::~ScpiSession() {
    instrument_.CancelWaits(this);
}

void ScpiSession::Receive(std::string_view bytes) {
    if (discarded_)
        return;
    while (!bytes.empty()) {
        const std::size_t lf = bytes.find('\n');
        const std::string_view chunk = bytes.substr(0, lf);
        if (!discarding_) {
            partial_.append(chunk);
            // One byte of slack for the CR that may precede the LF.
            if (partial_.size() > kMaxLine + 1) {
                discarding_ = true;
                partial_.clear();
                partial_.shrink_to_fit();
            }
        }
        if (lf == std::string_view::npos)
            return;
        Line line;
        if (discarding_) {
            line.overrun = true;
        } else {
            if (!partial_.empty() && partial_.back() == '\r')
                partial_.pop_back();
            if (partial_.size() > kMaxLine)
                line.overrun = true;
            else
                line.text = std::move(partial_);
        }
        partial_.clear();
        discarding_ = false;
        backlog_ += line.text.size() + 1;
        lines_.push_back(std::move(line));
        bytes.remove_prefix(lf + 1);
    }
}

void ScpiSession::StartLine() {
    Line line = std::move(lines_.front());
    lines_.pop_front();
    backlog_ -= line.text.size() + 1;
    if (line.overrun) {
        status_.Push(err::kInputOverrun, "line longer than 4096 bytes");
        return;
    }
    line_ = std::move(line.text);
    parser_ = MessageParser(line_);
    path_.clear();
    replies_.clear();
    hasReply_ = false;
    endLine_ = false;
    inLine_ = true;
}

void ScpiSession::FinishLine() {
    inLine_ = false;
    if (hasReply_) {
        replies_ += '\n';
        reply_(replies_);
    }
}

ScpiSession::State ScpiSession::Run(std::size_t budget) {
    while (!waiting_) {
        // A reply may have cost the client its connection in the middle of a line.
        if (discarded_)
            return State::Idle;
        if (!inLine_) {
            if (lines_.empty())
                return State::Idle;
            if (budget == 0)
                return State::MoreWork;
            StartLine();
            continue;
        }
        if (endLine_) {
            FinishLine();
            continue;
        }
        if (budget == 0)
            return State::MoreWork;
        --budget;
        ParseError error;
        switch (parser_.Next(unit_, error)) {
            case MessageParser::Step::End:
                FinishLine();
                break;
            case MessageParser::Step::Error:
                status_.Push(error.code, error.detail);
                FinishLine();
                break;
            case MessageParser::Step::Unit:
                Execute(unit_);
                break;
        }
    }
    return State::Waiting;
}

void ScpiSession::Record(Outcome outcome) {
    if (outcome.error != 0) {
        status_.Push(outcome.error, outcome.detail);
        // After a command error the rest of the line cannot be trusted.
        if (IsCommandError(outcome.error))
            endLine_ = true;
        return;
    }
    if (!outcome.reply.empty()) {
        if (hasReply_)
            replies_ += ';';
        replies_ += outcome.reply;
        hasReply_ = true;
    }
}

void ScpiSession::Execute(const ProgramUnit& unit) {
    const std::vector<HeaderNode>* nodes = &unit.nodes;
    if (!unit.common) {
        // A header that does not start with ':' continues from the last command's path.
        if (!unit.absolute && !path_.empty()) {
            full_ = path_;
            full_.insert(full_.end(), unit.nodes.begin(), unit.nodes.end());
            nodes = &full_;
        }
    }
    const CommandTable::Lookup found = instrument_.Table().Find(*nodes, unit.query);
    if (found.error != 0)
        return Record(Outcome{found.error, unit.header, {}});
    if (!unit.common)
        path_.assign(nodes->begin(), nodes->end() - 1);
    int number = found.channel;
    if (number != kNoSuffix &&
        (number < 1 || static_cast<std::size_t>(number) > instrument_.Channels()))
        return Record(Outcome{err::kHeaderSuffixOutOfRange, unit.header, {}});
    std::span<const Parameter> params = unit.params;
    if (instrument_.Table().Row(found.row).TakesChannel() && !params.empty() &&
        IsChannelList(params.back())) {
        const Outcome o = ListedChannel(params.back(), number);
        if (o.error != 0)
            return Record(o);
        params = params.first(params.size() - 1);
    }
    const std::size_t channel = number == kNoSuffix ? 0 : static_cast<std::size_t>(number) - 1;
    const CommandDef& def = CommandDefs()[found.row];
    if (params.size() < def.min_params)
        return Record(Outcome{err::kMissingParameter, unit.header, {}});
    if (params.size() > def.max_params)
        return Record(Outcome{err::kParameterNotAllowed, unit.header, {}});
    Call call{instrument_, status_, params, channel, hasReply_, this, {}, {}};
    def.handler(call);
    if (call.deferred) {
        waiting_ = true;
        call.deferred([wake = wake_](Outcome o) { wake(std::move(o)); });
        return;
    }
    Record(std::move(call.out));
}

void ScpiSession::Resume(Outcome outcome) {
    if (!waiting_ || discarded_)
        return;
    waiting_ = false;
    Record(std::move(outcome));
}

void ScpiSession::Discard() {
    discarded_ = true;
    lines_.clear();
    backlog_ = 0;
    partial_.clear();
    inLine_ = false;
    waiting_ = false;
    instrument_.CancelWaits(this);
}

}  // namespace velquor::remote
