// velquor-cli setup: writes each unit's frequency, cable loss and display flags.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "cli_app.h"
#include "cli_station.h"
#include "cli_text.h"
#include "measure/loss_table.h"
#include "meter/number_format.h"
#include "meter/unit_sequences.h"

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

// The loss a table file gives at a frequency, rounded to the tenth of a dB the
// meter stores. Nothing, with a reason naming the file and line, otherwise.
std::optional<double> LossFromTable(const std::string& path, int mhz, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    const int openError = errno;
    struct stat node {};
    // A folder opens like a file here and reads as empty: say what it is instead.
    const bool folder = stat(path.c_str(), &node) == 0 && S_ISDIR(node.st_mode);
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
    const measure::LossTableParse parsed = measure::ParseLossTable(text);
    if (!parsed.table) {
        error = "--loss-table: " + PrintableText(path) + ": " + PrintableText(parsed.error);
        return std::nullopt;
    }
    std::string why;
    const auto tenths = parsed.table->LossTenthsAt(mhz, why);
    if (!tenths) {
        error = "--loss-table: " + PrintableText(path) + ": " + PrintableText(why);
        return std::nullopt;
    }
    return *tenths / 10.0;
}

constexpr NumberField kFrequencyField{"--frequency", 150, 2700, true, "MHz"};
constexpr NumberField kCableLossField{"--cable-loss", 0.0, 25.5, false, "dB"};
constexpr int kLowestStandardMhz = 700;

// Why a unit would not take the frequency, or what --low-frequency could not do;
// empty when the setup may go ahead. The unit marks itself as calibrated for low
// frequency only when told so for a frequency below 700 MHz, and no setup clears
// the mark, so an answer that could not take effect is refused, never ignored.
std::string CheckLowFrequency(int mhz, bool unitLow, std::optional<bool> answer) {
    const bool below = mhz < kLowestStandardMhz;
    if (answer && *answer && !unitLow && !below)
        return FormatC(
            "--low-frequency yes marks a unit as calibrated for low frequency only "
            "with a frequency below %d MHz, not %d MHz",
            kLowestStandardMhz, mhz);
    if (answer && !*answer && unitLow)
        return "--low-frequency no: the unit is marked as calibrated for low frequency, and a "
               "setup cannot clear the mark";
    if (below && !unitLow && !(answer && *answer))
        return FormatC(
            "--frequency: %d MHz is out of range for a unit not calibrated for low "
            "frequency; enter a whole number from %d to %d MHz, or give "
            "--low-frequency yes if the unit is calibrated from %d MHz",
            mhz, kLowestStandardMhz, static_cast<int>(kFrequencyField.max),
            static_cast<int>(kFrequencyField.min));
    return {};
}

int RunSetup(CliApp& cli, const SetupOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    // Everything is checked before anything is written: a refused value writes nothing.
    const auto frequency = ParseNumberOption(options.frequency, kFrequencyField, error);
    if (!frequency)
        return Fail(error);
    std::optional<double> cableLoss;
    if (!options.cableLoss.empty() && !options.lossTable.empty())
        return UsageError("--cable-loss and --loss-table cannot be used together");
    if (!options.cableLoss.empty() &&
        !(cableLoss = ParseNumberOption(options.cableLoss, kCableLossField, error)))
        return Fail(error);
    if (!options.lossTable.empty() &&
        !(cableLoss = LossFromTable(options.lossTable, static_cast<int>(*frequency), error)))
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
    const int mhz = static_cast<int>(*frequency);
    const auto prefix = [&](std::size_t i) {
        return meters.Several() ? PrintableText(meters.Name(i)) + ": " : std::string();
    };
    bool refused = false;
    for (std::size_t i = 0; i < meters.Count(); ++i) {
        const std::string why =
            CheckLowFrequency(mhz, meters.Get().Meter(i).low_frequency, lowFrequency);
        if (!why.empty()) {
            Fail(prefix(i) + why);
            refused = true;
        }
    }
    if (refused)
        return kExitFailure;

    station::SetupRequest setup;
    setup.frequency = FormatC("%d", mhz);
    // Round-trip precision, so the unit gets exactly the value typed.
    if (cableLoss)
        setup.cable_loss = FormatC("%.17g", *cableLoss);
    setup.show_dbm = showDbm;
    setup.show_watt = showWatt;
    setup.low_frequency_answer = lowFrequency;
    bool failed = meters.SomeFailed();
    bool written = false;
    for (std::size_t i = 0; i < meters.Count() && !cli.Stop().Requested(); ++i) {
        const station::SetupOutcome outcome = meters.Get().Setup(i, setup);
        if (cli.Stop().Requested())
            break;
        if (outcome.Ok()) {
            written = true;
            std::printf("%s%s\n", prefix(i).c_str(), kMsgSetupDone);
            std::fflush(stdout);
        } else {
            Fail(prefix(i) + PrintableText(outcome.Message()));
            failed = true;
        }
    }
    if (cli.Stop().Requested())
        return cli.Stop().ExitStatus();
    if (written && !options.lossTable.empty())
        std::printf("Cable loss written: %.1f dB (the loss table's at %d MHz)\n", *cableLoss, mhz);
    return failed ? kExitFailure : kExitOk;
}

}  // namespace

void RegisterSetupCommand(CliApp& cli) {
    auto options = std::make_shared<SetupOptions>();
    CLI::App* app = cli.AddCommand("setup", "write each unit's setup",
                                   [options](CliApp& c) { return RunSetup(c, *options); });
    app->add_option("--frequency", options->frequency, "Measurement frequency in whole MHz")
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
