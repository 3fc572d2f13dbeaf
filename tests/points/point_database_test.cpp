#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "points/point_database.h"
#include "support/internals_probe.h"

namespace kestrova {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

bool SameRecord(const PointRecord& a, const PointRecord& b) {
    const auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d); };
    return a.RawValue == b.RawValue && a.Name == b.Name && a.Address == b.Address &&
           a.Mem_Type == b.Mem_Type && a.Internal == b.Internal && a.Pt_Flags == b.Pt_Flags &&
           bits(a.ScaleMult) == bits(b.ScaleMult) && bits(a.ScaleOffset) == bits(b.ScaleOffset) &&
           bits(a.ScaleMin) == bits(b.ScaleMin) && bits(a.ScaleMax) == bits(b.ScaleMax) &&
           bits(a.ScaledValue) == bits(b.ScaledValue) && a.Msg_Flags == b.Msg_Flags &&
           a.Network_0 == b.Network_0 && a.Network_1 == b.Network_1 && a.Network_2 == b.Network_2 &&
           a.Network_3 == b.Network_3 && a.Read_Idx == b.Read_Idx && a.Write_Idx == b.Write_Idx &&
           a.Msg_Count == b.Msg_Count;
}

bool SameTable(const PointDatabase& a, const PointDatabase& b) {
    for (int i = 0; i < MaxPoints; ++i) {
        if (!SameRecord(a.PointTable()[i], b.PointTable()[i])) return false;
    }
    return true;
}

// A cleared table, every point on the controller's network address 2,0,0,0.
PointDatabase ClearedOnController() {
    PointDatabase db;
    for (int i = 0; i < MaxPoints; ++i) {
        db.ClearPoint(i);
        PointRecord& p = InternalsProbe::PointTable(db)[i];
        p.Network_0 = 2;
        p.Network_1 = p.Network_2 = p.Network_3 = 0;
    }
    return db;
}

TEST(PointTable, ClearPointSetsClearedValuesAndKeepsMsgCount) {
    PointDatabase db;
    PointRecord& p = InternalsProbe::PointTable(db)[7];
    p = {1, {}, 2, 3, 4, 0xFFFFFFFF, 5, 6, 7, 8, 9, 0xFFFFFFFF, 1, 2, 3, 4, 5, 6, 321};
    db.SetPointName(7, "Pan_PosAdjust");

    EXPECT_TRUE(db.ClearPoint(7));
    EXPECT_EQ(p.RawValue, 0);
    EXPECT_EQ(db.PointName(7), "");
    EXPECT_EQ(p.Address | p.Mem_Type | p.Internal, 0);
    EXPECT_EQ(p.Pt_Flags, 0u);
    EXPECT_EQ(p.Msg_Flags, 0u);
    EXPECT_EQ(p.ScaleMult, 1.0);
    EXPECT_EQ(p.ScaleOffset, 0.0);
    EXPECT_EQ(p.ScaleMin, -66000.0);
    EXPECT_EQ(p.ScaleMax, 66000.0);
    EXPECT_EQ(p.ScaledValue, 0.0);
    for (int word : {p.Network_0, p.Network_1, p.Network_2, p.Network_3, p.Read_Idx, p.Write_Idx})
        EXPECT_EQ(word, -1);
    EXPECT_EQ(p.Msg_Count, 321);
}

