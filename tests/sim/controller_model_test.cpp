#include "sim/controller_model.h"
#include "sim/pty_simulator.h"

#include "common/enum_int.h"
#include "protocol/msg_frames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kestrova {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes ReadVector{0x24, 0x6D, 0x50, 0x0A, 0x00, 0x00, 0x02, 0x00, 0x23, 0xD6, 0xF6};
const Bytes WriteVector{0x24, 0x4D, 0x50, 0x0A, 0x00, 0x00, 0x02,
                        0x00, 0xF4, 0x01, 0x23, 0x2F, 0x3D};

// Request frames come from the utility's own builders.
Bytes ReadFrame(std::uint32_t address, std::uint16_t count) {
    RequestChannel ch;
    ch.RequestAddress = address;
    ch.RequestCount = count;
    ch.BuildReadRequest();
    return Bytes(ch.TxFrame.begin(), ch.TxFrame.begin() + ch.FrameLength);
}

Bytes WriteFrame(std::uint32_t address, std::int32_t value, int size) {
    RequestChannel ch;
    ch.RequestAddress = address;
    ch.RequestCount = static_cast<std::uint16_t>(size);
    ch.RequestData[0] = static_cast<std::uint32_t>(value);
    ch.BuildWriteRequest(size);
    return Bytes(ch.TxFrame.begin(), ch.TxFrame.begin() + ch.FrameLength);
}

Bytes Take(ControllerModel& model) {
    SimReply reply;
    if (!model.PopReply(reply)) {
        return {};
    }
    return Bytes(reply.bytes.begin(), reply.bytes.begin() + reply.length);
}

Bytes Exchange(ControllerModel& model, const Bytes& request) {
    model.Feed(request.data(), request.size());
    return Take(model);
}

// The reply as the utility judges it: ReplyResult, payload in ch.
std::int16_t Judge(RequestChannel& ch, const Bytes& reply, std::uint8_t command,
                   std::uint16_t count) {
    ch.SetReply(reply.data(), reply.size());
    return ToInt(ch.ParseReply(command, count));
}

std::int32_t ReadValue(ControllerModel& model, std::uint32_t address, int size) {
    RequestChannel ch;
    const std::int16_t result =
        Judge(ch, Exchange(model, ReadFrame(address, static_cast<std::uint16_t>(size))), 'm',
              static_cast<std::uint16_t>(size));
    EXPECT_EQ(result, 0) << "read at " << address;
    if (size == 1) {
        return ch.Payload[0];
    }
    return static_cast<std::int16_t>(ch.Payload[0] | (ch.Payload[1] << 8));
}

std::int16_t WriteResult(ControllerModel& model, std::uint32_t address, std::int32_t value,
                         int size) {
    RequestChannel ch;
    return Judge(ch, Exchange(model, WriteFrame(address, value, size)), 'M', 0);
}

constexpr std::uint32_t Pan = 0x0A50;
constexpr std::uint32_t Tilt = 0x0A70;

TEST(ControllerModel, AnswersTheReferenceFrames) {
    ControllerModel model;
    EXPECT_EQ(Exchange(model, WriteVector), (Bytes{0x2B, 0x24, 0x4F, 0x4B, 0x23, 0x4C, 0x08}));
    EXPECT_EQ(model.AxisAt(Axis::Pan).neutral, 500);
    EXPECT_EQ(Exchange(model, ReadVector), (Bytes{0x2B, 0x24, 0xF4, 0x01, 0x23, 0x0B, 0x4D}));

    // Byte by byte, and two requests in one piece: the same replies, in order.
    for (std::uint8_t b : ReadVector) {
        model.Feed(&b, 1);
    }
    EXPECT_EQ(Take(model), (Bytes{0x2B, 0x24, 0xF4, 0x01, 0x23, 0x0B, 0x4D}));
    Bytes both = WriteFrame(Pan, 700, 2);
    both.insert(both.end(), ReadVector.begin(), ReadVector.end());
    model.Feed(both.data(), both.size());
    EXPECT_EQ(model.PendingReplies(), 2u);
    EXPECT_EQ(Take(model), (Bytes{0x2B, 0x24, 0x4F, 0x4B, 0x23, 0x4C, 0x08}));
    RequestChannel ch;
    EXPECT_EQ(Judge(ch, Take(model), 'm', 2), 0);
    EXPECT_EQ(ch.Payload[0] | (ch.Payload[1] << 8), 700);
    EXPECT_EQ(model.Stats().requests, 5u);
}

