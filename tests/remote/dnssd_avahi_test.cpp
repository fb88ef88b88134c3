// DNS-SD through a real avahi-daemon, started by the test on a private D-Bus and
// allowed the loopback interface only, so nothing is sent beyond this machine.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "common/temp_dir.h"
#include "remote/dnssd.h"

extern char** environ;

namespace velquor::remote {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

pid_t Spawn(const std::vector<std::string>& argv, const std::string& log) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Kill(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50 && waitpid(pid, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(100ms);
    if (waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        std::array<char, 512> buf{};
        while (fgets(buf.data(), buf.size(), p) != nullptr)
            out += buf.data();
        pclose(p);
    }
    return out;
}

bool Contains(const std::string& file, const std::string& text) {
    std::ifstream in(file);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.find(text) != std::string::npos;
}

class AvahiOnLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"/usr/bin/dbus-daemon", "/usr/sbin/avahi-daemon", "/usr/bin/avahi-browse"})
            if (!fs::exists(tool))
                GTEST_SKIP() << tool << " is not installed";
        // A daemon of the machine's own owns the name on the system's bus and its
        // pid file; this test does not disturb it.
        pid_t running = 0;
        if (std::ifstream pidFile("/run/avahi-daemon/pid"); pidFile >> running && running > 0 &&
                                                           kill(running, 0) == 0)
            GTEST_SKIP() << "an avahi-daemon already runs on this machine";
        const std::string bus = dir_.File("bus");
        std::ofstream(dir_.File("dbus.conf"))
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>system</type><listen>unix:path=" << bus << "</listen>"
               "<auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
               "<allow own=\"*\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
               "</policy></busconfig>\n";
        std::ofstream(dir_.File("avahi.conf"))
            << "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\nenable-dbus=yes\n"
               "[wide-area]\nenable-wide-area=no\n[publish]\npublish-hinfo=no\n"
               "publish-workstation=no\n[reflector]\nenable-reflector=no\n";
        dbus_ = Spawn({"/usr/bin/dbus-daemon", "--config-file=" + dir_.File("dbus.conf"), "--nofork"},
                      dir_.File("dbus.log"));
        for (int i = 0; i < 100 && !fs::exists(bus); ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(fs::exists(bus)) << "the test's D-Bus did not start";
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + bus).c_str(), 1);
        avahi_ = Spawn({"/usr/sbin/avahi-daemon", "-f", dir_.File("avahi.conf"), "--no-drop-root",
                        "--no-chroot", "--no-rlimits"},
                       dir_.File("avahi.log"));
        const std::string log = dir_.File("avahi.log");
        for (int i = 0; i < 100 && !Contains(log, "Server startup complete"); ++i)
            std::this_thread::sleep_for(100ms);
        ASSERT_TRUE(Contains(log, "Server startup complete")) << "avahi-daemon did not start";
    }
    void TearDown() override {
        Kill(avahi_);
        Kill(dbus_);
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    static std::string Browse(const std::string& type) {
        return RunCommand("timeout 10 avahi-browse -rpt " + type + " 2>/dev/null");
    }

    testing::TempDir dir_;
    pid_t dbus_ = -1;
    pid_t avahi_ = -1;
};

TEST_F(AvahiOnLoopback, ServicesAreListedWithTheirRecordsAndATakenNameIsReplaced) {
    ServedInstrument served;
    served.scpi = {"127.0.0.1", 5025};
    served.http = {"127.0.0.1", 8080};
    served.serials = {"OV227700", "OV227701"};
    served.firmware = "1.10";
    DnsSdAnnouncer first;
    std::string status;
    ASSERT_TRUE(first.Start(InstanceName(served.serials), ServicesFor(served), status)) << status;
    EXPECT_EQ(status, "announcing \"Orvane ViridIrivi RA (OV227700, OV227701)\" over DNS-SD");
    ASSERT_TRUE(first.WaitAnnounced(10s));

    const std::string scpi = Browse("_scpi-raw._tcp");
    EXPECT_NE(scpi.find("=;lo;IPv4;Orvane\\032ViridIrivi\\032RA\\032\\040OV227700\\044\\032OV227701\\041;"
                        "_scpi-raw._tcp;local;"),
              std::string::npos)
        << scpi;
    EXPECT_NE(scpi.find(";5025;"), std::string::npos) << scpi;
    EXPECT_NE(scpi.find("\"SerialNumber=OV227700,OV227701\""), std::string::npos) << scpi;
    const std::string lxi = Browse("_lxi._tcp");
    EXPECT_NE(lxi.find(";8080;"), std::string::npos) << lxi;

    // Another program on another port with the same meters' name is announced under another.
    ServedInstrument other = served;
    other.scpi.port = 5026;
    DnsSdAnnouncer second;
    ASSERT_TRUE(second.Start(InstanceName(other.serials), ServicesFor(other), status)) << status;
    ASSERT_TRUE(second.WaitAnnounced(10s));
    EXPECT_NE(second.Name(), first.Name());

    // Withdrawn: the daemon's goodbye ends the listing within about a second.
    first.Stop();
    second.Stop();
    bool gone = false;
    for (int i = 0; i < 10 && !gone; ++i) {
        std::this_thread::sleep_for(500ms);
        gone = Browse("_scpi-raw._tcp").find("OV227700") == std::string::npos;
    }
    EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace velquor::remote
