#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <atomic>

#include "link/serial_driver.h"
#include "serial_test_support.h"

namespace velquor {
namespace {

using namespace std::chrono_literals;
using testing::Pty;
using testing::WaitFor;
using Bytes = std::vector<std::uint8_t>;

bool Readable(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0;
}

class SerialPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.SlavePath().empty());
        ASSERT_EQ(driver.FT_OpenEx(pty.SlavePath().c_str(), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK)
            << driver.LastError();
    }
    void TearDown() override {
        if (h != nullptr)
            driver.FT_Close(h);
    }
    // The slave's line settings, as the master sees them.
    termios Line() {
        termios tio{};
        tcgetattr(pty.Master(), &tio);
        return tio;
    }
    std::uint32_t Waiting() {
        std::uint32_t rx = 0, tx = 0, ev = 0;
        driver.FT_GetStatus(h, &rx, &tx, &ev);
        return rx;
    }

    Pty pty;
    CSerialDriver driver;
    FT_HANDLE h = nullptr;
};

TEST(SerialBaud, NearestStandardRateTable) {
    const std::pair<std::uint16_t, std::uint32_t> cases[] = {
        {156, 19200}, {78, 38400},  {313, 9600}, {26, 115200}, {0, 3000000},
        {1, 3000000}, {3, 1000000}, {65535, 50}, {2500, 1200},
    };
    for (const auto& [divisor, baud] : cases)
        EXPECT_EQ(CSerialDriver::NearestStandardBaud(divisor), baud) << divisor;
}

TEST_F(SerialPty, OpenLeavesARawLineAndSetsTheMeterLine) {
    termios tio = Line();
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);

    EXPECT_EQ(driver.FT_SetDivisor(h, 156), FT_OK);
    // A pseudo-terminal keeps stop bits but forces 8 bits without parity.
    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, 7, 2, 2), FT_OK);
    tio = Line();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);

    EXPECT_EQ(driver.FT_SetFlowControl(h, 0x0100, 0, 0), FT_OK);
    EXPECT_NE(Line().c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, 8, 0, 0), FT_OK);
    EXPECT_EQ(driver.FT_SetFlowControl(h, 0, 0, 0), FT_OK);
    tio = Line();
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (CSTOPB | PARENB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);

    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, 9, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, 8, 1, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(driver.FT_SetFlowControl(h, 0x0200, 0, 0), FT_INVALID_PARAMETER);
    // A pseudo-terminal has no modem lines; raising them is harmless.
    EXPECT_EQ(driver.FT_SetDtr(h), FT_OK);
    EXPECT_EQ(driver.FT_SetRts(h), FT_OK);
    EXPECT_EQ(driver.FT_ClrRts(h), FT_OK);
    EXPECT_EQ(driver.FT_ClrDtr(h), FT_OK);
    EXPECT_EQ(driver.FT_SetTimeouts(h, 1000, 1000), FT_OK);
}

TEST_F(SerialPty, NotificationFollowsTheMaskAndReadsReturnWhatWaits) {
    EXPECT_EQ(driver.RxEventFd(h), -1);
    ASSERT_EQ(driver.FT_SetEventNotification(h, FT_EVENT_RXCHAR), FT_OK);
    const int fd = driver.RxEventFd(h);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(Readable(fd, 0));
    std::uint8_t buffer[16] = {};
    std::uint32_t got = 99;
    EXPECT_EQ(driver.FT_Read(h, buffer, sizeof buffer, &got), FT_OK);
    EXPECT_EQ(got, 0u);

    const Bytes sent = {0x11, 0x12, 0xE4, 1, 2, 3, 0x11, 0x14, 0x11, 0x13};
    ASSERT_TRUE(pty.WriteAll(sent));
    ASSERT_TRUE(Readable(fd, 2000));
    ASSERT_TRUE(WaitFor([&] { return Waiting() == sent.size(); }, 2s));
    // A short read leaves the rest waiting.
    ASSERT_EQ(driver.FT_Read(h, buffer, 4, &got), FT_OK);
    ASSERT_EQ(got, 4u);
    EXPECT_EQ(Waiting(), sent.size() - 4);
    ASSERT_EQ(driver.FT_Read(h, buffer + 4, sizeof buffer - 4, &got), FT_OK);
    ASSERT_EQ(got, sent.size() - 4);
    EXPECT_EQ(Bytes(buffer, buffer + sent.size()), sent);
    EXPECT_FALSE(Readable(fd, 0));

    ASSERT_EQ(driver.FT_SetEventNotification(h, 0), FT_OK);
    EXPECT_EQ(driver.RxEventFd(h), -1);
}

TEST_F(SerialPty, WritesEverythingEvenWhenTheLineBackslogs) {
    ASSERT_EQ(driver.FT_SetTimeouts(h, 1000, 5000), FT_OK);
    // Far more than a pseudo-terminal buffers, so the writer meets EAGAIN and waits.
    Bytes big(200000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7);
    Bytes received;
    std::thread reader([&] { received = pty.Read(big.size(), 10s); });
    std::uint32_t written = 0;
    const FT_STATUS status =
        driver.FT_Write(h, big.data(), static_cast<std::uint32_t>(big.size()), &written);
    reader.join();
    EXPECT_EQ(status, FT_OK);
    EXPECT_EQ(written, big.size());
    EXPECT_TRUE(received == big);
}

