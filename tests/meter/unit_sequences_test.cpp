#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "common/scripted_prompt.h"
#include "common/stepping_clock.h"
#include "link/sim_driver.h"
#include "meter/unit_sequences.h"

namespace velquor {
namespace {

using testing_support::ScriptedPrompt;
using testing_support::SteppingClock;
using Bytes = std::vector<std::uint8_t>;

class NullSink : public IFrameSink {
public:
    void PostFrame(std::uint32_t, Bytes) override {}
};

LinkTimings FastTimings() {
    LinkTimings t;
    t.idle_wait_ms = 50;
    t.mailbox_timeout_ms = 500;
    t.stop_timeout_ms = 500;
    t.identity_pause_ms = 1;
    t.reply_wait_ms = 200;
    return t;
}

SimDeviceConfig Meter(const std::string& serial, MeterModelConfig m = {}) {
    m.serial = serial;
    m.frameIntervalMs = 50;
    return CSimDriver::DefaultMeter(m);
}

SimDeviceConfig Other(const std::string& serial) {
    SimDeviceConfig d;
    d.serial = serial;
    d.description = "FT232R USB UART";
    return d;
}

class Sequences : public ::testing::Test {
protected:
    void Bus(std::vector<SimDeviceConfig> devices) {
        driver = std::make_unique<CSimDriver>(std::move(devices));
        meter = std::make_unique<COrvaneUSB>(*driver, FastTimings());
        meter->StartWorker();
        ctx = std::make_unique<UnitContext>(
            UnitContext{*meter, *driver, state, controls, prompt, clock, sink, {}});
    }
    void TearDown() override {
        ctx.reset();
        meter.reset();
        driver.reset();
    }
    // Payloads of the given opcode the meter received.
    int Received(std::uint8_t opcode) {
        int n = 0;
        for (const auto& p : driver->MeterReceived())
            n += !p.empty() && p[0] == opcode;
        return n;
    }