TEST(PointTable, GuardedOperationsRefuseOutOfRangePointsAndChangeNothing) {
    PointDatabase db = ClearedOnController();
    InternalsProbe::PointTable(db)[39].Pt_Flags = PtNetReadWrite;
    const PointDatabase before = db;
    for (int bad : {-1, 40, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        EXPECT_FALSE(db.ClearPoint(bad));
        EXPECT_FALSE(db.SetPointRaw(bad, 5));
        EXPECT_FALSE(db.ScalePoint(bad));
        EXPECT_FALSE(db.SetPointScaled(bad, 5.0));
        EXPECT_FALSE(db.UnscalePoint(bad));
        EXPECT_FALSE(db.SetPointName(bad, "x"));
        EXPECT_EQ(db.WritePoint(bad, 5.0), 0);
        EXPECT_EQ(db.PointName(bad), "");
        // The unguarded operations never reach past the table either.
        EXPECT_FALSE(db.PointNeedsScaling(bad));
        EXPECT_FALSE(db.PointWriteBusy(bad));
        EXPECT_FALSE(db.RequestPointRead(bad, 0, 2, 0, 0, 0));
        db.CompletePointTransfer(bad, true, true);
        db.ClearPointWriteIdx(bad);
        db.SetPointWriteError(bad);
    }
    EXPECT_TRUE(SameTable(db, before));
    EXPECT_EQ(db.WritePoint(39, 5.0), 1);
    EXPECT_EQ(db.PointTable()[39].RawValue, 5);
}

TEST(PointTable, ScaleRawValueClampsWithMinimumTestedFirst) {
    const auto check = [](std::int32_t raw, double mult, double offset, double min, double max,
                          double value, bool clamped) {
        const ScaleResult r = PointDatabase::ScaleRawValue(raw, mult, offset, min, max);
        EXPECT_EQ(r.value, value) << raw << "*" << mult << "+" << offset;
        EXPECT_EQ(r.clamped, clamped) << raw << "*" << mult << "+" << offset;
    };
    check(100000, 1.0, 0.0, -66000.0, 66000.0, 66000.0, true);
    check(-100000, 1.0, 0.0, -66000.0, 66000.0, -66000.0, true);
    check(12, 0.5, 1.0, -66000.0, 66000.0, 7.0, false);
    check(66000, 1.0, 0.0, -66000.0, 66000.0, 66000.0, false);  // bounds themselves pass
    check(-66000, 1.0, 0.0, -66000.0, 66000.0, -66000.0, false);
    check(1, NaN, 0.0, -5.0, 5.0, -5.0, true);  // not a number gives the minimum
    check(1, std::numeric_limits<double>::infinity(), 0.0, -5.0, 5.0, 5.0, true);
    // Minimum above maximum: below the minimum gives the minimum, anything else the maximum.
    check(0, 1.0, 0.0, 10.0, -10.0, 10.0, true);
    check(20, 1.0, 0.0, 10.0, -10.0, -10.0, true);
}

TEST(PointTable, SetPointScaledTruncatesClampsAndRaisesWriteRequests) {
    PointDatabase db = ClearedOnController();
    const auto raw = [&](double value) {
        EXPECT_TRUE(db.SetPointScaled(3, value));
        return db.PointTable()[3].RawValue;
    };
    EXPECT_EQ(raw(12.7), 12);
    EXPECT_EQ(raw(-12.7), -12);
    EXPECT_EQ(raw(1e12), 2147483647);
    EXPECT_EQ(raw(-1e12), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(raw(NaN), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(raw(100000.0), 100000);  // ScaleMin/ScaleMax are not applied in this direction
    EXPECT_EQ(db.PointTable()[3].ScaledValue, 100000.0);
    EXPECT_EQ(db.PointTable()[3].Msg_Flags, 0u);  // not network-writable: no request
    EXPECT_EQ(db.PointTable()[3].Pt_Flags & PtScaledChanged, 0u);

    InternalsProbe::PointTable(db)[3].ScaleMult = 0.5;
    InternalsProbe::PointTable(db)[3].ScaleOffset = 1.0;
    EXPECT_EQ(raw(7.0), 12);

    // A zero multiplier stores the largest raw value but raises no write request, so the
    // stand-in never reaches the controller; WritePoint reports the write as not done.
    InternalsProbe::PointTable(db)[4].ScaleMult = 0.0;
    InternalsProbe::PointTable(db)[4].Pt_Flags = PtNetWrite;
    EXPECT_TRUE(db.SetPointScaled(4, 3.0));
    EXPECT_EQ(db.PointTable()[4].RawValue, 2147483647);
    EXPECT_EQ(db.PointTable()[4].Msg_Flags, 0u);
    EXPECT_FALSE(db.UnscalePoint(4));
    EXPECT_FALSE(db.WritePoint(4, 3.0));
    EXPECT_EQ(db.PointTable()[4].Msg_Flags, 0u);
    EXPECT_TRUE(db.WritePoint(3, 3.0));

    const auto requestsWrite = [&](std::uint32_t flags) {
        db.ClearPoint(5);
        InternalsProbe::PointTable(db)[5].Pt_Flags = flags;
        db.WritePoint(5, 1.0);
        return (db.PointTable()[5].Msg_Flags & MsgWriteRequest) != 0;
    };
    EXPECT_TRUE(requestsWrite(PtNetReadWrite));
    EXPECT_TRUE(requestsWrite(PtNetWrite | 64));
    EXPECT_FALSE(requestsWrite(PtNetRead));
    EXPECT_FALSE(requestsWrite(PtScanClassMask | PtTypeMask));
}

// A value a rounding error off a step is that step (12.3 on steps of 0.1 divides to
// 122.99999999999999); a value between two steps is truncated, and is not a whole step.
TEST(PointTable, RawFromScaledTakesNearStepsAsTheStep) {
    struct Row {
        double value, mult, offset, raw;
        bool whole;
    };
    for (const Row& r : {Row{12.3, 0.1, 0.0, 123.0, true}, Row{-12.3, 0.1, 0.0, -123.0, true},
                         Row{100.6, 1.0, 0.0, 100.0, false}, Row{7.0, 0.5, 1.0, 12.0, true},
                         Row{7.2, 0.5, 1.0, 12.0, false}}) {
        EXPECT_EQ(PointDatabase::RawFromScaled(r.value, r.mult, r.offset), r.raw) << r.value;
        EXPECT_EQ(PointDatabase::WholeRawFromScaled(r.value, r.mult, r.offset).has_value(), r.whole)
            << r.value;
    }
    EXPECT_FALSE(PointDatabase::WholeRawFromScaled(3.0, 0.0, 0.0));
}

TEST(PointTable, RawAndScaledChangeMarks) {
    PointDatabase db = ClearedOnController();
    InternalsProbe::PointTable(db)[39].ScaleMult = 2.0;
    EXPECT_FALSE(db.ScaleChangedPoints());

    EXPECT_TRUE(db.SetPointRaw(0, 21));
    EXPECT_TRUE(db.SetPointRaw(39, 21));
    EXPECT_TRUE(db.PointNeedsScaling(0));
    EXPECT_TRUE(db.ScaleChangedPoints());
    EXPECT_EQ(db.PointTable()[0].ScaledValue, 21.0);
    EXPECT_EQ(db.PointTable()[39].ScaledValue, 42.0);
    EXPECT_FALSE(db.PointNeedsScaling(39));
    EXPECT_FALSE(db.ScaleChangedPoints());

    // A written engineering value is not overwritten by the next scaling pass.
    db.SetPointScaled(8, 12.5);
    EXPECT_FALSE(db.ScaleChangedPoints());
    EXPECT_EQ(db.PointTable()[8].ScaledValue, 12.5);
    EXPECT_EQ(db.PointTable()[8].RawValue, 12);

    // A clamped scaling still counts as done and clears raw-changed.
    db.SetPointRaw(9, 1000000);
    EXPECT_TRUE(db.ScalePoint(9));
    EXPECT_EQ(db.PointTable()[9].ScaledValue, 66000.0);
    EXPECT_FALSE(db.PointNeedsScaling(9));
}

TEST(PointTable, NameIsCutTo63Characters) {
    PointDatabase db;
    const std::string longName(80, 'n');
    EXPECT_TRUE(db.SetPointName(10, longName));
    EXPECT_EQ(db.PointName(10), longName.substr(0, 63));
    EXPECT_EQ(db.PointTable()[10].Name[63], '\0');
    db.SetPointName(10, std::string(63, 'a'));
    EXPECT_EQ(db.PointName(10), std::string(63, 'a'));
    db.SetPointName(10, "Pan");
    EXPECT_EQ(db.PointName(10), "Pan");
}

TEST(PointTable, ReadinessAndBusyMarks) {
    PointDatabase db = ClearedOnController();
    PointRecord& p = InternalsProbe::PointTable(db)[12];
    EXPECT_FALSE(db.PointReadyForRead(12, 2, 0, 0, 0));
    EXPECT_FALSE(db.PointWriteBusy(12));

    p.Msg_Flags = MsgReadRequest | MsgWriteRequest;
    EXPECT_TRUE(db.PointReadyForRead(12, 2, 0, 0, 0));
    EXPECT_TRUE(db.PointReadyForWrite(12, 2, 0, 0, 0));
    EXPECT_TRUE(db.PointWriteBusy(12));
    EXPECT_FALSE(db.PointReadyForRead(12, 2, 0, 0, 1));
    EXPECT_FALSE(db.PointReadyForWrite(12, 3, 0, 0, 0));
    EXPECT_FALSE(db.PointReadyForWrite(12, 2, 1, 0, 0));
    EXPECT_FALSE(db.PointReadyForRead(12, 2, 0, 1, 0));

    p.Read_Idx = 4;
    p.Write_Idx = 0;
    EXPECT_FALSE(db.PointReadyForRead(12, 2, 0, 0, 0));
    EXPECT_FALSE(db.PointReadyForWrite(12, 2, 0, 0, 0));

    db.ClearPointWriteRequest(12);
    EXPECT_TRUE(db.PointWriteBusy(12));  // slot still in use
    db.ClearPointWriteIdx(12);
    EXPECT_FALSE(db.PointWriteBusy(12));
    p.Pt_Flags = PtScaledChanged;
    EXPECT_TRUE(db.PointWriteBusy(12));
}

TEST(PointTable, CompletePointTransferHonoursPersistantMode) {
    PointDatabase db = ClearedOnController();
    PointRecord& p = InternalsProbe::PointTable(db)[20];
    const std::uint32_t both = MsgReadRequest | MsgWriteRequest;

    db.SetPersistantMode(true);
    p.Msg_Flags = both;
    db.CompletePointTransfer(20, true, true);
    EXPECT_EQ(p.Msg_Flags, both | MsgReadError);  // request stands, to be tried again
    db.CompletePointTransfer(20, true, false);
    EXPECT_EQ(p.Msg_Flags, MsgWriteRequest | MsgReadError);  // error stays after a success
    db.CompletePointTransfer(20, false, true);
    EXPECT_EQ(p.Msg_Flags, MsgWriteRequest | MsgReadError | MsgWriteError);
    db.CompletePointTransfer(20, false, false);
    EXPECT_EQ(p.Msg_Flags, MsgReadError | MsgWriteError);

    db.SetPersistantMode(false);
    p.Msg_Flags = both;
    db.CompletePointTransfer(20, true, true);
    EXPECT_EQ(p.Msg_Flags, MsgWriteRequest | MsgReadError);
    db.CompletePointTransfer(20, false, true);
    EXPECT_EQ(p.Msg_Flags, MsgReadError | MsgWriteError);

    p.Read_Idx = 3;
    InternalsProbe::PointTable(db)[0].Write_Idx = 7;
    InternalsProbe::PointTable(db)[39].Msg_Flags = MsgReadError | MsgReadRequest;
    EXPECT_TRUE(db.ClearAllTransferErrors());
    EXPECT_EQ(p.Msg_Flags, 0u);
    EXPECT_EQ(db.PointTable()[39].Msg_Flags, MsgReadRequest);
    EXPECT_EQ(p.Read_Idx, 3);
    EXPECT_TRUE(db.ClearAllTransferSlots());
    EXPECT_EQ(p.Read_Idx, -1);
    EXPECT_EQ(db.PointTable()[0].Write_Idx, -1);
}

TEST(PointTable, ScanPointsRequestsReadsPerScanClass) {
    PointDatabase db = ClearedOnController();
    const std::uint32_t class2 = 0x20000000;
    InternalsProbe::PointTable(db)[1].Pt_Flags = PtNetRead | class2;       // requested
    InternalsProbe::PointTable(db)[2].Pt_Flags = PtNetReadWrite | class2;  // requested
    InternalsProbe::PointTable(db)[3].Pt_Flags = PtNetWrite | class2;      // not readable
    InternalsProbe::PointTable(db)[4].Pt_Flags = PtNetRead | 0x10000000;   // class 1
    InternalsProbe::PointTable(db)[5].Pt_Flags = PtNetRead | class2;
    InternalsProbe::PointTable(db)[5].Network_3 = 1;         // other address
    InternalsProbe::PointTable(db)[6].Pt_Flags = PtNetRead;  // class 0
    for (int k = 4; k < ScanTimerCount; ++k) InternalsProbe::ScanDue(db)[k] = 1;
    InternalsProbe::ScanDue(db)[2] = 1;

    EXPECT_EQ(db.ScanPoints(), 0);
    for (int i = 0; i < MaxPoints; ++i)
        EXPECT_EQ(db.PointTable()[i].Msg_Flags, (i == 1 || i == 2) ? MsgReadRequest : 0u) << i;
    EXPECT_EQ(db.ScanDue()[2], 0);
    for (int k = 4; k < ScanTimerCount; ++k) EXPECT_EQ(db.ScanDue()[k], 1);

    InternalsProbe::ScanDue(db)[0] = InternalsProbe::ScanDue(db)[1] = 1;
    db.ScanPoints();
    EXPECT_EQ(db.PointTable()[4].Msg_Flags, MsgReadRequest);
    EXPECT_EQ(db.PointTable()[6].Msg_Flags, MsgReadRequest);
    EXPECT_EQ(db.PointTable()[3].Msg_Flags, 0u);
    EXPECT_EQ(db.ScanDue()[0] + db.ScanDue()[1], 0);
}

TEST(PointTable, ScanTimersFireEveryPeriodPlusOneTicks) {
    PointDatabase db;
    db.SetScanPeriod(0, 0);
    db.SetScanPeriod(1, 3);
    db.SetScanPeriod(15, 10);
    std::array<std::string, 3> fired;
    for (int tick = 1; tick <= 12; ++tick) {
        db.TickScanTimers();
        if (tick == 1) {
            for (int k = 0; k < ScanTimerCount; ++k) EXPECT_EQ(db.ScanDue()[k], 1) << k;
        }
        int slot = 0;
        for (int k : {0, 1, 15}) {
            if (db.ScanDue()[k] == 1) fired[slot] += std::to_string(tick) + " ";
            InternalsProbe::ScanDue(db)[k] = 0;
            ++slot;
        }
    }
    EXPECT_EQ(fired[0], "1 2 3 4 5 6 7 8 9 10 11 12 ");
    EXPECT_EQ(fired[1], "1 5 9 ");
    EXPECT_EQ(fired[2], "1 12 ");

    // A negative period counts on through the wrap-around instead of overflowing.
    InternalsProbe::ScanCounters(db)[2] = std::numeric_limits<std::int32_t>::min();
    db.TickScanTimers();
    EXPECT_EQ(db.ScanCounters()[2], std::numeric_limits<std::int32_t>::max());
}

TEST(PointTable, SettersChangeOnlyTheirFieldAndRefuseStrayNumbers) {
    PointDatabase db;
    PointRecord r;
    r.Address = 0x0A02;
    r.Pt_Flags = PtNetRead;
    EXPECT_TRUE(db.StorePoint(3, r));
    EXPECT_FALSE(db.StorePoint(MaxPoints, r));
    EXPECT_TRUE(db.StorePointRaw(3, 77));
    EXPECT_TRUE(db.SetPointMemType(3, 0x00020128));
    db.SetPointReadIdx(3, 5);
    db.SetPointWriteIdx(3, 6);
    const PointRecord& p = db.PointTable()[3];
    EXPECT_EQ(p.Address, 0x0A02);
    EXPECT_EQ(p.RawValue, 77);
    EXPECT_EQ(p.Pt_Flags, PtNetRead);  // a stored raw value is not marked for scaling
    EXPECT_EQ(p.Mem_Type, 0x00020128);
    EXPECT_EQ(p.Read_Idx, 5);
    EXPECT_EQ(p.Write_Idx, 6);

    const PointDatabase before = db;
    EXPECT_FALSE(db.StorePointRaw(-1, 1));
    EXPECT_FALSE(db.SetPointMemType(MaxPoints, 1));
    db.SetPointReadIdx(MaxPoints, 1);
    db.SetPointWriteIdx(-1, 1);
    EXPECT_FALSE(db.SetScanPeriod(ScanTimerCount, 5));
    EXPECT_TRUE(SameTable(db, before));
    EXPECT_EQ(db.ScanPeriods(), before.ScanPeriods());

    EXPECT_TRUE(db.SetScanPeriod(ScanTimerCount - 1, 5));
    EXPECT_EQ(db.ScanPeriods()[ScanTimerCount - 1], 5);
    InternalsProbe::ScanCounters(db)[2] = 4;
    db.ResetScanCounters();
    EXPECT_EQ(db.ScanCounters()[2], 0);
}

TEST(PointTable, GoodExchangesCountUpTo1001AndStartAgain) {
    PointDatabase db;
    InternalsProbe::PointTable(db)[6].Msg_Count = 1000;
    db.CountGoodExchange(6);
    EXPECT_EQ(db.PointTable()[6].Msg_Count, 1001);
    db.CountGoodExchange(6);
    EXPECT_EQ(db.PointTable()[6].Msg_Count, 0);
    db.CountGoodExchange(MaxPoints);  // a stray number counts nothing
}

TEST(PointTable, TypeCodeRangesMatchTheDecodedValues) {
    struct Row {
        std::uint32_t type;
        std::int64_t min, max;
    };
    for (const Row& row : std::vector<Row>{{16, -128, 127},
                                           {0x14000020, 0, 255},  // flag bits masked
                                           {64, -32768, 32767},
                                           {128, 0, 65535},
                                           {15, -32768, 65535},
                                           {256, std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max()},
                                           {512, std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max()}}) {
        const std::optional<RawRange> range = PointDatabase::TypeCodeRange(row.type);
        ASSERT_TRUE(range) << row.type;
        EXPECT_EQ(range->min, row.min) << row.type;
        EXPECT_EQ(range->max, row.max) << row.type;
    }
    EXPECT_FALSE(PointDatabase::TypeCodeRange(0));
    EXPECT_FALSE(PointDatabase::TypeCodeRange(48));
}

TEST(PointTable, DecodeTypedValueAndTypeSizes) {
    const std::uint8_t ffff[] = {0xFF, 0xFF, 0xFF, 0xFF};
    const std::uint8_t word[] = {0x34, 0x12, 0x80, 0x00};
    EXPECT_EQ(PointDatabase::DecodeTypedValue(ffff, 64), -1);
    EXPECT_EQ(PointDatabase::DecodeTypedValue(ffff, 128), 65535);
    EXPECT_EQ(PointDatabase::DecodeTypedValue(ffff, 15), 0);
    EXPECT_EQ(PointDatabase::DecodeTypedValue(ffff, 16), -1);
    EXPECT_EQ(PointDatabase::DecodeTypedValue(ffff, 32), 255);
    EXPECT_EQ(PointDatabase::DecodeTypedValue(ffff, 256), -1);
    EXPECT_EQ(PointDatabase::DecodeTypedValue(word, 512), 0x00801234);
    EXPECT_EQ(PointDatabase::DecodeTypedValue(word, 0xF1000040), 0x1234);  // flag bits masked
    EXPECT_EQ(PointDatabase::DecodeTypedValue(word, 48), 0);
    EXPECT_EQ(PointDatabase::DecodeTypedValue(nullptr, 64), 0);

    EXPECT_EQ(PointDatabase::TypeCodeSize(0x04000040), 2);
    EXPECT_EQ(PointDatabase::TypeCodeSize(15), 2);
    EXPECT_EQ(PointDatabase::TypeCodeSize(0x80000010), 1);
    EXPECT_EQ(PointDatabase::TypeCodeSize(32), 1);
    EXPECT_EQ(PointDatabase::TypeCodeSize(128), 2);
    EXPECT_EQ(PointDatabase::TypeCodeSize(256), 4);
    EXPECT_EQ(PointDatabase::TypeCodeSize(512), 4);
    EXPECT_EQ(PointDatabase::TypeCodeSize(0), 0);
    EXPECT_EQ(PointDatabase::TypeCodeSize(0x01000100 | 1), 0);
}

}  // namespace
}  // namespace kestrova