TEST_F(SerialPty, AWriteNobodyDrainsEndsAtTheWriteTimeout) {
    ASSERT_EQ(driver.FT_SetTimeouts(h, 1000, 100), FT_OK);
    const Bytes big(200000, 0x55);
    std::uint32_t written = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(driver.FT_Write(h, big.data(), static_cast<std::uint32_t>(big.size()), &written),
              FT_IO_ERROR);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(written, big.size());
    EXPECT_GE(took, 90ms);
    EXPECT_LT(took, 3s);
}

TEST_F(SerialPty, ASecondOpenIsRefusedAsBusyUntilTheFirstCloses) {
    FT_HANDLE second = nullptr;
    EXPECT_EQ(driver.FT_OpenEx(pty.SlavePath().c_str(), FT_OPEN_BY_SERIAL_NUMBER, &second),
              FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(driver.LastError(), pty.SlavePath() + ": device busy");
    // Another program (another driver) is refused just the same.
    CSerialDriver other;
    EXPECT_EQ(other.FT_OpenEx(pty.SlavePath().c_str(), FT_OPEN_BY_SERIAL_NUMBER, &second),
              FT_DEVICE_NOT_OPENED);
    EXPECT_NE(other.LastError().find("device busy"), std::string::npos);

    ASSERT_EQ(driver.FT_Close(h), FT_OK);
    h = nullptr;
    ASSERT_EQ(other.FT_OpenEx(pty.SlavePath().c_str(), FT_OPEN_BY_SERIAL_NUMBER, &second), FT_OK);
    EXPECT_EQ(other.FT_Close(second), FT_OK);
}

TEST_F(SerialPty, HangUpDropsTheDescriptorAndLaterCallsFailCleanly) {
    ASSERT_EQ(driver.FT_SetEventNotification(h, FT_EVENT_RXCHAR), FT_OK);
    const int fd = driver.RxEventFd(h);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(pty.WriteAll({1, 2, 3}));
    ASSERT_TRUE(WaitFor([&] { return Waiting() == 3u; }, 2s));
    pty.CloseMaster();
    // The hung-up tty polls ready; the driver notices and stops offering it.
    ASSERT_TRUE(Readable(fd, 2000));
    std::uint32_t rx = 7, tx = 0, ev = 0;
    EXPECT_NE(driver.FT_GetStatus(h, &rx, &tx, &ev), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(driver.RxEventFd(h), -1);
    std::uint8_t buffer[8];
    std::uint32_t count = 5;
    EXPECT_EQ(driver.FT_Read(h, buffer, sizeof buffer, &count), FT_IO_ERROR);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(driver.FT_Write(h, buffer, 3, &count), FT_IO_ERROR);
    EXPECT_EQ(driver.FT_SetDivisor(h, 156), FT_IO_ERROR);
    EXPECT_EQ(driver.FT_SetEventNotification(h, FT_EVENT_RXCHAR), FT_OK);
    EXPECT_EQ(driver.RxEventFd(h), -1);
    EXPECT_EQ(driver.FT_Close(h), FT_OK);
    h = nullptr;
}

TEST_F(SerialPty, AReadThatMeetsTheHangUpMarksTheDeviceGone) {
    pty.CloseMaster();
    std::uint8_t buffer[8];
    std::uint32_t count = 5;
    EXPECT_EQ(driver.FT_Read(h, buffer, sizeof buffer, &count), FT_IO_ERROR);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(driver.FT_SetEventNotification(h, FT_EVENT_RXCHAR), FT_OK);
    EXPECT_EQ(driver.RxEventFd(h), -1);
}

TEST_F(SerialPty, NoUsbIdentityAndForeignHandlesAreRejected) {
    char a[64], b[64], c[64], d[64];
    FT_PROGRAM_DATA data;
    data.Manufacturer = a;
    data.ManufacturerId = b;
    data.Description = c;
    data.SerialNumber = d;
    data.StringBufferSize = 64;
    EXPECT_EQ(driver.FT_EE_Read(h, &data), FT_EEPROM_READ_FAILED);
    data.StringBufferSize = 0;
    EXPECT_EQ(driver.FT_EE_Read(h, &data), FT_INVALID_PARAMETER);

    int local = 0;
    FT_HANDLE bogus = &local;
    std::uint32_t n = 0;
    EXPECT_EQ(driver.FT_Write(bogus, "x", 1, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_GetStatus(bogus, &n, &n, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Close(bogus), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.RxEventFd(bogus), -1);
    ASSERT_EQ(driver.FT_Close(h), FT_OK);
    EXPECT_EQ(driver.FT_Close(h), FT_INVALID_HANDLE);
    h = nullptr;
}

}  // namespace
}  // namespace velquor