TEST(ControllerModel, MemoryMapHoldsTheControllerValues) {
    ControllerModel model;
    EXPECT_EQ(ReadValue(model, 0x0A00, 2), 1305);
    EXPECT_EQ(ReadValue(model, 0x0A04, 1), 1);
    for (int axis = 0; axis < 3; ++axis) {
        const std::uint32_t base = SimAxisBase[static_cast<std::size_t>(axis)];
        const AxisState& a = model.AxisAt(Axes[axis]);
        EXPECT_EQ(ReadValue(model, base + 0x00, 2), a.neutral);
        EXPECT_EQ(ReadValue(model, base + 0x02, 2), a.posAdjust);
        EXPECT_EQ(ReadValue(model, base + 0x04, 2), a.negAdjust);
        EXPECT_EQ(ReadValue(model, base + 0x06, 2), 200);
        EXPECT_EQ(ReadValue(model, base + 0x08, 2), a.output);
        EXPECT_EQ(ReadValue(model, base + 0x0A, 1), 0);
    }
    // One read over a whole axis block gives the same bytes as the single reads.
    RequestChannel ch;
    ASSERT_EQ(Judge(ch, Exchange(model, ReadFrame(Tilt, 16)), 'm', 16), 0);
    EXPECT_EQ(ch.Payload[6] | (ch.Payload[7] << 8), 200);
    EXPECT_EQ(static_cast<std::int16_t>(ch.Payload[0] | (ch.Payload[1] << 8)),
              model.AxisAt(Axis::Tilt).neutral);
    // The link test byte at address 0 takes any value (the special points use it).
    EXPECT_EQ(WriteResult(model, 0x0000, 0xB1, 1), 0);
    EXPECT_EQ(ReadValue(model, 0x0000, 1), 0xB1);
    // Count 0: an empty good reply.
    EXPECT_EQ(Exchange(model, ReadFrame(0x0A00, 0)).size(), 5u);
    EXPECT_EQ(Judge(ch, Exchange(model, ReadFrame(0x0A00, 0)), 'm', 0), 0);
    // Largest read: 123 bytes in a 128-byte reply.
    EXPECT_EQ(Judge(ch, Exchange(model, ReadFrame(0x0A00, 123)), 'm', 123), -9);  // > payload
    EXPECT_EQ(Exchange(model, ReadFrame(0x0A00, 123)).size(), 128u);
}

TEST(ControllerModel, RefusedRequestsGetErrorReplies) {
    ControllerModel model;
    RequestChannel ch;
    const std::int16_t panOutput = model.AxisAt(Axis::Pan).output;
    // Read-only values, and an unused byte.
    EXPECT_EQ(WriteResult(model, 0x0A00, 9999, 2), -128 - 3);  // firmware version
    EXPECT_EQ(WriteResult(model, 0x0A02, 0, 2), -131);         // heartbeat
    EXPECT_EQ(WriteResult(model, Pan + 0x06, 50, 2), -131);    // adjust maximum
    EXPECT_EQ(WriteResult(model, Pan + 0x08, 0, 2), -131);     // output
    EXPECT_EQ(WriteResult(model, 0x0A06, 1, 1), -131);         // unused
    EXPECT_EQ(ReadValue(model, 0x0A00, 2), 1305);
    EXPECT_EQ(model.AxisAt(Axis::Pan).adjustMax, 200);
    EXPECT_EQ(model.AxisAt(Axis::Pan).output, panOutput);
    // A write that also touches a read-only byte changes nothing, not even the writable part.
    const std::int16_t neg = model.AxisAt(Axis::Pan).negAdjust;
    {
        RequestChannel w;
        w.RequestAddress = Pan + 0x04;
        w.RequestCount = 4;
        w.RequestData[0] = 10;
        w.RequestData[1] = 10;
        w.BuildWriteRequest(2);
        const Bytes frame(w.TxFrame.begin(), w.TxFrame.begin() + w.FrameLength);
        EXPECT_EQ(Judge(ch, Exchange(model, frame), 'M', 0), -131);
    }
    EXPECT_EQ(model.AxisAt(Axis::Pan).negAdjust, neg);

    // Outside the memory, including an address that would wrap 32 bits.
    EXPECT_EQ(Judge(ch, Exchange(model, ReadFrame(0x0B00, 1)), 'm', 1), -130);
    EXPECT_EQ(Judge(ch, Exchange(model, ReadFrame(0x0AFF, 2)), 'm', 2), -130);
    EXPECT_EQ(Judge(ch, Exchange(model, ReadFrame(0xFFFFFFFF, 2)), 'm', 2), -130);
    EXPECT_EQ(Judge(ch, Exchange(model, ReadFrame(0x0AFF, 1)), 'm', 1), 0);
    EXPECT_EQ(WriteResult(model, 0x0B00, 1, 1), -130);
    // Too many bytes for a reply; a write whose count travels without data.
    EXPECT_EQ(Judge(ch, Exchange(model, ReadFrame(0x0000, 124)), 'm', 124), -132);
    {
        RequestChannel w;
        w.RequestAddress = Pan;
        w.RequestCount = 60;
        w.BuildWriteRequest(2);
        const Bytes frame(w.TxFrame.begin(), w.TxFrame.begin() + w.FrameLength);
        EXPECT_EQ(frame.size(), 11u);
        EXPECT_EQ(Judge(ch, Exchange(model, frame), 'M', 0), -132);
    }
    EXPECT_EQ(model.Stats().errorReplies, 12u);
}

