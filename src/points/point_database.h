#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrova {

inline constexpr int MaxPoints = 40;
inline constexpr int ScanTimerCount = 16;

// Pt_Flags bits.
inline constexpr std::uint32_t PtTypeMask = 0x00FFFFFF;
inline constexpr std::uint32_t PtNetRead = 0x01000000;
inline constexpr std::uint32_t PtNetWrite = 0x02000000;
inline constexpr std::uint32_t PtNetReadWrite = 0x04000000;
inline constexpr std::uint32_t PtScanClassMask = 0x30000000;
inline constexpr std::uint32_t PtScaledChanged = 0x40000000;
inline constexpr std::uint32_t PtRawChanged = 0x80000000;

// Msg_Flags bits.
inline constexpr std::uint32_t MsgReadRequest = 0x00000001;
inline constexpr std::uint32_t MsgWriteRequest = 0x00000002;
inline constexpr std::uint32_t MsgReadError = 0x00010000;
inline constexpr std::uint32_t MsgWriteError = 0x00020000;

inline constexpr int PointNameSize = 64;  // zero-terminated: at most 63 characters

struct PointRecord {
    std::int32_t RawValue = 0;
    std::array<char, PointNameSize> Name{};
    std::int32_t Address = 0;
    std::int32_t Mem_Type = 0;
    std::int32_t Internal = 0;
    std::uint32_t Pt_Flags = 0;
    double ScaleMult = 0.0;
    double ScaleOffset = 0.0;
    double ScaleMin = 0.0;
    double ScaleMax = 0.0;
    double ScaledValue = 0.0;
    std::uint32_t Msg_Flags = 0;
    std::int32_t Network_0 = 0;
    std::int32_t Network_1 = 0;
    std::int32_t Network_2 = 0;
    std::int32_t Network_3 = 0;
    std::int32_t Read_Idx = 0;
    std::int32_t Write_Idx = 0;
    std::int32_t Msg_Count = 0;
};

struct ScaleResult {
    double value;
    bool clamped;
};

// The raw values a data type code carries: the range of its integer of that size and signedness.
struct RawRange {
    std::int64_t min;
    std::int64_t max;
};

// The process image: 40 points, the 16 scan timers beside them, their periods and the
// PersistantMode switch. A fresh object is the program-start state: all zero.
// Operations take a point number; "guarded" ones refuse numbers outside 0..39 with false.
class PointDatabase {
public:
    using PointArray = std::array<PointRecord, MaxPoints>;
    using ScanTimerArray = std::array<std::int32_t, ScanTimerCount>;

    const PointArray& PointTable() const { return points_; }
    const ScanTimerArray& ScanCounters() const { return scanCounters_; }
    const ScanTimerArray& ScanDue() const { return scanDue_; }
    const ScanTimerArray& ScanPeriods() const { return scanPeriods_; }
    bool PersistantMode() const { return persistantMode_; }

    static bool PointIndexValid(int point) { return point >= 0 && point < MaxPoints; }

    // Settings kept beside the points (the project configuration's).
    bool SetScanPeriod(int timer, std::int32_t period);
    void SetPersistantMode(bool on) { persistantMode_ = on; }
    void ResetScanCounters() { scanCounters_.fill(0); }

    // Guarded: replaces every field of the point's record (a load from file).
    bool StorePoint(int point, const PointRecord& record);

    // Guarded operations.
    bool ClearPoint(int point);
    bool SetPointRaw(int point, std::int32_t raw);
    bool ScalePoint(int point);
    bool SetPointScaled(int point, double value);
    // False when the scaling has a multiplier of 0: no raw value follows from the engineering
    // value, and no write request is raised.
    bool UnscalePoint(int point);

    // Guarded: sets the raw value alone, without marking the point for scaling.
    bool StorePointRaw(int point, std::int32_t raw);
    // Guarded: sets the Mem_Type word (the block read's descriptor).
    bool SetPointMemType(int point, std::int32_t word);

    static ScaleResult ScaleRawValue(std::int32_t raw, double mult, double offset, double min,
                                     double max);
    // The raw value an engineering value stands for, truncated toward zero but not yet limited to
    // 32 bits; none when the multiplier is 0. A value within WholeStepTolerance (relative) of a
    // whole step is that step.
    static std::optional<double> RawFromScaled(double value, double mult, double offset);
    static constexpr double WholeStepTolerance = 1e-9;
    // The raw value, or none when the value lies between two of the point's steps (100.6 on a
    // point of whole numbers), where RawFromScaled would cut it short.
    static std::optional<double> WholeRawFromScaled(double value, double mult, double offset);
    // Stores the engineering value and raises the write request of a network-writable point.
    // False for a point number outside 0..39, and when the point's multiplier is 0 (the value
    // cannot be turned into a raw value, so nothing is sent).
    bool WritePoint(int point, double value);

    // Name (guarded): copies at most 63 characters and keeps the terminating zero; a longer name
    // is cut to its first 63 characters.
    bool SetPointName(int point, std::string_view name);
    static void SetRecordName(PointRecord& record, std::string_view name);
    // The point's name up to its terminating zero; empty for a number outside 0..39.
    std::string_view PointName(int point) const;

    // Unguarded operations: the caller passes a valid point number. A number outside 0..39
    // touches nothing and gives false (or 0), so a stray number never reaches past the table.
    bool PointNeedsScaling(int point) const;
    bool ScaleChangedPoints();
    bool PointWriteBusy(int point) const;
    bool PointReadyForRead(int point, int n0, int n1, int n2, int n3) const;
    bool PointReadyForWrite(int point, int n0, int n1, int n2, int n3) const;
    void SetPointReadIdx(int point, std::int32_t block);
    void SetPointWriteIdx(int point, std::int32_t block);
    int ClearPointReadIdx(int point);
    int ClearPointWriteIdx(int point);
    int SetPointReadError(int point);
    int SetPointWriteError(int point);
    int ClearPointReadError(int point);
    int ClearPointWriteError(int point);
    int ClearPointReadRequest(int point);
    int ClearPointWriteRequest(int point);
    int CompletePointTransfer(int point, bool isRead, bool failed);
    bool ClearAllTransferSlots();
    bool ClearAllTransferErrors();
    bool RequestPointRead(int point, std::uint32_t classMask, int n0, int n1, int n2, int n3);
    // Counts one good exchange in the point's Msg_Count, which runs 0 to 1001 and starts again.
    void CountGoodExchange(int point);

    // One 10 ms system tick of the 16 scan timers: a counter at 0 sets its due flag and reloads
    // its period, any other counter counts down.
    void TickScanTimers();
    int ScanPoints();

    static std::int32_t DecodeTypedValue(const std::uint8_t* bytes, std::uint32_t typeWord);
    static int TypeCodeSize(std::uint32_t typeWord);
    // The raw values a point of this type word can send; none for a code that carries no value.
    static std::optional<RawRange> TypeCodeRange(std::uint32_t typeWord);

private:
    // SetPointScaled's work; the result is UnscalePoint's.
    bool StoreScaled(int point, double value);

    friend class InternalsProbe;

    PointArray points_{};
    ScanTimerArray scanCounters_{};
    ScanTimerArray scanDue_{};
    ScanTimerArray scanPeriods_{};
    bool persistantMode_ = false;
};

}  // namespace kestrova
