#pragma once

#include <array>
#include <cstdint>
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

// The process image: 40 points, the 16 scan timers beside them, their periods and the
// PersistantMode switch. A fresh object is the program-start state: all zero.
// Operations take a point number; "guarded" ones refuse numbers outside 0..39 with false.
class PointDatabase {
public:
    std::array<PointRecord, MaxPoints> PointTable{};
    std::array<std::int32_t, ScanTimerCount> ScanCounters{};
    std::array<std::int32_t, ScanTimerCount> ScanDue{};
    std::array<std::int32_t, ScanTimerCount> ScanPeriods{};
    bool PersistantMode = false;

    static bool PointIndexValid(int point) { return point >= 0 && point < MaxPoints; }

    // Guarded operations.
    bool ClearPoint(int point);
    bool SetPointRaw(int point, std::int32_t raw);
    bool ScalePoint(int point);
    bool SetPointScaled(int point, double value);
    bool UnscalePoint(int point);

    static ScaleResult ScaleRawValue(std::int32_t raw, double mult, double offset, double min,
                                     double max);
    int WritePoint(int point, double value);

    // Name (guarded): copies at most 63 characters and keeps the terminating zero; a longer name
    // is cut to its first 63 characters.
    bool SetPointName(int point, std::string_view name);
    // The point's name up to its terminating zero; empty for a number outside 0..39.
    std::string_view PointName(int point) const;

    // Unguarded operations: the caller passes a valid point number. A number outside 0..39
    // touches nothing and gives false (or 0), so a stray number never reaches past the table.
    bool PointNeedsScaling(int point) const;
    bool ScaleChangedPoints();
    bool PointWriteBusy(int point) const;
    bool PointReadyForRead(int point, int n0, int n1, int n2, int n3) const;
    bool PointReadyForWrite(int point, int n0, int n1, int n2, int n3) const;
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

    // One 10 ms system tick of the 16 scan timers: a counter at 0 sets its due flag and reloads
    // its period, any other counter counts down.
    void TickScanTimers();
    int ScanPoints();

    static std::int32_t DecodeTypedValue(const std::uint8_t* bytes, std::uint32_t typeWord);
    static int TypeCodeSize(std::uint32_t typeWord);
};

}  // namespace kestrova
