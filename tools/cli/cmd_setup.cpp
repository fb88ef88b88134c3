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

int RunSetup(CliApp& cli, const SetupOptions& options) {
    MeterRequest request;
    std::string error;
    if (!ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Fail(error);
    std::optional<bool> showDbm, showWatt, lowFrequency;
    if (!options.showDbm.empty() && !(showDbm = ParseSwitch(options.showDbm)))
        return Fail("--show-dbm takes on or off");
    if (!options.showWatt.empty() && !(showWatt = ParseSwitch(options.showWatt)))
        return Fail("--show-watt takes on or off");
    if (!options.lowFrequency.empty() && !(lowFrequency = ParseSwitch(options.lowFrequency)))
        return Fail("--low-frequency takes yes or no");

    MeterSession session(request, cli.Stop());
    if (!session.Connect(error))
        return cli.Stop().Requested() ? cli.Stop().ExitStatus() : Fail(error);
    // Anything not given keeps the unit's current value, as the connect filled it in.
    PlainUnitControls& controls = session.Controls();
    controls.frequency = options.frequency;
    if (!options.cableLoss.empty())
        controls.cableLoss = options.cableLoss;
    if (showDbm)
        controls.showDbm = *showDbm;
    if (showWatt)
        controls.showWatt = *showWatt;
    if (lowFrequency)
        session.Prompt().yesNoAnswer = *lowFrequency;
    const SetupResult result = OnSetupUnit(session.Context());
    if (cli.Stop().Requested())
        return cli.Stop().ExitStatus();
    // The sequence's messages are already on stderr; the final one goes to stdout too.
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
                    "Whether the unit is calibrated for low frequency (150 to 700 MHz)")
        ->type_name("yes|no");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