    std::shared_ptr<NullSink> sink = std::make_shared<NullSink>();
    std::unique_ptr<CSimDriver> driver;
    std::unique_ptr<COrvaneUSB> meter;
    UnitState state;
    PlainUnitControls controls;
    ScriptedPrompt prompt;
    SteppingClock clock{1200};
    std::unique_ptr<UnitContext> ctx;
};

// ---- selection -------------------------------------------------------------

TEST_F(Sequences, SingleMeterAmongOtherDevicesIsOpenedWithoutDialog) {
    Bus({Other("A"), Meter("M1"), Other("B")});
    EXPECT_TRUE(ConnectUnits(*ctx));
    EXPECT_EQ(prompt.dialogs, 0);
    EXPECT_EQ(driver->OpenSerial(), "M1");
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(Sequences, TwoMetersOfferTheDialogAndMapTheChoice) {
    struct Case {
        bool ok;
        int line;
        const char* expected;
    };
    for (const Case c : {Case{true, 0, "M1"}, Case{true, 1, "M2"}, Case{false, 1, "M1"}}) {
        SCOPED_TRACE(c.expected);
        TearDown();
        prompt = ScriptedPrompt();
        state.m_bConnected = false;
        Bus({Meter("M1"), Other("X"), Meter("M2")});
        prompt.selectOk = c.ok;
        prompt.selectLine = c.line;
        EXPECT_TRUE(ConnectUnits(*ctx));
        EXPECT_EQ(prompt.offered,
                  (std::vector<std::string>{"M1 - Orvane Power Meter", "M2 - Orvane Power Meter"}));
        EXPECT_EQ(driver->OpenSerial(), c.expected);
    }
}

TEST_F(Sequences, ListingFailuresShowTheMessageAndNoDialog) {
    Bus({Meter("M1"), Meter("M2")});
    driver->SetFailCount(true);
    EXPECT_FALSE(ConnectUnits(*ctx));
    driver->SetFailCount(false);
    driver->SetFailDescriptionAt(1);
    EXPECT_FALSE(ConnectUnits(*ctx));
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[0].text, kMsgListFailed);
    EXPECT_EQ(prompt.messages[0].caption, kAppTitle);
    EXPECT_EQ(prompt.dialogs, 0);
    EXPECT_FALSE(state.m_bConnected);
}

TEST_F(Sequences, NoMeterOrFailedOpenEndsQuietly) {
    Bus({Other("A")});
    EXPECT_FALSE(ConnectUnits(*ctx));
    SimDeviceConfig broken = Meter("M1");
    broken.failOpen = true;
    driver->SetDevices({broken});
    EXPECT_FALSE(ConnectUnits(*ctx));
    EXPECT_TRUE(prompt.messages.empty());
}

// ---- identity and record ---------------------------------------------------

TEST_F(Sequences, ModernUnitFillsTheFields) {
    MeterModelConfig m;
    m.record = {0x12, 0x85, 0x2A, 22, 0x03, 10, 25, 0, 0};
    Bus({Meter("OV1", m)});
    ASSERT_TRUE(ConnectUnits(*ctx));
    EXPECT_TRUE(state.m_bConnected);
    EXPECT_EQ(state.m_strSerialNumber, "OV1");
    EXPECT_EQ(state.m_strCalDate, "MAY-18-2015");
    EXPECT_EQ(state.m_strFirmware, "1.10");
    EXPECT_EQ(state.m_byFirmware, 0x2A);
    EXPECT_EQ(state.m_byCalDate0, 0x12);
    EXPECT_EQ(state.m_byCalDate1, 0x85);
    EXPECT_DOUBLE_EQ(state.m_dCableLoss, 2.2);
    EXPECT_EQ(controls.cableLoss, "2.2");
    EXPECT_EQ(state.m_nFrequency, 1710);
    EXPECT_EQ(controls.frequency, "1710");
    EXPECT_TRUE(controls.showDbm);
    EXPECT_TRUE(controls.showWatt);
    EXPECT_FALSE(state.m_bLowFrequency);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_GE(clock.sleptMs, kIdentityPauseMs);
    EXPECT_GE(Received(0xE4), 1);  // the first reading is requested
}

struct LegacyCase {
    const char* name;
    const char* manufacturer;
    Bytes record;
    const char* date;
    std::uint8_t firmware;
    const char* firmwareText;
    bool message;
    int frequency;
};

class LegacyUnits : public Sequences, public ::testing::WithParamInterface<LegacyCase> {};

TEST_P(LegacyUnits, IdentityTextGivesDateAndFirmware) {
    const LegacyCase& c = GetParam();
    MeterModelConfig m;
    m.manufacturer = c.manufacturer;
    m.record = c.record;
    Bus({Meter("L7", m)});
    ASSERT_TRUE(ConnectUnits(*ctx));
    EXPECT_EQ(state.m_strCalDate, c.date);
    if (c.firmwareText != nullptr) {
        EXPECT_EQ(state.m_byFirmware, c.firmware);
        EXPECT_EQ(state.m_strFirmware, c.firmwareText);
    }
    EXPECT_EQ(state.m_nFrequency, c.frequency);
    if (c.message) {
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text,
                  "Some parameter data in the unit with serial number L7 are missing. Please "
                  "reset the unit!");
        EXPECT_EQ(prompt.messages[0].caption, " Reset Unit");
    } else {
        EXPECT_TRUE(prompt.messages.empty());
        // What a later setup writes back is what the unit holds.
        EXPECT_EQ(state.m_byCalDate0, c.record[0]);
        EXPECT_EQ(state.m_byCalDate1, c.record[1]);
    }
    EXPECT_TRUE(state.m_bConnected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LegacyUnits,
                         ::testing::Values(LegacyCase{"Matching",
                                                      "18 8 2007 1.10 1",
                                                      {0x12, 0x08, 0, 0, 0, 0, 25, 0, 0},
                                                      "AUG-18-2007",
                                                      42,
                                                      "1.10",
                                                      false,
                                                      1700},
                                           LegacyCase{"RecordDisagrees",
                                                      "18 8 2007 1.10 1",
                                                      {0x00, 0x08, 0, 0, 0, 0, 25, 0, 0},
                                                      "AUG-18-2007",
                                                      42,
                                                      "1.10",
                                                      true,
                                                      1700},
                                           LegacyCase{"LowFrequencyModel",
                                                      "18 8 2007 1.10 2",
                                                      {0x12, 0x08, 0, 0, 0, 10, 1, 0, 0},
                                                      "AUG-18-2007",
                                                      42,
                                                      "1.10",
                                                      true,
                                                      150},
                                           LegacyCase{"VersionWithOneDigitMinor",
                                                      "18 8 2007 1.05 1",
                                                      {0x12, 0x08, 0, 0, 0, 0, 25, 0, 0},
                                                      "AUG-18-2007",
                                                      37,
                                                      "1. 5",
                                                      false,
                                                      1700},
                                           LegacyCase{"UnparsableTextKeepsTheRecord",
                                                      "Acme Corp",
                                                      {0x12, 0x85, 0x2A, 0, 0, 0, 25, 0, 0},
                                                      "MAY-18-2015",
                                                      0x2A,
                                                      "1.10",
                                                      false,
                                                      1700},
                                           LegacyCase{"TwoNumbersKeepTheRecord",
                                                      "18 8 Acme",
                                                      {0x12, 0x85, 0x2A, 0, 0, 0, 25, 0, 0},
                                                      "MAY-18-2015",
                                                      0x2A,
                                                      "1.10",
                                                      false,
                                                      1700},
                                           LegacyCase{"DateWithoutVersionKeepsTheFirmware",
                                                      "18 8 2007",
                                                      {0x12, 0x08, 0x2A, 0, 0, 0, 25, 0, 0},
                                                      "AUG-18-2007",
                                                      0x2A,
                                                      "1.10",
                                                      false,
                                                      1700},
                                           LegacyCase{
                                               "HostileNumbers",
                                               "99999999999999999999 -2147483648 2147483647 1e39 2",
                                               {0, 0, 0, 0, 0, 0, 0, 0, 0},
                                               "-2147483647-2147483647",
                                               0,
                                               nullptr,
                                               true,
                                               100}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Sequences, MonthOutsideTheYearGivesAnEmptyName) {
    for (std::uint8_t monthByte : {std::uint8_t{0x80}, std::uint8_t{0x8D}}) {
        TearDown();
        state.m_bConnected = false;
        MeterModelConfig m;
        m.record = {0x12, monthByte, 0x2A, 0, 0, 0, 25, 0, 0};
        Bus({Meter("OV1", m)});
        ASSERT_TRUE(ConnectUnits(*ctx));
        EXPECT_EQ(state.m_strCalDate, "-18-2015");
    }
}

// A unit whose identity cannot be read (a device node given by path has none) has
// an unknown serial number: neither a default, the last unit's nor the
// placeholder the panel put there while nothing was connected.
TEST_F(Sequences, FailedIdentityLeavesTheSerialUnknownAndSkipsLegacyParsing) {
    EXPECT_EQ(state.m_strSerialNumber, "");
    for (const char* before : {"", "OV1", "XXXXXX"}) {
        SCOPED_TRACE(before);
        TearDown();
        state.m_bConnected = false;
        state.m_strSerialNumber = before;
        state.m_strManufacturer = "Dunmarsh";
        SimDeviceConfig d = Meter("OV9");
        d.failEeprom = true;
        d.manufacturer = "18 8 2007 1.10 1";
        Bus({d});
        ASSERT_TRUE(ConnectUnits(*ctx));
        EXPECT_EQ(state.m_strSerialNumber, "");
        EXPECT_EQ(state.m_strManufacturer, "");
        EXPECT_EQ(state.m_strCalDate, "MAY-18-2015");
        EXPECT_TRUE(prompt.messages.empty());
    }
}

TEST_F(Sequences, FailedRecordReadLeavesTheDeviceOpenAndNotConnected) {
    MeterModelConfig m;
    m.answerRequests = false;
    Bus({Meter("OV1", m)});
    state.m_strCalDate = "unchanged";
    EXPECT_FALSE(ConnectUnits(*ctx));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, kMsgReadFailed);
    EXPECT_FALSE(state.m_bConnected);
    EXPECT_EQ(driver->OpenSerial(), "OV1");
    EXPECT_EQ(state.m_strCalDate, "unchanged");
}

TEST_F(Sequences, ReconnectClosesTheHeldDeviceFirst) {
    Bus({Meter("OV1")});
    ASSERT_TRUE(ConnectUnits(*ctx));
    ASSERT_TRUE(ConnectUnits(*ctx));
    EXPECT_EQ(driver->CloseCount(), 1);
    EXPECT_EQ(driver->OpenCount(), 2);
    EXPECT_TRUE(state.m_bConnected);
}

// ---- setup -----------------------------------------------------------------

class Setup : public Sequences {
protected:
    void Connect(MeterModelConfig m = {}) {
        Bus({Meter("OV1", m)});
        ASSERT_TRUE(ConnectUnits(*ctx));
        prompt.messages.clear();
    }
    std::string LastMessage() const {
        return prompt.messages.empty() ? std::string() : prompt.messages.back().text;
    }
};

TEST_F(Setup, NotConnectedSendsNothing) {
    Bus({Meter("OV1")});
    EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::NotConnected);
    EXPECT_EQ(LastMessage(), "No Orvane Connected!");
}

TEST_F(Setup, WritesTheRecordAndReportsSuccess) {
    Connect();
    controls.frequency = " 1700 ";
    controls.cableLoss = "2.25";
    controls.showDbm = true;
    controls.showWatt = false;
    EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Success);
    EXPECT_EQ(LastMessage(), "This unit has been set successfully!");
    EXPECT_TRUE(prompt.questions.empty());
    EXPECT_EQ(driver->MeterRecord(), (Bytes{0x12, 0x85, 0x2A, 22, 0x01, 0, 25, 0, 0}));
    EXPECT_EQ(Received(0xE3), 2);
    EXPECT_TRUE(state.m_bConnected);
    EXPECT_FALSE(state.m_bShowWatt);
    EXPECT_DOUBLE_EQ(state.m_dCableLoss, 2.25);
}

