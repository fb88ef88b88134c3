#pragma once

// Fixtures shared by the serial backend tests: a fake sysfs tree, a bare
// pseudo-terminal, and the meter simulator run as a child process.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

#include "common/temp_dir.h"

namespace velquor::testing {

namespace fs = std::filesystem;

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

// One USB serial port in a fake sysfs tree; an absent string has no attribute file.
struct FakePort {
    std::string tty;
    std::string driver = "ftdi_sio";
    std::optional<std::string> serial;
    std::optional<std::string> product;
    std::optional<std::string> manufacturer;
};

// Mirrors the kernel's layout: the USB device directory holds the identity files,
// the port sits below its interface, and bus/usb-serial/devices holds relative
// links to the ports, each with a driver link.
class FakeSysfs {
public:
    FakeSysfs() { fs::create_directories(Root() / "bus/usb-serial/devices"); }
    fs::path Root() const { return m_dir.Path() / "sys"; }
    fs::path DevRoot() const {
        fs::create_directories(m_dir.Path() / "dev");
        return m_dir.Path() / "dev";
    }

    void Add(const FakePort& port) {
        const std::string usb = "1-" + std::to_string(++m_count);
        const fs::path device = Root() / "devices/pci0000:00/0000:00:14.0/usb1" / usb;
        const fs::path tty = device / (usb + ":1.0") / port.tty;
        fs::create_directories(tty);
        Write(device / "idVendor", "0403\n");
        Write(device / (usb + ":1.0") / "bInterfaceNumber", "00\n");
        if (port.serial)
            Write(device / "serial", *port.serial + "\n");
        if (port.product)
            Write(device / "product", *port.product + "\n");
        if (port.manufacturer)
            Write(device / "manufacturer", *port.manufacturer + "\n");
        const fs::path driver = Root() / "bus/usb-serial/drivers" / port.driver;
        fs::create_directories(driver);
        fs::create_symlink(fs::relative(driver, tty), tty / "driver");
        const fs::path link = Root() / "bus/usb-serial/devices" / port.tty;
        fs::create_symlink(fs::relative(tty, link.parent_path()), link);
    }

    static void Write(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

private:
    TempDir m_dir;
    int m_count = 0;
};

// A pseudo-terminal whose master the test holds.
class Pty {
public:
    Pty() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0 &&
            ptsname_r(m_master, name, sizeof name) == 0)
            m_slave = name;
    }
    ~Pty() { CloseMaster(); }
    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_slave; }
    void CloseMaster() {
        if (m_master >= 0)
            close(m_master);
        m_master = -1;
    }
    bool WriteAll(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno != EINTR)
                return false;
            if (n > 0)
                done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Reads until count bytes came or limit passed.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds limit) {
        std::vector<std::uint8_t> bytes;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            std::uint8_t buffer[4096];
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n > 0)
                bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

private:
    int m_master = -1;
    std::string m_slave;
};

// The built velquor-meter-sim, with its first output line (the slave path) read.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> all = {VELQUOR_METER_SIM};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = out[0];
        m_path = ReadLine(std::chrono::seconds(10));
    }
    ~SimProcess() {
        Stop(SIGKILL);
        if (m_out >= 0)
            close(m_out);
    }
    const std::string& Path() const { return m_path; }
    // Signals the simulator and waits for it; returns its exit status (or -1).
    int Stop(int signal = SIGTERM) {
        if (m_pid <= 0)
            return m_status;
        kill(m_pid, signal);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int status = 0;
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_status;
    }

private:
    std::string ReadLine(std::chrono::milliseconds limit) {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (m_out >= 0 && std::chrono::steady_clock::now() < end) {
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char c;
            if (read(m_out, &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        return line;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_status = -1;
    std::string m_path;
};

}  // namespace velquor::testing
