#include <gtest/gtest.h>

#include "remote/dnssd.h"

namespace velquor::remote {
namespace {

TEST(DnsSd, TheInstanceNameSaysTheModelAndTheSerialsWithinOneLabel) {
    const struct {
        std::vector<std::string> serials;
        std::string name;
    } cases[] = {
        {{"OV227700"}, "Orvane ViridIrivi RA OV227700"},
        {{""}, "Orvane ViridIrivi RA unknown"},
        {{"OV227700", "OV227701"}, "Orvane ViridIrivi RA (OV227700, OV227701)"},
        {{"OV227700", "OV227701", "OV227702", "OV227703", "OV227704"},
         "Orvane ViridIrivi RA (OV227700 and 4 more)"},
        {{std::string(80, 'X')}, "Orvane ViridIrivi RA " + std::string(42, 'X')},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(InstanceName(c.serials), c.name);
        EXPECT_LE(InstanceName(c.serials).size(), 63u);
    }
}

TEST(DnsSd, OnlyWhatIsServedIsAnnouncedWithTheRecordsDiscoveryReads) {
    ServedInstrument served;
    served.scpi = {"0.0.0.0", 5025};
    served.serials = {"OV227700", ""};
    served.firmware = "1.10";
    std::vector<ServiceRecord> services = ServicesFor(served);
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0].type, "_scpi-raw._tcp");
    EXPECT_EQ(services[0].port, 5025);
    EXPECT_EQ(services[0].txt,
              (std::vector<std::string>{"txtvers=1", "Manufacturer=Orvane", "Model=ViridIrivi RA",
                                        "SerialNumber=OV227700,unknown", "FirmwareVersion=1.10"}));

    served.http = {"127.0.0.1", 8080};
    served.vxi11 = {"0.0.0.0", 40111};
    services = ServicesFor(served);
    std::vector<std::string> types;
    for (const ServiceRecord& s : services)
        types.push_back(s.type + ":" + std::to_string(s.port));
    EXPECT_EQ(types, (std::vector<std::string>{"_scpi-raw._tcp:5025", "_http._tcp:8080",
                                               "_lxi._tcp:8080", "_vxi-11._tcp:40111"}));
    EXPECT_EQ(services[1].txt.back(), "path=/");
    EXPECT_EQ(services[1].address, "127.0.0.1");  // announced where it listens

    // A long list of serials is cut to what one TXT string can carry.
    served.serials.assign(40, "OV227700");
    for (const ServiceRecord& s : ServicesFor(served))
        for (const std::string& t : s.txt)
            EXPECT_LE(t.size(), 255u);
    EXPECT_TRUE(ServicesFor(ServedInstrument{}).empty());
}

TEST(DnsSd, WithoutADaemonNothingIsAnnouncedAndStartSaysSo) {
    // A bus address where nothing listens: the daemon cannot be reached.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/velquor-test-bus", 1);
    DnsSdAnnouncer announcer;
    std::string status;
    announcer.Start("Orvane ViridIrivi RA OV227700", {{"_scpi-raw._tcp", "127.0.0.1", 5025, {}}}, status);
    EXPECT_FALSE(status.empty());
    EXPECT_NE(status.find("not announced"), std::string::npos) << status;
    EXPECT_FALSE(announcer.WaitAnnounced(std::chrono::milliseconds(200)));
    announcer.Stop();
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
}  // namespace velquor::remote
