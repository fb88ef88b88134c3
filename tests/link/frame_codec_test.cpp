#include <gtest/gtest.h>

#include <vector>

#include "link/frame_codec.h"
#include "link/sim_driver.h"
#include "link/usb.h"

namespace velquor {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(const Bytes& payload) {
    Bytes wire;
    EXPECT_TRUE(EncodeFrame(payload.data(), payload.size(), wire));
    return wire;
}

// A link whose receive hook records every frame; no worker runs.
class RecordingLink : public CUSB {
public:
    explicit RecordingLink(IFtdiDriver& d) : CUSB(d) {}
    void OnReceive(const std::uint8_t* payload, int length) override {
        frames.emplace_back(payload, payload + length);
    }
    void Feed(const Bytes& bytes) { DecodeBytes(bytes.data(), static_cast<int>(bytes.size())); }
    std::vector<Bytes> frames;
};

class DecoderTest : public ::testing::Test {
protected:
    CSimDriver driver{std::vector<SimDeviceConfig>{}};
    RecordingLink link{driver};
};

TEST(EncodeFrame, EscapesOnlyTheEscapeByte) {
    EXPECT_EQ(Encode({}), (Bytes{0x11, 0x12, 0x11, 0x13}));
    EXPECT_EQ(Encode({0x11}), (Bytes{0x11, 0x12, 0x11, 0x14, 0x11, 0x13}));
    EXPECT_EQ(Encode({0xE3, 0x11, 0x05}), (Bytes{0x11, 0x12, 0xE3, 0x11, 0x14, 0x05, 0x11, 0x13}));
    EXPECT_EQ(Encode({0x12, 0x13, 0x14}), (Bytes{0x11, 0x12, 0x12, 0x13, 0x14, 0x11, 0x13}));
}

TEST(EncodeFrame, RefusesWhatCannotFitTheWorkingArea) {
    Bytes out{1, 2, 3};
    const Bytes worst(kMaxSafePayload, 0x11);
    EXPECT_TRUE(EncodeFrame(worst.data(), worst.size(), out));
    EXPECT_EQ(out.size(), kFrameBufferSize);
    const Bytes tooMany(kMaxSafePayload + 1, 0x11);
    EXPECT_FALSE(EncodeFrame(tooMany.data(), tooMany.size(), out));
    EXPECT_TRUE(out.empty());
    // Unescaped bytes take one wire byte each, so a longer plain payload still fits.
    const Bytes plain(kFrameBufferSize - 4, 0x20);
    EXPECT_TRUE(EncodeFrame(plain.data(), plain.size(), out));
    const Bytes plainTooLong(kFrameBufferSize - 3, 0x20);
    EXPECT_FALSE(EncodeFrame(plainTooLong.data(), plainTooLong.size(), out));
}

TEST_F(DecoderTest, RoundTripsPayloadsWithEveryMarkerValue) {
    const Bytes payload{0xE4, 0x11, 0x12, 0x13, 0x14, 0x11, 0x11, 0x00};
    link.Feed(Encode(payload));
    ASSERT_EQ(link.frames.size(), 1u);
    EXPECT_EQ(link.frames[0], payload);
}

TEST_F(DecoderTest, EmptyFrameIsDispatched) {
    link.Feed({0x11, 0x12, 0x11, 0x13});
    ASSERT_EQ(link.frames.size(), 1u);
    EXPECT_TRUE(link.frames[0].empty());
}

TEST_F(DecoderTest, FramesAndEscapesStraddleChunks) {
    link.Feed({0x11});
    link.Feed({0x12, 0xAA, 0x11});
    link.Feed({0x14});
    link.Feed({0x11});
    link.Feed({0x13});
    ASSERT_EQ(link.frames.size(), 1u);
    EXPECT_EQ(link.frames[0], (Bytes{0xAA, 0x11}));
}

struct StreamCase {
    const char* name;
    Bytes stream;
    std::vector<Bytes> expected;
};

class DecoderTable : public DecoderTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(DecoderTable, YieldsExactlyTheExpectedFrames) {
    // Whole stream at once and byte by byte must agree.
    link.Feed(GetParam().stream);
    EXPECT_EQ(link.frames, GetParam().expected);
    RecordingLink single(driver);
    for (std::uint8_t b : GetParam().stream)
        single.Feed({b});
    EXPECT_EQ(single.frames, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DecoderTable,
    ::testing::Values(
        StreamCase{"RepeatedEscapeOutsideFrame", {0x11, 0x11, 0x12, 0xAA, 0x11, 0x13}, {{0xAA}}},
        StreamCase{"StartInsideFrameRestarts",
                   {0x11, 0x12, 0xAA, 0xBB, 0x11, 0x12, 0xCC, 0x11, 0x13},
                   {{0xCC}}},
        StreamCase{"BadEscapeDropsFrame", {0x11, 0x12, 0xAA, 0x11, 0x15, 0xBB, 0x11, 0x13}, {}},
        StreamCase{"DoubleEscapeInsideFrameConsumesSecond",
                   {0x11, 0x12, 0xAA, 0x11, 0x11, 0x12, 0xBB, 0x11, 0x13},
                   {}},
        StreamCase{"TwoFramesInOneChunk",
                   {0x11, 0x12, 0x01, 0x02, 0x11, 0x13, 0x11, 0x12, 0x03, 0x11, 0x13},
                   {{0x01, 0x02}, {0x03}}},
        StreamCase{"JunkBetweenFramesIgnored",
                   {0x00, 0xFF, 0x13, 0x11, 0x13, 0x11, 0x12, 0x07, 0x11, 0x13, 0x42},
                   {{0x07}}},
        StreamCase{"LinkLostWhileFrameOpenIsDelivered",
                   {0x11, 0x12, 0xAA, 0x11, 0x12, 0xF0, 0x11, 0x13},
                   {{0xF0}}},
        StreamCase{"LinkLostAfterEscapeInsideFrameIsLost",
                   {0x11, 0x12, 0xAA, 0x11, 0x11, 0x12, 0xF0, 0x11, 0x13},
                   {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecoderTest, OversizeFrameIsDroppedAndDecodingRecovers) {
    Bytes stream{0x11, 0x12};
    stream.insert(stream.end(), kFrameBufferSize + 10, 0x55);
    stream.push_back(0x11);
    stream.push_back(0x13);
    link.Feed(stream);
    EXPECT_TRUE(link.frames.empty());
    link.Feed(Encode({0xE4, 1, 2, 3, 4}));
    ASSERT_EQ(link.frames.size(), 1u);
    EXPECT_EQ(link.frames[0], (Bytes{0xE4, 1, 2, 3, 4}));
}

TEST_F(DecoderTest, FrameOfExactlyBufferSizeIsKept) {
    // Start marker, 4096 payload bytes of 0x33, end marker.
    Bytes stream(kFrameBufferSize + 4, 0x33);
    stream[0] = 0x11;
    stream[1] = 0x12;
    stream[stream.size() - 2] = 0x11;
    stream[stream.size() - 1] = 0x13;
    link.Feed(stream);
    ASSERT_EQ(link.frames.size(), 1u);
    EXPECT_EQ(link.frames[0].size(), kFrameBufferSize);
}

TEST_F(DecoderTest, LargeJunkStreamUsesBoundedMemoryAndYieldsNothing) {
    Bytes junk;
    for (int i = 0; i < 200000; ++i)
        junk.push_back(static_cast<std::uint8_t>((i * 37) % 251 == 0x11 ? 0x10 : (i * 37) % 251));
    link.Feed(junk);
    EXPECT_TRUE(link.frames.empty());
}

}  // namespace
}  // namespace velquor