TEST_F(Setup, CableLossRounding) {
    Connect();
    controls.frequency = "1700";
    // A comma is taken as the decimal point: "2,5" is 2.5 dB, never 2.
    for (auto [text, expected] : {std::pair{"2.26", 23}, std::pair{"0", 0}, std::pair{"25.5", 255},
                                  std::pair{"2,5", 25}, std::pair{" 1,25 ", 12}}) {
        controls.cableLoss = text;
        EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Success);
        EXPECT_EQ(driver->MeterRecord()[3], expected) << text;
    }
}

TEST_F(Setup, AnAbandonedWaitEndsAtOnceWithoutAMessage) {
    MeterModelConfig m;
    m.acknowledgeWrites = false;
    Connect(m);
    std::atomic<bool> abandon{false};
    controls.cableLoss = "0";
    controls.frequency = "1700";
    // The window is closed two seconds into the wait for the acknowledgement.
    struct ClosingClock : SteppingClock {
        using SteppingClock::SteppingClock;
        void SleepMs(int ms) override {
            SteppingClock::SleepMs(ms);
            if (sleptMs >= 2000)
                abandon->store(true);
        }
        std::atomic<bool>* abandon = nullptr;
    } closing(100);
    closing.abandon = &abandon;
    ctx = std::make_unique<UnitContext>(
        UnitContext{*meter, *driver, state, controls, prompt, closing, sink, {}, &abandon});
    const std::size_t messages = prompt.messages.size();
    EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Abandoned);
    EXPECT_LT(closing.sleptMs, 2100);
    EXPECT_EQ(prompt.messages.size(), messages);
}

