#include "cli_app.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace velquor::cli {

namespace {

// How long a command has to end after Ctrl-C before it is ended hard. Test stands
// under sanitizers or heavy load may give it longer through VELQUOR_STOP_GRACE_MS;
// a value that is not a whole number of 100 to 60000 ms is ignored.
std::chrono::milliseconds StopGrace() {
    constexpr std::chrono::milliseconds kGrace{800};
    const char* text = std::getenv("VELQUOR_STOP_GRACE_MS");
    if (text == nullptr || *text == '\0')
        return kGrace;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    if (*end != '\0' || ms < 100 || ms > 60000)
        return kGrace;
    return std::chrono::milliseconds(ms);
}

// The root's help is the overview of every command; a command's own help is
// CLI11's, listing its options.
class HelpFormatter : public CLI::Formatter {
public:
    explicit HelpFormatter(const CliApp& cli) : m_cli(cli) {}
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        if (app->get_parent() == nullptr)
            return m_cli.Usage();
        return CLI::Formatter::make_help(app, std::move(name), mode);
    }

private:
    const CliApp& m_cli;
};

// "[--seconds N]", "--file PATH", "[--simulate [N]]", "[--json]".
std::string OptionSynopsis(const CLI::Option& option) {
    std::string text = option.get_name();
    if (option.get_expected_max() > 0) {
        const std::string value = option.get_type_name();
        const bool bracket = option.get_expected_min() == 0 && value.rfind('[', 0) != 0;
        text += bracket ? " [" + value + "]" : " " + value;
    }
    return option.get_required() ? text : "[" + text + "]";
}

// Wraps words into lines of at most width columns, each line indented.
std::string Wrap(const std::vector<std::string>& words, std::size_t indent, std::size_t width) {
    std::string out, line(indent, ' ');
    for (const std::string& w : words) {
        if (line.size() > indent && line.size() + 1 + w.size() > width) {
            out += line + "\n";
            line.assign(indent, ' ');
        }
        if (line.size() > indent)
            line += ' ';
        line += w;
    }
    if (line.size() > indent)
        out += line + "\n";
    return out;
}

}  // namespace

CliApp::CliApp()
    : m_root("velquor-cli: list, read, set up, monitor and log Orvane RF power meters",
             "velquor-cli") {
    m_root.formatter(std::make_shared<HelpFormatter>(*this));
    // Left-over arguments are reported by Run() in the order they were given.
    m_root.allow_extras();
    m_root.set_help_flag("-h,--help", "Show this help and exit")->group(kCommonGroup);
    m_root.set_version_flag("--version", "velquor-cli 1.1.0", "Show the version and exit")
        ->group(kCommonGroup);
    AddMeterOptions(m_root, m_rootMeters, MeterOptionSet::Root);
}

CliApp::~CliApp() = default;

CLI::App* CliApp::AddCommand(const std::string& name, const std::string& description,
                             CommandRunner run) {
    CLI::App* app = m_root.add_subcommand(name, description);
    app->set_help_flag("-h,--help", "Show the options of this command and exit");
    app->allow_extras();
    m_commands.push_back({app, std::move(run)});
    return app;
}

CLI::App* CliApp::AddUnavailableCommand(const std::string& name, const std::string& description,
                                        CommandRunner run) {
    CLI::App* app = AddCommand(name, description, std::move(run));
    m_commands.back().anyArguments = true;
    return app;
}

std::string CliApp::Usage() const {
    std::string text =
        "usage: velquor-cli COMMAND [options]\n"
        "\n"
        "commands:\n";
    for (const Command& c : m_commands) {
        std::string line = "  " + c.app->get_name();
        line.resize(std::max<std::size_t>(line.size() + 2, 12), ' ');
        text += line + c.app->get_description() + "\n";
        std::vector<std::string> words;
        for (const CLI::Option* option : c.app->get_options()) {
            if (option->get_group() != kCommonGroup && option->get_name() != "--help")
                words.push_back(OptionSynopsis(*option));
        }
        text += Wrap(words, 12, 79);
    }
    text +=
        "\ncommon options (after the command; --simulate, --port and --serial also before it):\n";
    std::vector<const CLI::Option*> common = m_root.get_options();
    for (const Command& c : m_commands) {
        for (const CLI::Option* option : c.app->get_options()) {
            const bool known = std::any_of(common.begin(), common.end(), [&](const CLI::Option* o) {
                return o->get_name() == option->get_name();
            });
            if (option->get_group() == kCommonGroup && !known)
                common.push_back(option);
        }
    }
    for (const CLI::Option* option : common) {
        std::string line = OptionSynopsis(*option);
        if (!option->get_required())
            line = line.substr(1, line.size() - 2);
        line = "  " + line;
        line.resize(std::max<std::size_t>(line.size() + 2, 22), ' ');
        text += line + option->get_description() + "\n";
    }
    text += "\n'velquor-cli COMMAND --help' shows the options of one command.\n";
    return text;
}

int CliApp::Run(int argc, char** argv) {
    try {
        m_root.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return m_root.exit(e);
        // One line: what was wrong, and where the right options are listed.
        std::string where = "velquor-cli --help";
        for (const Command& c : m_commands) {
            if (c.app->parsed())
                where = "velquor-cli " + c.app->get_name() + " --help";
        }
        std::fprintf(stderr, "velquor-cli: %s (see '%s')\n", e.what(), where.c_str());
        return kExitUsage;
    }
    const Command* chosen = nullptr;
    for (const Command& c : m_commands)
        chosen = c.app->parsed() ? &c : chosen;
    const std::string help =
        chosen ? "velquor-cli " + chosen->app->get_name() + " --help" : "velquor-cli --help";
    for (const CLI::App* app : {&m_root, chosen ? chosen->app : nullptr}) {
        const std::vector<std::string> extra = app ? app->remaining() : std::vector<std::string>{};
        if (extra.empty() || (chosen && app == chosen->app && chosen->anyArguments))
            continue;
        const std::string& first = extra.front();
        std::string what = "unexpected argument '" + first + "'";
        const std::string name = first.substr(0, first.find('='));
        if (first.size() > 1 && first[0] == '-') {
            what = "unknown option '" + name + "'";
            if (chosen && app == chosen->app)
                what = "'" + name + "' is not an option of " + chosen->app->get_name();
            else if (chosen && chosen->app->get_option_no_throw(name) != nullptr)
                what = "'" + name + "' goes after the command " + chosen->app->get_name();
        }
        return UsageError(what + " (see '" + help + "')");
    }
    if (chosen) {
        const Command& c = *chosen;
        // Before any thread starts, so every thread inherits the blocked signals.
        m_stop = std::make_unique<StopSignal>(StopGrace());
        std::fflush(stdout);
        const int status = c.run(*this);
        if (FlushOutput())
            return status;
        Fail(std::string("cannot write the output") +
             (m_outputError != 0 ? std::string(": ") + std::strerror(m_outputError) : ""));
        return status == kExitOk ? kExitFailure : status;
    }
    std::fputs(Usage().c_str(), stderr);
    return kExitUsage;
}

bool CliApp::FlushOutput() {
    errno = 0;
    const bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!ok && m_outputError == 0)
        m_outputError = errno;
    return ok;
}

int Fail(const std::string& reason) {
    if (!reason.empty())
        std::fprintf(stderr, "velquor-cli: %s\n", reason.c_str());
    return kExitFailure;
}

int UsageError(const std::string& reason) {
    return Report(kExitUsage, reason);
}

int Report(int status, const std::string& reason) {
    std::fprintf(stderr, "velquor-cli: %s\n", reason.c_str());
    return status;
}

}  // namespace velquor::cli
