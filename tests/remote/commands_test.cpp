// Each command's reply and *RST value, the measurement through READ?/FETCh?/INITiate,
// and the meter's own setup written through the backend.
#include <gtest/gtest.h>

#include <cmath>

#include "remote/commands.h"
#include "remote/scpi_values.h"
#include "remote_test_support.h"

namespace velquor::remote {
namespace {

using station::ReadingKind;
using testing::Bench;

TEST(Commands, RstRestoresEveryHostSettingAndNotTheMeter) {
    Bench b;
    b.Feed(0, -10.0);
    b.Send("UNIT:POW W;:AVER:COUN 16;STAT ON;:CORR:OFFS 20;OFFS:STAT ON;:CALC:REL 3;REL:STAT ON");
    b.Send("CALC:LIM:UPP -50;LOW -60;STAT ON;:INIT:CONT OFF;:FREQ 2GHZ;CORR:LOSS2 3.5");
    b.Send("*ESE 36;*SRE 16");
    ASSERT_EQ(b.Errors(), std::vector<int>{});
    b.Feed(0, -10.0);
    EXPECT_EQ(b.Ask("CALC:LIM:FCO?"), "1");
    b.Send("*RST");
    const struct {
        const char* query;
        const char* value;
    } after[] = {
        {"UNIT:POW?", "DBM"},
        {"AVER:COUN?", "1"},
        {"AVER?", "0"},
        {"CORR:OFFS?", "0.000000E+00"},
        {"CORR:OFFS:STAT?", "0"},
        {"CALC:REL?", "0.000000E+00"},
        {"CALC:REL:STAT?", "0"},
        {"CALC:LIM:UPP?", "9.000000E+01"},
        {"CALC:LIM:LOW?", "-9.000000E+01"},
        {"CALC:LIM:STAT?", "0"},
        {"CALC:LIM:FCO?", "0"},
        {"CALC:LIM:FAIL?", "0"},
        {"INIT:CONT?", "1"},
        {"CONF?", "\"POW:AC\""},
        {"FETC?", "<none>"},  // nothing measured since *RST
        // The meter's own setup and the client's status are not reset.
        {"FREQ?", "2.000000E+09"},
        {"CORR:LOSS2?", "3.500000E+00"},
        {"CORR:GAIN2?", "-3.500000E+00"},
        {"*ESE?", "36"},
        {"*SRE?", "16"},
        {"SYST:VERS?", "1999.0"},
    };
    for (const auto& a : after)
        EXPECT_EQ(b.Ask(a.query), a.value) << a.query;
    EXPECT_EQ(b.Errors(), std::vector<int>{-230});
    EXPECT_EQ(b.backend.writes.size(), 2u);
}

TEST(Commands, ReadWaitsForAsManyFreshReadingsAsTheAverageAndAveragesPower) {
    Bench b;
    b.Feed(0, -30.0);  // old: not part of the READ?
    b.Send("AVER:COUN 2;STAT ON");
    EXPECT_TRUE(b.Send("READ?").empty());
    b.Feed(0, 0.0);
    EXPECT_TRUE(b.Take().empty());
    b.Feed(0, -10.0);
    // (1 mW + 0.1 mW) / 2, not the mean of the dB values.
    const auto reply = b.Take();
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_NEAR(std::stod(reply[0]), 10 * std::log10(0.55), 1e-5);
    EXPECT_EQ(b.Ask("FETC?"), reply[0]);
    // MEASure? is READ? here; other meters' readings do not count.
    b.Send("MEAS2?");
    b.Feed(0, 5.0);
    b.Feed(1, -20.0);
    EXPECT_EQ(b.Take(), std::vector<std::string>{"-2.000000E+01"});
    EXPECT_EQ(b.Error(), 0);
}

TEST(Commands, AReadDoesNotAverageAcrossReadingsDroppedOnTheWay) {
    Bench b;
    b.Send("AVER:COUN 2;STAT ON");
    EXPECT_TRUE(b.Send("READ?").empty());
    b.Feed(0, 0.0, 25.0, 600.0, 3);
    b.Feed(0, -10.0, 25.0, 600.0, 7);  // 4 to 6 never arrived
    EXPECT_TRUE(b.Take().empty());
    b.Feed(0, -10.0, 25.0, 600.0, 8);
    EXPECT_EQ(b.Take(), std::vector<std::string>{"-1.000000E+01"});
}

TEST(Commands, FetchUnitRelativeLimitsAndDiagnostics) {
    Bench b;
    const struct {
        const char* send;
        double feed;  // NaN: no reading
        const char* query;
        const char* reply;
    } steps[] = {
        {"", NAN, "DIAG:TEMP?", "9.91E37"},
        {"", 0.0, "FETC?", "0.000000E+00"},
        {"", NAN, "DIAG:TEMP1?;:DIAG:BATT?", "2.500000E+01;6.000000E+02"},
        {"UNIT:POW W", NAN, "FETC?", "1.000000E-03"},
        {"CORR:OFFS 10;OFFS:STAT ON", NAN, "FETC?", "<none>"},  // a setting changed
        {"", 0.0, "FETC?", "1.000000E-02"},
        {"CALC:REL:AUTO ONCE", -3.0, "FETC?;:CALC:REL:STAT?", "-3.000000E+00;1"},
        {"CALC:REL:STAT OFF;:UNIT:POW DBM", NAN, "FETC?", "7.000000E+00"},
        {"CALC:LIM:UPP 5;STAT ON", NAN, "CALC:LIM:FAIL?;FCO?", "1;0"},  // 7 dBm > 5
        {"", -3.0, "CALC:LIM:FAIL?;FCO?", "1;1"},
        {"CALC:LIM:LOW 10", NAN, "CALC:LIM:LOW?", "-9.000000E+01"},  // above the upper: refused
        {"CALC:LIM:CLE", -30.0, "CALC:LIM:FAIL?;FCO?", "0;0"},
        {"", 0.0, "CALC:LIM:FAIL?;FCO?", "1;1"},
    };
    for (const auto& s : steps) {
        if (*s.send != '\0')
            b.Send(s.send);
        if (!std::isnan(s.feed))
            b.Feed(0, s.feed);
        EXPECT_EQ(b.Ask(s.query), s.reply) << s.send << " / " << s.query;
    }
    EXPECT_EQ(b.Errors(), (std::vector<int>{-230, -221}));
}

// DIAG:BATT? keeps the raw gauge number peers rely on; PERC? and LOW? are the gauge's.
TEST(Commands, BatteryAsRawPercentAndLow) {
    Bench b;
    EXPECT_EQ(b.Ask("DIAG:BATT:PERC?;LOW?"), "9.91E37;9.91E37");  // no reading yet
    const struct {
        double raw;
        const char* reply;
    } cases[] = {
        {636.0, "6.360000E+02;68;0"},
        {576.0, "5.760000E+02;0;1"},
        {700.0, "7.000000E+02;100;0"},
    };
    for (const auto& c : cases) {
        b.Feed(0, -10.0, 25.0, c.raw);
        EXPECT_EQ(b.Ask("DIAG:BATT?;BATT:PERC?;LOW?"), c.reply) << c.raw;
    }
    EXPECT_EQ(b.Error(), 0);
}

TEST(Commands, InitiateWithContinuousOffKeepsOneResult) {
    Bench b;
    b.Send("INIT");
    EXPECT_EQ(b.Error(), -213);  // continuous measurement runs already
    b.Send("INIT:CONT OFF");
    b.Feed(0, -5.0);
    EXPECT_EQ(b.Ask("FETC?"), "<none>");
    EXPECT_EQ(b.Error(), -230);
    EXPECT_TRUE(b.Send("INIT;*OPC?").empty());  // *OPC? waits for the INIT
    b.Feed(0, -6.0);
    EXPECT_EQ(b.Take(), std::vector<std::string>{"1"});
    b.Feed(0, -7.0);
    EXPECT_EQ(b.Ask("FETC?"), "-6.000000E+00");
    b.Send("CONF");
    EXPECT_EQ(b.Ask("FETC?"), "<none>");
    EXPECT_EQ(b.Error(), -230);
}

TEST(Commands, ALostMeterEndsWaitsAndAnswersNothingStale) {
    Bench b;
    b.Feed(1, -10.0);
    b.Send("READ2?");
    b.Event(1, ReadingKind::LinkLost);
    EXPECT_TRUE(b.Take().empty());
    EXPECT_EQ(b.Ask("FETC2?;READ2?;DIAG:TEMP2?"), "9.91E37");
    EXPECT_EQ(b.Errors(), (std::vector<int>{-241, -241, -241}));
    b.Send("SENS2:FREQ 1GHZ");
    EXPECT_EQ(b.Error(), -241);
    EXPECT_TRUE(b.backend.writes.empty());
    b.Event(1, ReadingKind::Reconnected);
    b.Feed(1, -11.0);
    EXPECT_EQ(b.Ask("FETC2?"), "-1.100000E+01");
    // A meter that falls silent without a loss report: the wait ends at its bound.
    b.Send("READ?");
    b.now_ns += 5'000'000'000;
    b.inst.Tick();
    b.Drive();
    EXPECT_TRUE(b.Take().empty());
    EXPECT_EQ(b.Error(), -230);
}

TEST(Commands, SelfTestNamesTheMetersNotAnswering) {
    Bench b;
    b.Feed(0, -10.0);
    b.Feed(1, -10.0);
    EXPECT_EQ(b.Ask("*TST?"), "0");
    b.now_ns += 2'000'000'000;
    b.Feed(0, -10.0);
    EXPECT_EQ(b.Ask("*TST?"), "2");
    EXPECT_EQ(b.Errors(), std::vector<int>{-330});
}

TEST(Commands, MeterSetupGoesThroughTheBackendAndReportsItsFailure) {
    Bench b;
    b.Feed(0, -10.0);
    b.Send("FREQ 2.1GHZ;:CORR:LOSS2 2.25;:SENS2:CORR:GAIN2 -1.5DB");
    ASSERT_EQ(b.backend.writes.size(), 3u);
    EXPECT_EQ(b.backend.writes[0].frequency_mhz, 2100);
    EXPECT_FALSE(b.backend.writes[0].cable_loss_db);
    EXPECT_EQ(b.backend.writes[1].cable_loss_db, 2.25);
    EXPECT_EQ(b.backend.writes[2].cable_loss_db, 1.5);
    EXPECT_EQ(b.Ask("FREQ?;:CORR:LOSS2?;:SENS2:CORR:GAIN2?"),
              "2.100000E+09;2.250000E+00;-1.500000E+00");
    EXPECT_EQ(b.Ask("FETC?"), "<none>");  // the meter's setup changed
    EXPECT_EQ(b.Errors(), std::vector<int>{-230});
    b.backend.answers[0] = WriteStatus::Failed;
    b.Send("CORR:LOSS2 4");
    b.backend.answers[0] = WriteStatus::Gone;
    b.Send("CORR:LOSS2 4");
    b.Send("CORR:LOSS2 25.6;:CORR:GAIN2 0.1");
    EXPECT_EQ(b.Errors(), (std::vector<int>{-240, -241, -222, -222}));
    EXPECT_EQ(b.Ask("CORR:LOSS2?"), "2.250000E+00");
    b.backend.setups[0].low_frequency = true;
    b.backend.answers[0] = WriteStatus::Done;
    b.Send("FREQ 150MHZ");
    EXPECT_EQ(b.Ask("FREQ?;FREQ? MIN"), "1.500000E+08;1.500000E+08");
}

TEST(Commands, StatusRegistersFollowIeee4882) {
    Bench b;
    EXPECT_EQ(b.Ask("*IDN?"), "VELQUOR,RA,OV227700,1.2.3");
    b.Send("*OPC");
    EXPECT_EQ(b.Ask("*ESR?"), "1");
    b.Send("*ESE 32;*SRE 32");
    b.Send("BAD");
    EXPECT_EQ(b.Ask("*STB?"), "100");          // EAV + ESB + MSS
    EXPECT_EQ(b.Ask("*OPC?;*STB?"), "1;116");  // with a reply waiting: MAV
    b.Send("*CLS");
    EXPECT_EQ(b.Ask("*STB?;*ESR?;SYST:ERR:COUN?"), "0;0;0");
    b.Send("*SRE 255;*ESE 256");
    EXPECT_EQ(b.Ask("*SRE?;*ESE?"), "191;32");
    EXPECT_EQ(b.Error(), -222);
    // Identity fields stay parsable whatever the meter reports.
    EXPECT_EQ(IdentityReply({"x", "A,B;\"C\x01", "", ""}, "1.0"), "VELQUOR,0,A_B__C_,1.0");
    EXPECT_EQ(MeterIdentityReply({"x", "S,1", "R\nA", "1;2"}), "ORVANE,R_A,S_1,1_2");
    EXPECT_EQ(FormatString("a\"b;\x01"), "\"a\"\"b;?\"");
}

// What instrument drivers send first, and channel lists in place of the suffix.
TEST(Commands, DriverCommandsAndChannelListsAreValid) {
    Bench b;  // two meters
    b.Feed(0, -5.0);
    b.Feed(1, -6.0);
    const struct {
        const char* line;
        const char* reply;  // "<none>" when there is none
        int error;          // first error queued, 0 for none
    } cases[] = {
        {"SYST:VERS?;*OPT?", "1999.0;0", 0},
        {"STAT:PRES;:STAT:OPER?;QUES?", "0;0", 0},
        {"STAT:OPER:COND?;:STAT:QUES:COND?", "0;0", 0},
        {"STAT:QUES:ENAB 65535;ENAB?;PTR?;NTR?", "32767;32767;0", 0},
        {"STAT:PRES;:STAT:QUES:ENAB?;:STAT:OPERATION:ENABLE?", "0;0", 0},
        {"STAT:OPER:ENAB 70000", "<none>", -222},
        {"ABOR;:ABOR2;:INIT:CONT ON;:INIT:CONT?", "1", 0},
        {"FETC:POW?;:FETC:SCAL:POW?;:FETC:POW:AC?;:FETC:SCAL:AC?",
         "-5.000000E+00;-5.000000E+00;-5.000000E+00;-5.000000E+00", 0},
        {"FETC? (@2)", "-6.000000E+00", 0},
        {"FETC? DEF,DEF,(@2)", "-6.000000E+00", 0},
        {"FETC2:POW? ( @ 2 )", "-6.000000E+00", 0},
        {"CONF:POW:AC DEF,3,(@1);:CONF? (@1)", "\"POW:AC\"", 0},
        {"AVER:COUN 4,(@2);COUN? (@2);:AVER:COUN?", "4;1", 0},
        {"INIT:CONT OFF,(@2);:INIT:CONT? (@2);:INIT:CONT?", "0;1", 0},
        {"INIT:CONT ON,(@2)", "<none>", 0},
        {"FETC? -30DBM,0.01", "-5.000000E+00", 0},
        {"FETC2? (@1)", "<none>", -224},  // suffix and list disagree
        {"FETC? (@1,2)", "<none>", -224},
        {"FETC? (@3)", "<none>", -222},
        {"FETC? (@0)", "<none>", -222},
        {"FETC? (@1:99999)", "<none>", -222},
        {"FETC? (@x)", "<none>", -171},
        {"FETC? (1)", "<none>", -178},
        {"FETC? 250", "<none>", -222},
        {"FETC? DEF,9", "<none>", -222},
        {"FETC? \"x\"", "<none>", -158},
        {"FETC? DEF,DEF,DEF", "<none>", -108},
        {"SYST:CHAN:COUN?", "2", 0},
        {"SYST:CHAN2:IDN?;SNUM?;NAME?", "ORVANE,RA,OV227701,0;\"OV227701\";\"OV227701\"", 0},
        {"SYSTEM:CHANNEL:SNUMBER? (@2)", "\"OV227701\"", 0},
        {"SYST:CHAN3:IDN?", "<none>", -114},
        {"SYST:CHAN2:COUN?", "<none>", -114},
        {"*IDN? (@1)", "<none>", -108},  // no channel there
        {"SYST:ERR? (@1)", "<none>", -108},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(b.Ask(c.line), c.reply) << c.line;
        EXPECT_EQ(b.Error(), c.error) << c.line;
    }
    // The measuring queries of every form wait for a fresh reading of their channel.
    for (const char* query : {"MEAS:POW?", "MEAS:SCAL:POW?", "READ:POW?", "MEAS? DEF,DEF,(@2)",
                              "READ:SCAL:POW:AC? (@2)"}) {
        const bool second = std::string(query).find("@2") != std::string::npos;
        EXPECT_TRUE(b.Send(query).empty()) << query;
        b.Feed(second ? 0 : 1, -1.0);
        EXPECT_TRUE(b.Take().empty()) << query;
        b.Feed(second ? 1 : 0, -2.0);
        EXPECT_EQ(b.Take(), std::vector<std::string>{"-2.000000E+00"}) << query;
        EXPECT_EQ(b.Error(), 0) << query;
    }
    // A meter on a pseudo-terminal has no serial number: its name is its path.
    testing::FakeBackend pty(1);
    pty.ids[0] = {"/dev/pts/3", "", "ViridIrivi RA", "1.10"};
    Instrument ptyInst(pty);
    EXPECT_EQ(testing::Client(ptyInst).Ask("SYST:CHAN:IDN?;SNUM?;NAME?"),
              "ORVANE,ViridIrivi RA,0,1.10;\"\";\"/dev/pts/3\"");
    b.Send("FOO;");
    b.Send("BAR");
    EXPECT_EQ(b.Ask("SYST:ERR:ALL?"),
              "-113,\"Undefined header;FOO\",-113,\"Undefined header;BAR\"");
    EXPECT_EQ(b.Ask("SYST:ERR:ALL?;COUN?"), "0,\"No error\";0");
}

TEST(Commands, TriggersTakeAFreshMeasurementForFetch) {
    Bench b;
    b.Send("INIT:CONT OFF;:INIT2:CONT OFF");
    EXPECT_TRUE(b.Send("*TRG;*OPC?").empty());  // every channel
    b.Feed(0, -1.0);
    EXPECT_TRUE(b.Take().empty());
    b.Feed(1, -2.0);
    EXPECT_EQ(b.Take(), std::vector<std::string>{"1"});
    EXPECT_EQ(b.Ask("FETC?;FETC2?"), "-1.000000E+00;-2.000000E+00");
    EXPECT_TRUE(b.Send("TRIG2;:FETC2?").empty());
    b.Feed(1, -3.0);
    EXPECT_EQ(b.Take(), std::vector<std::string>{"-3.000000E+00"});
    // With continuous measurement on, a trigger still waits for a fresh reading.
    EXPECT_TRUE(b.Send("INIT:CONT ON;:TRIG:IMM;*OPC?").empty());
    b.Feed(0, -4.0);
    EXPECT_EQ(b.Take(), std::vector<std::string>{"1"});
    EXPECT_EQ(b.Error(), 0);
    b.Event(1, ReadingKind::LinkLost);
    b.Send("*TRG");
    b.Feed(0, -5.0);
    EXPECT_EQ(b.Errors(), std::vector<int>{-241});
}

TEST(Commands, StatusRegistersReportLimitsLostMetersAndMeasuring) {
    Bench b;
    testing::Client other(b.inst);
    b.backend.reconnects = true;
    b.Send("CALC:LIM:UPP -10;STAT ON");
    b.Feed(0, 0.0);
    EXPECT_EQ(b.Ask("STAT:QUES:COND?;:STAT:QUES?;:STAT:QUES?"), "1032;1032;0");  // POWer + over
    b.Feed(0, -100.0);
    // Under the lower limit now: only that bit rose; falls are not events by default.
    EXPECT_EQ(b.Ask("STAT:QUES:COND?;:STAT:QUES?"), "2056;2048");
    b.Send("STAT:QUES:NTR 2048;PTR 0");
    b.Feed(0, -20.0);
    EXPECT_EQ(b.Ask("STAT:QUES?"), "2048");  // it fell
    // A lost meter sets QUEStionable 512 and, while it is looked for, OPERation 256;
    // an enabled event shows in the status byte (QUEStionable 8, OPERation 128).
    b.Send("STAT:PRES;:STAT:QUES:ENAB 512;:STAT:OPER:ENAB 256;*SRE 136");
    b.Event(1, ReadingKind::LinkLost);
    EXPECT_EQ(b.Ask("*STB?;:STAT:QUES:COND?;:STAT:OPER:COND?"), "200;512;256");
    b.Send("*CLS");
    EXPECT_EQ(b.Ask("*STB?;:STAT:QUES?;:STAT:QUES:COND?"), "0;0;512");
    b.Event(1, ReadingKind::Reconnected);
    b.Feed(1, -20.0);
    EXPECT_EQ(b.Ask("STAT:QUES:COND?;:STAT:OPER:COND?"), "0;0");
    // MEASuring (16) while any client waits for readings; each client has its own events.
    b.Send("READ?");
    EXPECT_EQ(other.Ask("STAT:OPER:COND?"), "16");
    b.Feed(0, -20.0);
    EXPECT_EQ(b.Take().size(), 1u);
    EXPECT_EQ(other.Ask("STAT:OPER:COND?;:STAT:OPER?;:STAT:OPER?"), "0;272;0");
    // A parameter accepted but not used is a command warning (QUEStionable 16384).
    b.Send("CONF DEF,DEF;:STAT:QUES?");
    EXPECT_EQ(b.Ask("STAT:QUES?"), "0");
    b.Send("CONF -20DBM");
    EXPECT_EQ(b.Ask("STAT:QUES?"), "16384");
    EXPECT_EQ(b.Errors(), std::vector<int>{});
    EXPECT_EQ(other.Errors(), std::vector<int>{});
}

}  // namespace
}  // namespace velquor::remote