TEST_F(Setup, TheCableLossIsShownAsTheUnitIsGivenIt) {
    Connect();
    controls.frequency = "1700";
    const std::pair<const char*, const char*> cases[] = {
        {"3,5", "3.5"}, {" 3.54", "3.5"}, {"3.55", "3.5"}, {"12", "12.0"}, {"0.05e1", "0.5"}};
    for (const auto& [typed, shown] : cases) {
        SCOPED_TRACE(typed);
        controls.cableLoss = typed;
        EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Success);
        EXPECT_EQ(controls.cableLoss, shown);
    }
}

TEST_F(Setup, NumbersThatAreNotWhollyNumbersAreRefusedAndNothingIsWritten) {
    Connect();
    struct Case {
        const char* cableLoss;
        const char* frequency;
        const char* message;
    };
    const Case cases[] = {
        {"30.0", "1700",
         "Cable loss or other correction: 30.0 is out of range; enter a number from 0 to 25.5 dB"},
        {"-1", "1700",
         "Cable loss or other correction: -1 is out of range; enter a number from 0 to 25.5 dB"},
        {"abc", "1700",
         "Cable loss or other correction: \"abc\" is not a number; enter a number from 0 to "
         "25.5 dB"},
        {"2.5dB", "1700",
         "Cable loss or other correction: \"2.5dB\" is not a number; enter a number from 0 to "
         "25.5 dB"},
        {"", "1700",
         "Cable loss or other correction: \"\" is not a number; enter a number from 0 to 25.5 dB"},
        {"0", "1700.5",
         "Frequency: \"1700.5\" is not a whole number; enter a whole number from 150 to 2700 MHz"},
        {"0", "1800abc",
         "Frequency: \"1800abc\" is not a number; enter a whole number from 150 to 2700 MHz"},
        {"0", "0x700",
         "Frequency: \"0x700\" is not a number; enter a whole number from 150 to 2700 MHz"},
        {"0", "MHz",
         "Frequency: \"MHz\" is not a number; enter a whole number from 150 to 2700 MHz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cableLoss) + " / " + c.frequency);
        controls.cableLoss = c.cableLoss;
        controls.frequency = c.frequency;
        EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::InvalidInput);
        EXPECT_EQ(LastMessage(), c.message);
        EXPECT_EQ(controls.frequency, std::string(c.cableLoss) == "0" ? "1700" : c.frequency);
    }
    EXPECT_EQ(Received(0xE3), 0);
    EXPECT_TRUE(prompt.questions.empty());
    EXPECT_TRUE(state.m_bConnected);
}

