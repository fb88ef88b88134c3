#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/client_status.h"
#include "remote/instrument.h"
#include "remote/scpi_parser.h"

namespace velquor::remote {

// One client's side of the instrument: its input lines, its position in the
// command tree, its replies and its status. Not thread-safe: the owner calls it
// from one thread (the server's), and hands it the outcome of a command that
// waited (READ?, a setup write) through Resume on that same thread.
class ScpiSession {
public:
    // Longest line taken, without its LF (and a trailing CR); longer ones are
    // dropped whole with -363.
    static constexpr std::size_t kMaxLine = 4096;
    // Program message units run per Run call, so one busy client cannot hold
    // the server's thread.
    static constexpr std::size_t kDefaultBudget = 64;

    // A finished reply line, LF included.
    using ReplySink = std::function<void(std::string_view line)>;
    // Called, possibly from another thread and possibly before the starting call
    // returns, when a command that waited is done. The owner must pass the outcome
    // to Resume on its own thread later, never from inside this call.
    using Wake = std::function<void(Outcome)>;

    ScpiSession(Instrument& instrument, ReplySink reply, Wake wake);
    ~ScpiSession();
    ScpiSession(const ScpiSession&) = delete;
    ScpiSession& operator=(const ScpiSession&) = delete;

    // Bytes as they came from the client, cut anywhere.
    void Receive(std::string_view bytes);

    enum class State {
        Idle,      // nothing left to run
        MoreWork,  // the budget ran out; call Run again
        Waiting,   // a command waits; Resume continues
    };
    State Run(std::size_t budget = kDefaultBudget);
    void Resume(Outcome outcome);
    // The client is gone or dropped: nothing it sent and nothing queued runs any
    // more, not even the rest of the line in progress, and its waits end unanswered.
    void Discard();

    // Input received but not yet run, in bytes.
    std::size_t Backlog() const { return backlog_ + partial_.size(); }
    bool IsWaiting() const { return waiting_; }
    const ClientStatus& Status() const { return status_; }
    // A device clear starts a fresh session that keeps the client's status (its
    // error queue and enable masks), as a GPIB device clear does.
    void AdoptStatus(const ClientStatus& status) { status_ = status; }
    // The status byte as *STB? would give it; the owner knows whether a reply waits.
    std::uint8_t StatusByte(bool messageAvailable) {
        return status_.Stb(messageAvailable, instrument_.StatusNow());
    }

private:
    struct Line {
        std::string text;
        bool overrun = false;
    };
    void StartLine();
    void FinishLine();
    void Execute(const ProgramUnit& unit);
    void Record(Outcome outcome);
    Outcome ListedChannel(const Parameter& list, int& number) const;

    Instrument& instrument_;
    ReplySink reply_;
    Wake wake_;
    ClientStatus status_;

    std::string partial_;
    bool discarding_ = false;
    std::deque<Line> lines_;
    std::size_t backlog_ = 0;

    bool inLine_ = false;
    bool endLine_ = false;
    std::string line_;
    MessageParser parser_;
    std::vector<HeaderNode> path_;
    std::vector<HeaderNode> full_;
    std::string replies_;
    bool hasReply_ = false;
    ProgramUnit unit_;
    bool waiting_ = false;
    bool discarded_ = false;
};

}  // namespace velquor::remote
