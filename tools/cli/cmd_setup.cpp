// velquor-cli setup: writes the unit's frequency, cable loss and display flags.
#include <cstdio>

#include "cli_app.h"
#include "meter/number_format.h"
#include "meter/unit_sequences.h"
#include "meter_session.h"

namespace velquor::cli {

namespace {

struct SetupOptions {
    MeterOptions meters;
    std::string frequency;
    std::string cableLoss;
    std::string showDbm;
    std::string showWatt;
    std::string lowFrequency;
};

constexpr NumberField kFrequencyField{"--frequency", 150, 2700, true, "MHz"};
constexpr NumberField kCableLossField{"--cable-loss", 0.0, 25.5, false, "dB"};
constexpr int kLowestStandardMhz = 700;

int RunSetup(CliApp& cli, const SetupOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    // Everything is checked before the meter is opened: a refused value writes nothing.
    const auto frequency = ParseNumberOption(options.frequency, kFrequencyField, error);
    if (!frequency)
        return Fail(error);
    std::optional<double> cableLoss;
    if (!options.cableLoss.empty() &&
        !(cableLoss = ParseNumberOption(options.cableLoss, kCableLossField, error)))
        return Fail(error);
    std::optional<bool> showDbm, showWatt, lowFrequency;
    if (!options.showDbm.empty() && !(showDbm = ParseSwitch(options.showDbm)))
        return Fail("--show-dbm takes on or off, not \"" + options.showDbm + "\"");
    if (!options.showWatt.empty() && !(showWatt = ParseSwitch(options.showWatt)))
        return Fail("--show-watt takes on or off, not \"" + options.showWatt + "\"");
    if (!options.lowFrequency.empty() && !(lowFrequency = ParseSwitch(options.lowFrequency)))
        return Fail("--low-frequency takes yes or no, not \"" + options.lowFrequency + "\"");

    MeterSession session(request, cli.Stop());
    if (!session.Connect(error))
        return cli.Stop().Requested() ? cli.Stop().ExitStatus() : Fail(error);
    UnitState& state = session.State();
    // --low-frequency sets the unit's flag either way; without it the unit keeps its own.
    const bool low = lowFrequency.value_or(state.m_bLowFrequency);
    const int mhz = static_cast<int>(*frequency);
    if (mhz < kLowestStandardMhz && !low)
        return Fail(
            FormatC("--frequency: %d MHz is out of range for a unit not calibrated for "
                    "low frequency; enter a whole number from %d to %d MHz, or give "
                    "--low-frequency yes for %d to %d MHz",
                    mhz, kLowestStandardMhz, static_cast<int>(kFrequencyField.max),
                    static_cast<int>(kFrequencyField.min), static_cast<int>(kFrequencyField.max)));
    state.m_bLowFrequency = low;
    session.Prompt().yesNoAnswer = low;
    // Anything not given keeps the unit's current value, as the connect filled it in.
    PlainUnitControls& controls = session.Controls();
    controls.frequency = FormatC("%d", mhz);
    if (cableLoss)
        controls.cableLoss = FormatC("%.17g", *cableLoss);
    if (showDbm)
        controls.showDbm = *showDbm;
    if (showWatt)
        controls.showWatt = *showWatt;
    const SetupResult result = OnSetupUnit(session.Context());
    if (cli.Stop().Requested())
        return cli.Stop().ExitStatus();
    // The sequence has shown any failure on stderr; the success is printed here, once.
    if (result == SetupResult::Success) {
        std::printf("%s\n", kMsgSetupDone);
        return kExitOk;
    }
    return kExitFailure;
}

}  // namespace

void RegisterSetupCommand(CliApp& cli) {
    auto options = std::make_shared<SetupOptions>();
    CLI::App* app = cli.AddCommand("setup", "write the unit's setup",
                                   [options](CliApp& c) { return RunSetup(c, *options); });
    app->add_option("--frequency", options->frequency, "Measurement frequency in whole MHz")
        ->type_name("MHZ")
        ->required();
    app->add_option("--cable-loss", options->cableLoss,
                    "Cable loss or other correction, 0.0 to 25.5 dB")
        ->type_name("DB");
    app->add_option("--show-dbm", options->showDbm, "The unit's dBm display flag")
        ->type_name("on|off");
    app->add_option("--show-watt", options->showWatt, "The unit's Watt display flag")
        ->type_name("on|off");
    app->add_option("--low-frequency", options->lowFrequency,
                    "Set whether the unit is calibrated for low frequency (down to 150 MHz); "
                    "without it the unit keeps its own setting")
        ->type_name("yes|no");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
