// The parsing rules of IEEE 488.2 / SCPI-1999 as a client meets them, one table per rule.
#include <gtest/gtest.h>

#include "remote/command_table.h"
#include "remote/scpi_values.h"
#include "remote_test_support.h"

namespace velquor::remote {
namespace {

using testing::Bench;

struct Case {
    const char* line;
    const char* reply;  // the reply line, "<none>" when there is none
    int error;          // first error queued, 0 for none
};

void Check(Bench& b, const Case& c) {
    EXPECT_EQ(b.Ask(c.line), c.reply) << c.line;
    EXPECT_EQ(b.Error(), c.error) << c.line;
}

TEST(ScpiRules, ShortOrLongFormOnlyAnyCaseOptionalNodes) {
    Bench b;
    const Case cases[] = {
        {"AVER:COUN?", "1", 0},
        {"sense:average:count?", "1", 0},
        {"SeNs:AvEr:CoUn?", "1", 0},
        {"AVERA:COUN?", "<none>", -113},  // neither short nor long
        {"AVERAGES:COUN?", "<none>", -113},
        {"MEASU?", "<none>", -113},
        {"FREQ?", "1.700000E+09", 0},
        {"SENS:FREQ:CW?", "1.700000E+09", 0},
        {"FREQUENCY:FIXED?", "1.700000E+09", 0},
        {"FREQ:CW:FIX?", "<none>", -113},  // alternatives, not both
        {":SYST:ERR:NEXT?", "0,\"No error\"", 0},
        {"SYSTEM:VERSION?", "1999.0", 0},
        {"CORR:LOSS2:INP:MAGN?", "0.000000E+00", 0},
        {"CORR:LOSS?", "<none>", -113},  // the 2 belongs to the name
        {"*idn?", "VELQUOR,RA,OV227700,1.2.3", 0},
        {"*IDN", "<none>", -113},  // no command form
        {"AVER:COUN", "<none>", -109},
        {"AVER:COUN? 1,2", "<none>", -108},
        {"ABCDEFGHIJKLM?", "<none>", -112},
        {"FREQ?x", "<none>", -111},
        {"AVER::COUN?", "<none>", -102},
        {"@", "<none>", -102},
        {"\x80?", "<none>", -101},
    };
    for (const Case& c : cases)
        Check(b, c);
}

TEST(ScpiRules, NumericSuffixSelectsTheMeter) {
    Bench b;  // two meters
    const Case cases[] = {
        {"SENS2:AVER:COUN 8", "<none>", 0},
        {"SENS2:AVER:COUN?", "8", 0},
        {"SENS1:AVER:COUN?", "1", 0},
        {"AVER:COUN?", "1", 0},  // omitted is 1
        {"SENSE02:AVER:COUN?", "8", 0},
        {"SENS3:AVER:COUN?", "<none>", -114},
        {"SENS0:AVER:COUN?", "<none>", -114},
        {"SENS9999999:AVER:COUN?", "<none>", -114},
        {"SENS99999999999:AVER:COUN?", "<none>", -112},
        {"SYST1:ERR?", "<none>", -114},  // no suffix belongs there
        {"CORR:LOSS3?", "<none>", -114},
        {"DIAG2:TEMP?", "<none>", -114},
        {"DIAG:TEMP2?", "9.91E37", 0},
    };
    for (const Case& c : cases)
        Check(b, c);
}

TEST(ScpiRules, CompoundLinesKeepThePathAndJoinReplies) {
    Bench b;
    const Case cases[] = {
        {"SENS2:AVER:COUN 4;STAT ON", "<none>", 0},
        {"SENS2:AVER:COUN?;STAT?", "4;1", 0},
        {"SENS2:AVER:COUN 3;*OPC?;COUN?", "1;3", 0},  // common commands keep the path
        {"SENS2:AVER:COUN?;:AVER:COUN?", "3;1", 0},   // ':' goes back to the root
        {"AVER:COUN?;COUN?", "1;1", 0},               // the path is AVER: after the first
        {"AVER:COUN?;AVER:COUN?", "1", -113},         // ... so this is AVER:AVER:COUN?
        {"*IDN?;*OPC?", "VELQUOR,RA,OV227700,1.2.3;1", 0},
        {"FETC?;*OPC?", "1", -230},           // a failed query sends nothing
        {"AVER:COUN 2000;*OPC?", "1", -222},  // execution errors go on
        {"FOO;*OPC?", "<none>", -113},        // a command error ends the line
        {"*OPC?;;*OPC?;", "1;1", 0},
        {"  *OPC?  ;  *OPC? ", "1;1", 0},
    };
    for (const Case& c : cases)
        Check(b, c);
}

TEST(ScpiRules, NumbersUnitsAndMnemonics) {
    Bench b;
    struct Set {
        const char* line;
        const char* query;
        const char* reply;
        int error;
    };
    const Set cases[] = {
        {"FREQ 1.8GHZ", "FREQ?", "1.800000E+09", 0},
        {"FREQ 1900 MHZ", "FREQ?", "1.900000E+09", 0},
        {"FREQ 2.0E9", "FREQ?", "2.000000E+09", 0},
        {"FREQ 1.5 e +9 hz", "FREQ?", "1.500000E+09", 0},
        {"FREQ 1200000KHZ", "FREQ?", "1.200000E+09", 0},
        {"FREQ 433.9MHZ", "FREQ?", "1.200000E+09", -222},  // below the meter's range
        {"FREQ 868.4MHZ", "FREQ?", "8.680000E+08", 0},     // whole MHz
        {"FREQ MAX", "FREQ?", "2.700000E+09", 0},
        {"FREQ min", "FREQ?", "7.000000E+08", 0},
        {"FREQ DEF", "FREQ?", "7.000000E+08", -224},
        {"FREQ 1800DB", "FREQ?", "7.000000E+08", -131},
        {"FREQ 2701MHZ", "FREQ?", "7.000000E+08", -222},
        {"AVER:COUN 4HZ", "AVER:COUN?", "1", -138},
        {"AVER:COUN #H10", "AVER:COUN?", "16", 0},
        {"AVER:COUN #B101", "AVER:COUN?", "5", 0},
        {"AVER:COUN #Q19", "AVER:COUN?", "5", -121},
        {"AVER:COUN 2.6", "AVER:COUN?", "3", 0},
        {"AVER:COUN +.7e1", "AVER:COUN?", "7", 0},
        {"AVER:COUN 1e999", "AVER:COUN?", "7", -222},
        {"AVER:COUN 1e40000", "AVER:COUN?", "7", -123},
        {"AVER:COUN 1.2.3", "AVER:COUN?", "7", -121},
        {"AVER:COUN \"4\"", "AVER:COUN?", "7", -158},
        {"AVER:COUN (4)", "AVER:COUN?", "7", -178},
        {"AVER:COUN #14abcd", "AVER:COUN?", "7", -168},
        {"AVER:COUN \"4", "AVER:COUN?", "7", -151},
        {"AVER:COUN 4,", "AVER:COUN?", "7", -109},
        {"AVER:COUN 4 5", "AVER:COUN?", "7", -103},
        {"AVER:COUN DEF", "AVER:COUN?", "1", 0},
        {"AVER:COUN MAXIMUM", "AVER:COUN?", "1024", 0},
        {"AVER:COUN MIN", "AVER:COUN? MAX", "1024", 0},
        {"AVER:COUN 9", "AVER:COUN? MIN", "1", 0},
        {"CALC:LIM:UPP 1W", "CALC:LIM:UPP?", "3.000000E+01", 0},
        {"CALC:LIM:UPP 10 MW", "CALC:LIM:UPP?", "1.000000E+01", 0},
        {"CALC:LIM:UPP -3.5DBM", "CALC:LIM:UPP?", "-3.500000E+00", 0},
        {"CALC:LIM:UPP 0W", "CALC:LIM:UPP?", "-3.500000E+00", -222},
        {"CALC:LIM:UPP 3DB", "CALC:LIM:UPP?", "-3.500000E+00", -131},
        {"CORR:OFFS -30DB", "CORR:OFFS?", "-3.000000E+01", 0},
        {"CORR:OFFS 100.1", "CORR:OFFS?", "-3.000000E+01", -222},
        {"AVER ON", "AVER?", "1", 0},
        {"AVER 0", "AVER?", "0", 0},
        {"AVER 0.7", "AVER?", "1", 0},
        {"AVER OFF", "AVER?", "0", 0},
        {"AVER MAYBE", "AVER?", "0", -224},
        {"UNIT:POW w", "UNIT:POW?", "W", 0},
        {"UNIT:POW DBUV", "UNIT:POW?", "W", -224},
        {"UNIT:POW 1", "UNIT:POW?", "W", -128},
    };
    for (const Set& c : cases) {
        b.Send(c.line);
        EXPECT_EQ(b.Error(), c.error) << c.line;
        EXPECT_EQ(b.Ask(c.query), c.reply) << c.line;
    }
}

TEST(ScpiRules, ErrorQueueHoldsThirtyAndMarksTheOverflow) {
    Bench b;
    for (int i = 0; i < 31; ++i)
        b.Send("FOO" + std::to_string(i));
    EXPECT_EQ(b.Ask("SYST:ERR:COUN?"), "30");
    EXPECT_EQ(b.Ask("*STB?"), "4");  // EAV
    EXPECT_EQ(b.Ask("SYST:ERR?"), "-113,\"Undefined header;FOO0\"");
    const auto rest = b.Errors();
    ASSERT_EQ(rest.size(), 29u);
    EXPECT_EQ(rest[27], -113);
    EXPECT_EQ(rest[28], -350);  // the newest entry, not the oldest, gives way
    EXPECT_EQ(b.Ask("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(b.Ask("*ESR?"), "32");  // CME
    EXPECT_EQ(b.Ask("*ESR?"), "0");
}

TEST(ScpiRules, LinesEndInLfWithAnOptionalCrAndAreLimitedTo4KiB) {
    Bench b;
    b.session.Receive("*OPC?\r\n*OP");
    b.Drive();
    b.session.Receive("C?\n");
    b.Drive();
    EXPECT_EQ(b.Take(), (std::vector<std::string>{"1", "1"}));
    std::string exact = "*OPC?" + std::string(ScpiSession::kMaxLine - 5, ' ');
    EXPECT_EQ(b.Ask(exact), "1");
    EXPECT_EQ(b.Ask(exact + " "), "<none>");
    EXPECT_EQ(b.Ask(exact + "\r"), "1");
    // A flood without any LF is dropped as it comes, not kept.
    for (int i = 0; i < 100; ++i)
        b.session.Receive(std::string(10000, 'A'));
    EXPECT_LE(b.session.Backlog(), ScpiSession::kMaxLine + 1);
    EXPECT_EQ(b.Ask(";*OPC?"), "<none>");  // the tail of the long line goes with it
    EXPECT_EQ(b.Errors(), (std::vector<int>{-363, -363}));
    EXPECT_EQ(b.Ask("*OPC?"), "1");
}

TEST(ScpiRules, ErrorDetailsStayOneWellFormedString) {
    EXPECT_EQ(FormatError({-113, "A\"B\x01\xff"}), "-113,\"Undefined header;A\"\"B??\"");
    EXPECT_EQ(FormatError({0, ""}), "0,\"No error\"");
    EXPECT_EQ(FormatNr3(-12.34), "-1.234000E+01");
    EXPECT_EQ(FormatNr3(0.001), "1.000000E-03");
    EXPECT_EQ(FormatNr3(-0.0), "0.000000E+00");
    EXPECT_EQ(FormatNr3(std::numeric_limits<double>::quiet_NaN()), "9.91E37");
}

TEST(ScpiRules, PatternsMatchOnlyWhatTheyDescribe) {
    CommandTable t;
    t.Add("[SENSe#]:FREQuency[:CW|:FIXed]?");
    t.Add("MEASure#[:SCALar][:POWer:AC]?");
    auto nodes = [](std::initializer_list<std::pair<const char*, int>> list) {
        std::vector<HeaderNode> v;
        for (auto [n, s] : list)
            v.push_back(HeaderNode{n, s});
        return v;
    };
    EXPECT_EQ(t.Find(nodes({{"MEAS", 2}, {"POW", -1}, {"AC", -1}}), true).channel, 2);
    EXPECT_EQ(t.Find(nodes({{"MEAS", -1}, {"POW", -1}}), true).error, -113);  // group is whole
    EXPECT_EQ(t.Find(nodes({{"MEAS", -1}, {"SCAL", -1}}), true).error, 0);
    EXPECT_EQ(t.Find(nodes({{"FREQ", -1}}), false).error, -113);  // no command form
    EXPECT_EQ(t.Find(nodes({{"SENS", 3}, {"FREQ", 1}}), true).error, -114);
    EXPECT_THROW(t.Add("[FREQ"), std::invalid_argument);
    EXPECT_THROW(t.Add("freq"), std::invalid_argument);
}

}  // namespace
}  // namespace velquor::remote
