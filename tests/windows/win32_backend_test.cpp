// Windows only: the COM backend's refusals and the log file's wide-character path.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "link/serial_driver.h"
#include "logging/log_file_writer.h"
#include "station/meter_target.h"

namespace velquor {
namespace {

TEST(Win32ComBackend, AMissingPortOrSerialIsNamedInTheError) {
    CSerialDriver driver;
    FT_HANDLE h = nullptr;
    EXPECT_EQ(driver.FT_OpenEx("COM77", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(driver.LastError(), "COM77: No such file or directory");
    EXPECT_EQ(driver.FT_OpenEx("OV999999", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.LastError(), "no FTDI device with serial number \"OV999999\"");
}

// Needs a COM port: the Wine test maps one to a simulator's terminal.
TEST(Win32ComBackend, APortHeldElsewhereIsBusyAndFreeAgainAfterClose) {
    const char* port = std::getenv("VELQUOR_TEST_COM");
    if (port == nullptr || *port == '\0')
        GTEST_SKIP() << "VELQUOR_TEST_COM names no COM port";
    CSerialDriver first;
    CSerialDriver second;
    FT_HANDLE held = nullptr;
    ASSERT_EQ(first.FT_OpenEx(port, FT_OPEN_BY_SERIAL_NUMBER, &held), FT_OK) << first.LastError();
    FT_HANDLE other = nullptr;
    EXPECT_EQ(second.FT_OpenEx(port, FT_OPEN_BY_SERIAL_NUMBER, &other), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(second.LastError(), std::string(port) + ": device busy");
    // The simulator streams: bytes arrive and the data event says so.
    const EventHandle rx = [&] {
        first.FT_SetEventNotification(held, FT_EVENT_RXCHAR);
        return first.RxEventFd(held);
    }();
    ASSERT_NE(rx, kNoEvent);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(rx), 3000), WAIT_OBJECT_0);
    std::uint32_t waiting = 0, tx = 0, events = 0;
    EXPECT_EQ(first.FT_GetStatus(held, &waiting, &tx, &events), FT_OK);
    EXPECT_GT(waiting, 0u);
    EXPECT_EQ(first.FT_Close(held), FT_OK);
    ASSERT_EQ(second.FT_OpenEx(port, FT_OPEN_BY_SERIAL_NUMBER, &other), FT_OK)
        << second.LastError();
    EXPECT_EQ(second.FT_Close(other), FT_OK);
}

// --port takes a COM port as typed; a path-like name is refused at once rather
// than taken for a serial number.
TEST(Win32ComBackend, PortArgumentsAreComPortNames) {
    std::string port, error;
    ASSERT_TRUE(station::ResolveDevicePath("com4", port, error)) << error;
    EXPECT_EQ(port, "COM4");
    ASSERT_TRUE(station::ResolveDevicePath("\\\\.\\COM12", port, error)) << error;
    EXPECT_EQ(port, "COM12");
    EXPECT_FALSE(station::ResolveDevicePath("/dev/ttyUSB0", port, error));
    EXPECT_EQ(error, "/dev/ttyUSB0: not a COM port name (COM1, COM2, ...)");
    EXPECT_FALSE(station::ResolveDevicePath("", port, error));
    EXPECT_FALSE(station::DevicePathPresent("COM77"));
}

TEST(Win32LogFile, ANonAsciiNameIsKeptAndASecondWriterRefused) {
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::filesystem::path folder = std::filesystem::path(temp) / L"velquor-log-test";
    std::filesystem::create_directories(folder);
    // "Leistung µW 測定.csv" in UTF-8, as the command line hands it over.
    const std::string name = "Leistung \xc2\xb5W \xe6\xb8\xac\xe5\xae\x9a.csv";
    const std::filesystem::path wide = folder / L"Leistung \u00b5W \u6e2c\u5b9a.csv";
    const std::u8string folder8 = folder.u8string();
    const std::string path = std::string(folder8.begin(), folder8.end()) + "\\" + name;
    {
        CLogFileWriter writer;
        ASSERT_TRUE(writer.Open(path)) << writer.Error();
        EXPECT_TRUE(writer.Append("1,2\r\n"));
        CLogFileWriter second;
        EXPECT_FALSE(second.Open(path));
        EXPECT_EQ(second.Error(), "the file is being written by another program");
        EXPECT_TRUE(writer.Close());
    }
    std::ifstream in(wide, std::ios::binary);
    ASSERT_TRUE(in) << "the file is not under its wide name";
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "1,2\r\n");
    in.close();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

}  // namespace
}  // namespace velquor