TEST(ControllerModel, AdjustValuesAreLimited) {
    ControllerModel model;
    EXPECT_EQ(WriteResult(model, Pan + 0x02, 250, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 200);
    EXPECT_EQ(WriteResult(model, Pan + 0x02, -3, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 0);
    EXPECT_EQ(WriteResult(model, Pan + 0x04, 199, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).negAdjust, 199);
    EXPECT_EQ(ReadValue(model, Pan + 0x04, 2), 199);
    EXPECT_EQ(WriteResult(model, Pan + 0x04, 201, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).negAdjust, 200);
    EXPECT_EQ(WriteResult(model, Pan, 5000, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).neutral, 4095);
    EXPECT_EQ(WriteResult(model, Pan, -1, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).neutral, 0);

    // Mode values outside their set are refused and leave the mode as it was.
    EXPECT_EQ(WriteResult(model, Pan + 0x0A, 2, 1), 0);
    EXPECT_EQ(WriteResult(model, Pan + 0x0A, 3, 1), -133);
    EXPECT_EQ(model.AxisAt(Axis::Pan).mode, 2);
    EXPECT_EQ(WriteResult(model, 0x0A04, 2, 1), -133);
    EXPECT_EQ(model.ControllerMode(), 1);
}

TEST(ControllerModel, RestoreTargetsFollowTheAxisMode) {
    ControllerModel model;
    const std::int16_t pos = model.AxisAt(Axis::Pan).posAdjust;
    const std::int16_t neg = model.AxisAt(Axis::Pan).negAdjust;
    // Normal: the targets keep what is written, the adjust values do not move.
    EXPECT_EQ(WriteResult(model, Pan + 0x0C, 150, 2), 0);
    EXPECT_EQ(WriteResult(model, Pan + 0x0E, 40, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, pos);
    EXPECT_EQ(model.AxisAt(Axis::Pan).negAdjust, neg);
    EXPECT_EQ(ReadValue(model, Pan + 0x0C, 2), 150);
    EXPECT_EQ(ReadValue(model, Pan + 0x0E, 2), 40);

    // Increment: the positive target sets the positive value (limited), not the negative one.
    EXPECT_EQ(WriteResult(model, Pan + 0x0A, 1, 1), 0);
    EXPECT_EQ(WriteResult(model, Pan + 0x0C, 150, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 150);
    EXPECT_EQ(WriteResult(model, Pan + 0x0C, 250, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 200);
    EXPECT_EQ(ReadValue(model, Pan + 0x0C, 2), 250);
    EXPECT_EQ(WriteResult(model, Pan + 0x0E, 7, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).negAdjust, neg);

    // Decrement: the negative target sets the negative value.
    EXPECT_EQ(WriteResult(model, Pan + 0x0A, 2, 1), 0);
    EXPECT_EQ(WriteResult(model, Pan + 0x0E, 170, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).negAdjust, 170);
    EXPECT_EQ(WriteResult(model, Pan + 0x0E, -5, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).negAdjust, 0);
    EXPECT_EQ(WriteResult(model, Pan + 0x0C, 33, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 200);

    // Each axis follows its own mode: Tilt is still Normal.
    const std::int16_t tiltPos = model.AxisAt(Axis::Tilt).posAdjust;
    EXPECT_EQ(WriteResult(model, Tilt + 0x0C, 99, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Tilt).posAdjust, tiltPos);
}

TEST(ControllerModel, IgnoredWritesAreAcknowledgedAndChangeNothing) {
    ControllerModel model;
    model.IgnoreWritesTo(Pan + 0x0D);  // any byte of the Pan positive restore target
    model.Reset();
    EXPECT_EQ(WriteResult(model, Pan + 0x0A, 1, 1), 0);
    const std::int16_t pos = model.AxisAt(Axis::Pan).posAdjust;
    EXPECT_EQ(WriteResult(model, Pan + 0x0C, 150, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, pos);
    EXPECT_EQ(ReadValue(model, Pan + 0x0C, 2), 0);
    EXPECT_EQ(WriteResult(model, Pan, 1000, 2), 0);  // other values are taken over
    EXPECT_EQ(model.AxisAt(Axis::Pan).neutral, 1000);
}

TEST(ControllerModel, LegacyModeUsesTheLegacyRange) {
    ControllerModel model;
    const std::int16_t pos = model.AxisAt(Axis::Pan).posAdjust;  // 120
    ASSERT_EQ(pos, 120);
    EXPECT_EQ(WriteResult(model, 0x0A04, 0, 1), 0);
    EXPECT_EQ(model.ControllerMode(), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 13304 + 1229);  // 120 of 200 -> 1228.8 of 2048
    EXPECT_EQ(ReadValue(model, 0x0A04, 1), 0);
    EXPECT_EQ(WriteResult(model, Pan + 0x02, 100, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 13304);
    EXPECT_EQ(WriteResult(model, Pan + 0x02, 16000, 2), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 15352);
    EXPECT_EQ(ReadValue(model, Pan + 0x02, 2), 15352);
    // Back to enhanced: the full legacy value is the full maximum, and a value survives the
    // round trip.
    EXPECT_EQ(WriteResult(model, 0x0A04, 1, 1), 0);
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 200);
    EXPECT_EQ(model.AxisAt(Axis::Tilt).posAdjust, 60);

    ControllerModel legacy;
    legacy.Reset(0);
    EXPECT_EQ(legacy.ControllerMode(), 0);
    EXPECT_EQ(legacy.AdjustLow(), 13304);
    EXPECT_EQ(legacy.AdjustHigh(Axis::Pan), 15352);
    EXPECT_GE(legacy.AxisAt(Axis::Roll).posAdjust, 13304);
}

TEST(ControllerModel, ResynchronisesOnStrayBytes) {
    ControllerModel model;
    // Stray bytes, a '$' that starts nothing, then a request.
    Bytes line{0x00, 0xFF, 'x', '$', 'Q', 0x23};
    line.insert(line.end(), ReadVector.begin(), ReadVector.end());
    model.Feed(line.data(), line.size());
    EXPECT_EQ(model.PendingReplies(), 1u);
    EXPECT_EQ(model.Stats().strayBytes, 6u);

    // A request with a damaged checksum gets no reply; the next good one does.
    Take(model);
    Bytes bad = ReadVector;
    bad[10] ^= 0x01;
    bad.insert(bad.end(), ReadVector.begin(), ReadVector.end());
    model.Feed(bad.data(), bad.size());
    EXPECT_EQ(model.PendingReplies(), 1u);
    EXPECT_EQ(model.Stats().badFrames, 1u);
    // A missing closing '#' is just as bad.
    Take(model);
    Bytes noHash = ReadVector;
    noHash[8] = 0x24;
    model.Feed(noHash.data(), noHash.size());
    EXPECT_EQ(model.PendingReplies(), 0u);

    // A stray "$M" that claims a long write swallows the request behind it; once the line has
    // been quiet for the frame time-out the controller gives it up and finds the request.
    ControllerModel m2;
    const Bytes fake{'$', 'M', 0, 0, 0, 0, 53, 0};
    m2.Feed(fake.data(), fake.size());
    m2.Feed(ReadVector.data(), ReadVector.size());
    EXPECT_EQ(m2.PendingReplies(), 0u);
    m2.Tick(SimFrameTimeoutMs - 1);
    EXPECT_EQ(m2.PendingReplies(), 0u);
    m2.Tick(1);
    EXPECT_EQ(m2.PendingReplies(), 1u);
    EXPECT_EQ(m2.Stats().frameTimeouts, 1u);
    RequestChannel ch;
    EXPECT_EQ(Judge(ch, Take(m2), 'm', 2), 0);

    // A reply queue that overflows loses the newest replies, never memory.
    ControllerModel m3;
    for (std::size_t i = 0; i < SimReplyQueueSize + 3; ++i) {
        m3.Feed(ReadVector.data(), ReadVector.size());
    }
    EXPECT_EQ(m3.PendingReplies(), SimReplyQueueSize);
    EXPECT_EQ(m3.Stats().lostReplies, 3u);
}

TEST(ControllerModel, WheelsSwingWithinTheTrim) {
    ControllerModel model;
    std::array<int, 3> low{99999, 99999, 99999};
    std::array<int, 3> high{-99999, -99999, -99999};
    for (int ms = 0; ms < 13000; ms += 10) {
        model.Tick(10);
        for (int axis = 0; axis < 3; ++axis) {
            const AxisState& a = model.AxisAt(Axes[axis]);
            low[axis] = std::min<int>(low[axis], a.output);
            high[axis] = std::max<int>(high[axis], a.output);
            ASSERT_GE(a.output, a.neutral - a.negAdjust);
            ASSERT_LE(a.output, a.neutral + a.posAdjust);
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        const AxisState& a = model.AxisAt(Axes[axis]);
        EXPECT_LE(low[axis], a.neutral - a.negAdjust + 1) << axis;
        EXPECT_GE(high[axis], a.neutral + a.posAdjust - 1) << axis;
    }
    EXPECT_EQ(model.Heartbeat(), 130);
    EXPECT_EQ(ReadValue(model, 0x0A02, 2), 130);
    EXPECT_EQ(ReadValue(model, Pan + 0x08, 2), model.AxisAt(Axis::Pan).output);

    // No trim: the output sits on the neutral value.
    EXPECT_EQ(WriteResult(model, Pan + 0x02, 0, 2), 0);
    EXPECT_EQ(WriteResult(model, Pan + 0x04, 0, 2), 0);
    for (int i = 0; i < 50; ++i) {
        model.Tick(97);
        ASSERT_EQ(model.AxisAt(Axis::Pan).output, model.AxisAt(Axis::Pan).neutral);
    }
}

TEST(FaultInjector, SpoilsRepliesAsAsked) {
    ControllerModel model;
    model.Feed(ReadVector.data(), ReadVector.size());
    SimReply good;
    ASSERT_TRUE(model.PopReply(good));
    RequestChannel ch;
    auto judge = [&](const SimReply& r) {
        ch.SetReply(r.bytes.data(), r.length);
        return ToInt(ch.ParseReply('m', 2));
    };

    SimReply r = good;
    FaultInjector none(FaultSettings{});
    FaultOutcome o = none.Apply(r);
    EXPECT_TRUE(o.send);
    EXPECT_FALSE(o.corrupted || o.errorInjected || o.garbageLength > 0);
    EXPECT_EQ(judge(r), 0);

    FaultInjector drop(FaultSettings{1.0, 0.0, 0.0, 0.0, 1});
    EXPECT_FALSE(drop.Apply(r).send);

    r = good;
    FaultInjector error(FaultSettings{0.0, 0.0, 1.0, 0.0, 1});
    EXPECT_TRUE(error.Apply(r).errorInjected);
    EXPECT_EQ(judge(r), -128 - 0x10);

    r = good;
    FaultInjector corrupt(FaultSettings{0.0, 1.0, 0.0, 0.0, 1});
    EXPECT_TRUE(corrupt.Apply(r).corrupted);
    EXPECT_EQ(judge(r), -1);

    r = good;
    FaultInjector garbage(FaultSettings{0.0, 0.0, 0.0, 1.0, 1});
    o = garbage.Apply(r);
    EXPECT_GE(o.garbageLength, 1);
    EXPECT_LE(o.garbageLength, 8);
    EXPECT_EQ(judge(r), 0);  // the reply itself is intact

    r = good;
    FaultSettings lateSettings;
    lateSettings.late = 1.0;
    FaultInjector late(lateSettings);
    o = late.Apply(r);
    EXPECT_TRUE(o.send && o.late);
    EXPECT_EQ(judge(r), 0);

    // Half the replies dropped, reproducibly for a seed.
    FaultInjector a(FaultSettings{0.5, 0.0, 0.0, 0.0, 7});
    FaultInjector b(FaultSettings{0.5, 0.0, 0.0, 0.0, 7});
    int dropped = 0;
    for (int i = 0; i < 1000; ++i) {
        SimReply ra = good;
        SimReply rb = good;
        const bool sa = a.Apply(ra).send;
        ASSERT_EQ(sa, b.Apply(rb).send);
        dropped += sa ? 0 : 1;
    }
    EXPECT_GT(dropped, 400);
    EXPECT_LT(dropped, 600);
}

}  // namespace
}  // namespace kestrova