struct FrequencyCase {
    const char* text;
    bool lowFrequency;
    bool askExpected;
    bool answer;
    bool accepted;
    std::uint8_t byte5, byte6;
};

TEST_F(Setup, FrequencyRangesAndTheLowFrequencyQuestion) {
    Connect();
    controls.cableLoss = "0.0";
    const FrequencyCase cases[] = {
        {"1700", false, false, false, true, 0, 25}, {"450", false, true, true, true, 30, 8},
        {"700", false, false, false, true, 0, 0},   {"2700", false, false, false, true, 0, 50},
        {"2701", false, false, false, false, 0, 0}, {"150", true, false, false, true, 10, 1},
        {"149", true, false, false, false, 0, 0},   {"2700", true, false, false, true, 0, 65},
        {"100", false, false, false, false, 0, 0},
    };
    for (const FrequencyCase& c : cases) {
        SCOPED_TRACE(c.text);
        state.m_bLowFrequency = c.lowFrequency;
        prompt.questions.clear();
        prompt.yesNo = {c.answer};
        controls.frequency = c.text;
        const SetupResult result = OnSetupUnit(*ctx);
        EXPECT_EQ(prompt.questions.size(), c.askExpected ? 1u : 0u);
        if (c.accepted) {
            EXPECT_EQ(result, SetupResult::Success);
            EXPECT_EQ(driver->MeterRecord()[5], c.byte5);
            EXPECT_EQ(driver->MeterRecord()[6], c.byte6);
            EXPECT_EQ((driver->MeterRecord()[4] & 0x20) != 0, state.m_bLowFrequency);
        } else {
            EXPECT_EQ(result, SetupResult::OutOfRange);
            // 150 MHz up either way: a unit not known to be calibrated below 700 MHz
            // is asked about it when such a number is entered.
            EXPECT_EQ(LastMessage(), std::string("Frequency (") + c.text +
                                         " MHz) is out of range! Enter 150 to 2700 MHz.");
            EXPECT_EQ(controls.frequency, "1700");
        }
    }
}

