// velquor-cli setup: writes each unit's frequency, cable loss and display flags.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

#include "cli_app.h"
#include "cli_platform.h"
#include "cli_station.h"
#include "cli_text.h"
#include "measure/loss_table.h"
#include "meter/number_format.h"
#include "meter/unit_sequences.h"
#include "setup_checks.h"

namespace velquor::cli {

namespace {

struct SetupOptions {
    MeterOptions meters;
    std::string frequency;
    std::string cableLoss;
    std::string showDbm;
    std::string showWatt;
    std::string lowFrequency;
    std::string lossTable;
};

constexpr std::size_t kMaxLossTableBytes = 1 << 20;

// A loss table file, read whole and checked. Nothing, with a reason naming the file
// (and the line), otherwise.
std::optional<measure::LossTable> ReadLossTable(const std::string& path, std::string& error) {
    std::ifstream in(platform::NativePath(path), std::ios::binary);
    const int openError = errno;
    // A folder opens like a file here and reads as empty: say what it is instead.
    const bool folder = platform::IsFolder(path);
    if (!in || folder) {
        error = "--loss-table: cannot read " + PrintableText(path) + ": " +
                std::strerror(folder ? EISDIR : openError);
        return std::nullopt;
    }
    std::string text(kMaxLossTableBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxLossTableBytes) {
        error = "--loss-table: " + PrintableText(path) + " is larger than 1 MiB; not a loss table";
        return std::nullopt;
    }
    measure::LossTableParse parsed = measure::ParseLossTable(text);
    if (!parsed.table)
        error = "--loss-table: " + PrintableText(path) + ": " + PrintableText(parsed.error);
    return std::move(parsed.table);
}

constexpr NumberField kCableLossField{"--cable-loss", 0.0, 25.5, false, "dB"};

// Which range applies depends on the unit, so here the text only has to be one
// whole number; CheckSetupFrequency names the unit's range once it is open.
std::optional<double> ParseFrequency(const std::string& text, std::string& error) {
    constexpr double kAny = std::numeric_limits<double>::max();
    const NumberField anyMhz{"--frequency", -kAny, kAny, true, "MHz"};
    std::string ignored;
    if (const auto mhz = ParseUserNumber(text, anyMhz, ignored))
        return mhz;
    error = "--frequency: \"" + PrintableText(text) + "\" is not a whole number of MHz";
    return std::nullopt;
}

int RunSetup(CliApp& cli, const SetupOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    // Everything is checked before anything is written: a refused value writes nothing.
    const auto frequency = ParseFrequency(options.frequency, error);
    if (!frequency)
        return Fail(error);
    std::optional<double> cableLoss;
    std::optional<measure::LossTable> lossTable;
    if (!options.cableLoss.empty() && !options.lossTable.empty())
        return UsageError("--cable-loss and --loss-table cannot be used together");
    if (!options.cableLoss.empty() &&
        !(cableLoss = ParseNumberOption(options.cableLoss, kCableLossField, error)))
        return Fail(error);
    if (!options.lossTable.empty() && !(lossTable = ReadLossTable(options.lossTable, error)))
        return Fail(error);
    std::optional<bool> showDbm, showWatt, lowFrequency;
    if (!options.showDbm.empty() && !(showDbm = ParseSwitch(options.showDbm)))
        return Fail("--show-dbm takes on or off, not \"" + PrintableText(options.showDbm) + "\"");
    if (!options.showWatt.empty() && !(showWatt = ParseSwitch(options.showWatt)))
        return Fail("--show-watt takes on or off, not \"" + PrintableText(options.showWatt) + "\"");
    if (!options.lowFrequency.empty() && !(lowFrequency = ParseSwitch(options.lowFrequency)))
        return Fail("--low-frequency takes yes or no, not \"" +
                    PrintableText(options.lowFrequency) + "\"");

    CliStation meters(cli);
    if (const int status = meters.Open(request))
        return status;
    const auto prefix = [&](std::size_t i) {
        return meters.Several() ? PrintableText(meters.Name(i)) + ": " : std::string();
    };
    bool refused = false;
    for (std::size_t i = 0; i < meters.Count(); ++i) {
        const std::string why =
            CheckSetupFrequency(*frequency, meters.Get().Meter(i).low_frequency, lowFrequency);
        if (!why.empty()) {
            Fail(prefix(i) + why);
            refused = true;
        }
    }
    if (refused)
        return kExitFailure;
    const int mhz = static_cast<int>(*frequency);
    if (lossTable) {
        std::string why;
        const auto tenths = lossTable->LossTenthsAt(mhz, why);
        if (!tenths)
            return Fail("--loss-table: " + PrintableText(options.lossTable) + ": " +
                        PrintableText(why));
        cableLoss = *tenths / 10.0;
    }

    station::SetupRequest setup;
    setup.frequency = FormatC("%d", mhz);
    // Round-trip precision, so the unit gets exactly the value given; it keeps tenths,
    // and the line after the verdict says which.
    if (cableLoss)
        setup.cable_loss = FormatC("%.17g", *cableLoss);
    setup.show_dbm = showDbm;
    setup.show_watt = showWatt;
    setup.low_frequency_answer = lowFrequency;
    const std::optional<int> tableMhz = lossTable ? std::optional<int>(mhz) : std::nullopt;
    bool failed = meters.SomeFailed();
    for (std::size_t i = 0; i < meters.Count() && !cli.Stop().Requested(); ++i) {
        const station::SetupOutcome outcome = meters.Get().Setup(i, setup);
        if (cli.Stop().Requested())
            break;
        if (outcome.Ok()) {
            std::printf("%s%s\n", prefix(i).c_str(), kMsgSetupDone);
            if (cableLoss)
                std::printf("%s%s\n", prefix(i).c_str(),
                            CableLossWrittenLine(*cableLoss, tableMhz).c_str());
            std::fflush(stdout);
        } else {
            Fail(prefix(i) + PrintableText(outcome.Message()));
            failed = true;
        }
    }
    if (cli.Stop().Requested())
        return cli.Stop().ExitStatus();
    return failed ? kExitFailure : kExitOk;
}

}  // namespace

void RegisterSetupCommand(CliApp& cli) {
    auto options = std::make_shared<SetupOptions>();
    CLI::App* app = cli.AddCommand("setup", "write each unit's setup",
                                   [options](CliApp& c) { return RunSetup(c, *options); });
    app->add_option("--frequency", options->frequency,
                    "Measurement frequency in whole MHz: 700 to 2700, or from 150 on a unit "
                    "calibrated for low frequency")
        ->type_name("MHZ")
        ->required();
    app->add_option("--cable-loss", options->cableLoss,
                    "Cable loss or other correction, 0.0 to 25.5 dB")
        ->type_name("DB");
    app->add_option("--loss-table", options->lossTable,
                    "Write the cable loss this table of MHz and dB pairs gives at the frequency")
        ->type_name("FILE");
    app->add_option("--show-dbm", options->showDbm, "The unit's dBm display flag")
        ->type_name("on|off");
    app->add_option("--show-watt", options->showWatt, "The unit's Watt display flag")
        ->type_name("on|off");
    app->add_option("--low-frequency", options->lowFrequency,
                    "Whether the unit is calibrated for low frequency (150 to 699 MHz)")
        ->type_name("yes|no");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
