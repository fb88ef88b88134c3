// velquor-cli list: the meters (or every FTDI device) on the bus.
#include <nlohmann/json.hpp>

#include <cstdio>

#include "cli_app.h"
#include "cli_platform.h"
#include "cli_text.h"
#include "link/device_list.h"
#include "link/serial_driver.h"
#include "link/sim_driver.h"
#include "meter/unit_sequences.h"
#include "station/meter_target.h"

namespace velquor::cli {

namespace {

struct ListOptions {
    MeterOptions meters;
    bool every = false;
    bool json = false;
};

int RunList(CliApp& cli, const ListOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    if (!request.ports.empty() || !request.serials.empty())
        return UsageError("list takes neither --port nor --serial: it lists every meter");
    std::unique_ptr<IFtdiDriver> driver;
    if (request.simulated > 0) {
        std::vector<SimDeviceConfig> bus;
        for (int i = 0; i < request.simulated; ++i)
            bus.push_back(CSimDriver::DefaultMeter(station::SimulatedMeterModel(i)));
        driver = std::make_unique<CSimDriver>(std::move(bus));
    } else {
        driver = std::make_unique<CSerialDriver>();
    }
    std::vector<DeviceEntry> devices;
    if (!ListDevices(*driver, devices))
        return Fail(kMsgListFailed);
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    std::size_t listed = 0;
    for (const DeviceEntry& d : devices) {
        const bool meter = d.description == kMeterDescription;
        if (!meter && !options.every)
            continue;
        ++listed;
        if (options.json)
            list.push_back(
                {{"serial", d.serial}, {"description", d.description}, {"meter", meter}});
        else
            std::printf("%s\n", PrintableText(DeviceLine(d)).c_str());
    }
    if (options.json)
        std::printf("%s\n",
                    list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    // An empty list is an answer, not a failure; the person still learns where to look.
    if (listed == 0)
        std::fprintf(stderr, "velquor-cli: %s\n",
                     platform::NothingListedText(devices.size(), options.every).c_str());
    return kExitOk;
}

}  // namespace

void RegisterListCommand(CliApp& cli) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* app = cli.AddCommand("list", "list the meters found",
                                   [options](CliApp& c) { return RunList(c, *options); });
    app->add_flag("--all", options->every, "Every FTDI device, not only meters");
    app->add_flag("--json", options->json, "One JSON array of {serial, description, meter}");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Simulate);
}

}  // namespace velquor::cli