TEST_F(Setup, LowFrequencyQuestionAnsweredNoRefuses450) {
    Connect();
    controls.cableLoss = "0";
    controls.frequency = "699";
    prompt.yesNo = {false};
    EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::OutOfRange);
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.questions[0].text,
              "Has this unit been calibrated for low frequency from 150 to 700 MHz?");
    EXPECT_EQ(LastMessage(), "Frequency (699 MHz) is out of range! Enter 700 to 2700 MHz.");
    EXPECT_EQ(Received(0xE3), 0);
}

TEST_F(Setup, UnitThatNeverAcknowledgesFailsAfterTenSeconds) {
    MeterModelConfig m;
    m.acknowledgeWrites = false;
    Connect(m);
    clock = SteppingClock(3595);
    controls.cableLoss = "0";
    controls.frequency = "1700";
    EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Failed);
    EXPECT_EQ(LastMessage(), "The unit can not be set properly! Please reconnect the unit.");
    EXPECT_FALSE(state.m_bConnected);
    EXPECT_GE(clock.sleptMs, 9000);
    EXPECT_LE(clock.sleptMs, 10000);
    EXPECT_EQ(Received(0xE3), 1);
}

TEST_F(Setup, ReadBackWithAnotherFrequencyFails) {
    MeterModelConfig m;
    m.readBackStepDelta = 1;
    Connect(m);
    controls.cableLoss = "0";
    controls.frequency = "1700";
    EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Failed);
    EXPECT_FALSE(state.m_bConnected);
    EXPECT_EQ(Received(0xE3), 1);
}

TEST_F(Setup, UnitThatStopsAnsweringHalfwayFails) {
    struct Case {
        const char* name;
        int acknowledgedWrites;
        int answeredRecordReads;
        int writes;
    };
    for (const Case c :
         {Case{"second write not acknowledged", 1, -1, 2}, Case{"no read-back reply", -1, 1, 1}}) {
        SCOPED_TRACE(c.name);
        TearDown();
        state.m_bConnected = false;
        prompt = ScriptedPrompt();
        MeterModelConfig m;
        m.acknowledgedWrites = c.acknowledgedWrites;
        m.answeredRecordReads = c.answeredRecordReads;
        Connect(m);
        controls.cableLoss = "0";
        controls.frequency = "1700";
        EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Failed);
        EXPECT_EQ(LastMessage(), "The unit can not be set properly! Please reconnect the unit.");
        EXPECT_EQ(prompt.messages.size(), 1u);
        EXPECT_FALSE(state.m_bConnected);
        EXPECT_EQ(Received(0xE3), c.writes);
    }
}

// Time passes fifty times faster than the sequence's pauses ask for.
class RushingClock : public SteppingClock {
public:
    using SteppingClock::SteppingClock;
    void SleepMs(int ms) override { SteppingClock::SleepMs(ms * 50); }
};

TEST_F(Setup, AcknowledgementAfterTenSecondsIsTooLate) {
    MeterModelConfig m;
    m.ackDelayMs = 400;  // real time: far beyond ten seconds of the sequence's clock
    Connect(m);
    RushingClock rushing(600);
    ctx = std::make_unique<UnitContext>(
        UnitContext{*meter, *driver, state, controls, prompt, rushing, sink, {}});
    controls.cableLoss = "0";
    controls.frequency = "1700";
    EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Failed);
    EXPECT_FALSE(state.m_bConnected);
    EXPECT_EQ(Received(0xE3), 1);
    EXPECT_GE(rushing.sleptMs, 9000);
    EXPECT_LE(rushing.sleptMs, 11000);
}

TEST_F(Setup, LateButTimelyAcknowledgementSucceeds) {
    MeterModelConfig m;
    m.ackDelayMs = 100;
    Connect(m);
    controls.cableLoss = "0";
    controls.frequency = "1700";
    EXPECT_EQ(OnSetupUnit(*ctx), SetupResult::Success);
}

}  // namespace
}  // namespace velquor
