#include "points/point_database.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestrova {

namespace {

// Scaling and marks of a cleared point.
constexpr double ClearedScaleMult = 1.0;
constexpr double ClearedScaleOffset = 0.0;
constexpr double ClearedScaleMin = -66000.0;
constexpr double ClearedScaleMax = 66000.0;
constexpr std::int32_t NoSlot = -1;
constexpr std::int32_t NoNetwork = -1;

// Limits of a raw value when an engineering value is turned back into device units.
constexpr double RawLowest = -2147483648.0;
constexpr double RawHighest = 2147483647.0;

// Data type codes of the low 24 bits of Pt_Flags.
constexpr std::uint32_t TypeUndecoded16 = 15;
constexpr std::uint32_t TypeSigned8 = 16;
constexpr std::uint32_t TypeUnsigned8 = 32;
constexpr std::uint32_t TypeSigned16 = 64;
constexpr std::uint32_t TypeUnsigned16 = 128;
constexpr std::uint32_t TypeSigned32 = 256;
constexpr std::uint32_t TypeSigned32Alt = 512;

// Msg_Count runs 0, 1, ..., 1001 and then starts again at 0.
constexpr std::int32_t MsgCountWrapAbove = 1000;

constexpr int ScanClassCount = 4;
constexpr std::uint32_t ScanClassStep = 0x10000000;

// The controller's network address: the only one this utility talks to.
constexpr int ControllerNet0 = 2;
constexpr int ControllerNet1 = 0;
constexpr int ControllerNet2 = 0;
constexpr int ControllerNet3 = 0;

bool NetworkMatches(const PointRecord& p, int n0, int n1, int n2, int n3) {
    return p.Network_0 == n0 && p.Network_1 == n1 && p.Network_2 == n2 && p.Network_3 == n3;
}

}  // namespace

bool PointDatabase::ClearPoint(int point) {
    if (!PointIndexValid(point)) return false;
    PointRecord& p = points_[point];
    p.RawValue = 0;
    p.Name[0] = '\0';
    p.Address = 0;
    p.Mem_Type = 0;
    p.Internal = 0;
    p.Pt_Flags = 0;
    p.ScaleMult = ClearedScaleMult;
    p.ScaleOffset = ClearedScaleOffset;
    p.ScaleMin = ClearedScaleMin;
    p.ScaleMax = ClearedScaleMax;
    p.ScaledValue = 0.0;
    p.Msg_Flags = 0;
    p.Network_0 = NoNetwork;
    p.Network_1 = NoNetwork;
    p.Network_2 = NoNetwork;
    p.Network_3 = NoNetwork;
    p.Read_Idx = NoSlot;
    p.Write_Idx = NoSlot;
    // Msg_Count keeps counting across a reload.
    return true;
}

bool PointDatabase::SetScanPeriod(int timer, std::int32_t period) {
    if (timer < 0 || timer >= ScanTimerCount) return false;
    scanPeriods_[timer] = period;
    return true;
}

bool PointDatabase::StorePoint(int point, const PointRecord& record) {
    if (!PointIndexValid(point)) return false;
    points_[point] = record;
    return true;
}

bool PointDatabase::StorePointRaw(int point, std::int32_t raw) {
    if (!PointIndexValid(point)) return false;
    points_[point].RawValue = raw;
    return true;
}

bool PointDatabase::SetPointMemType(int point, std::int32_t word) {
    if (!PointIndexValid(point)) return false;
    points_[point].Mem_Type = word;
    return true;
}

bool PointDatabase::SetPointRaw(int point, std::int32_t raw) {
    if (!PointIndexValid(point)) return false;
    PointRecord& p = points_[point];
    p.RawValue = raw;
    p.Pt_Flags |= PtRawChanged;
    return true;
}

ScaleResult PointDatabase::ScaleRawValue(std::int32_t raw, double mult, double offset, double min,
                                         double max) {
    // Held in a variable so the comparison sees the stored double, not a wider intermediate.
    const double value = static_cast<double>(raw) * mult + offset;
    // The minimum is tested first and "not >=" also catches a value that is not a number.
    if (!(value >= min)) return {min, true};
    if (value > max) return {max, true};
    return {value, false};
}

bool PointDatabase::ScalePoint(int point) {
    if (!PointIndexValid(point)) return false;
    PointRecord& p = points_[point];
    p.ScaledValue =
        ScaleRawValue(p.RawValue, p.ScaleMult, p.ScaleOffset, p.ScaleMin, p.ScaleMax).value;
    p.Pt_Flags &= ~PtRawChanged;
    return true;
}

bool PointDatabase::SetPointScaled(int point, double value) {
    if (!PointIndexValid(point)) return false;
    // Done even when the multiplier is 0 and nothing can be sent.
    StoreScaled(point, value);
    return true;
}

bool PointDatabase::WritePoint(int point, double value) {
    if (!PointIndexValid(point)) return false;
    return StoreScaled(point, value);
}

bool PointDatabase::StoreScaled(int point, double value) {
    PointRecord& p = points_[point];
    p.ScaledValue = value;
    p.Pt_Flags |= PtScaledChanged;
    return UnscalePoint(point);
}

std::optional<double> PointDatabase::RawFromScaled(double value, double mult, double offset) {
    if (mult == 0.0) return std::nullopt;
    const double steps = (value - offset) / mult;
    // A value a rounding error off one of the point's steps (12.3 on steps of 0.1 divides to
    // 122.99999999999999) is that step, not the one below it.
    const double whole = std::nearbyint(steps);
    if (std::abs(steps - whole) <= WholeStepTolerance * std::max(1.0, std::abs(whole))) {
        return whole + 0.0;  // never -0
    }
    return std::trunc(steps);
}

std::optional<double> PointDatabase::WholeRawFromScaled(double value, double mult, double offset) {
    const std::optional<double> raw = RawFromScaled(value, mult, offset);
    if (!raw) return std::nullopt;
    const double steps = (value - offset) / mult;
    if (!(std::abs(steps - *raw) <= WholeStepTolerance * std::max(1.0, std::abs(*raw)))) {
        return std::nullopt;
    }
    return raw;
}

bool PointDatabase::UnscalePoint(int point) {
    if (!PointIndexValid(point)) return false;
    PointRecord& p = points_[point];
    const std::optional<double> raw = RawFromScaled(p.ScaledValue, p.ScaleMult, p.ScaleOffset);
    double q = RawHighest;  // a multiplier of 0 gives no value: the largest one is stored
    if (raw) {
        q = *raw;
        if (!(q >= RawLowest)) {
            q = RawLowest;  // also a value that is not a number
        } else if (q > RawHighest) {
            q = RawHighest;
        }
    }
    // q is a whole number within 32 bits here, so the conversion is exact.
    p.RawValue = static_cast<std::int32_t>(q);
    // Without a raw value of its own nothing may be sent: the controller would receive the low
    // bytes of the stand-in.
    if (raw && (p.Pt_Flags & (PtNetWrite | PtNetReadWrite)) != 0) p.Msg_Flags |= MsgWriteRequest;
    p.Pt_Flags &= ~PtScaledChanged;
    return raw.has_value();
}

bool PointDatabase::SetPointName(int point, std::string_view name) {
    if (!PointIndexValid(point)) return false;
    SetRecordName(points_[point], name);
    return true;
}

void PointDatabase::SetRecordName(PointRecord& record, std::string_view name) {
    auto& field = record.Name;
    const std::size_t length = std::min(name.size(), field.size() - 1);
    std::copy_n(name.data(), length, field.data());
    field[length] = '\0';
}

std::string_view PointDatabase::PointName(int point) const {
    if (!PointIndexValid(point)) return {};
    const auto& field = points_[point].Name;
    // The field is kept zero-terminated, but never read past its end even if it were not.
    const void* end = std::memchr(field.data(), '\0', field.size());
    const std::size_t length =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - field.data())
                       : field.size();
    return {field.data(), length};
}

bool PointDatabase::PointNeedsScaling(int point) const {
    if (!PointIndexValid(point)) return false;
    return (points_[point].Pt_Flags & PtRawChanged) != 0;
}

bool PointDatabase::ScaleChangedPoints() {
    bool any = false;
    for (int point = 0; point < MaxPoints; ++point) {
        if (PointNeedsScaling(point)) {
            ScalePoint(point);
            any = true;
        }
    }
    return any;
}

bool PointDatabase::PointWriteBusy(int point) const {
    if (!PointIndexValid(point)) return false;
    const PointRecord& p = points_[point];
    return (p.Pt_Flags & PtScaledChanged) != 0 || (p.Msg_Flags & MsgWriteRequest) != 0 ||
           p.Write_Idx != NoSlot;
}

bool PointDatabase::PointReadyForRead(int point, int n0, int n1, int n2, int n3) const {
    if (!PointIndexValid(point)) return false;
    const PointRecord& p = points_[point];
    return NetworkMatches(p, n0, n1, n2, n3) && (p.Msg_Flags & MsgReadRequest) != 0 &&
           p.Read_Idx == NoSlot;
}

bool PointDatabase::PointReadyForWrite(int point, int n0, int n1, int n2, int n3) const {
    if (!PointIndexValid(point)) return false;
    const PointRecord& p = points_[point];
    return NetworkMatches(p, n0, n1, n2, n3) && (p.Msg_Flags & MsgWriteRequest) != 0 &&
           p.Write_Idx == NoSlot;
}

void PointDatabase::SetPointReadIdx(int point, std::int32_t block) {
    if (PointIndexValid(point)) points_[point].Read_Idx = block;
}

void PointDatabase::SetPointWriteIdx(int point, std::int32_t block) {
    if (PointIndexValid(point)) points_[point].Write_Idx = block;
}

int PointDatabase::ClearPointReadIdx(int point) {
    if (PointIndexValid(point)) points_[point].Read_Idx = NoSlot;
    return 0;
}

int PointDatabase::ClearPointWriteIdx(int point) {
    if (PointIndexValid(point)) points_[point].Write_Idx = NoSlot;
    return 0;
}

int PointDatabase::SetPointReadError(int point) {
    if (PointIndexValid(point)) points_[point].Msg_Flags |= MsgReadError;
    return 0;
}

int PointDatabase::SetPointWriteError(int point) {
    if (PointIndexValid(point)) points_[point].Msg_Flags |= MsgWriteError;
    return 0;
}

int PointDatabase::ClearPointReadError(int point) {
    if (PointIndexValid(point)) points_[point].Msg_Flags &= ~MsgReadError;
    return 0;
}

int PointDatabase::ClearPointWriteError(int point) {
    if (PointIndexValid(point)) points_[point].Msg_Flags &= ~MsgWriteError;
    return 0;
}

int PointDatabase::ClearPointReadRequest(int point) {
    if (PointIndexValid(point)) points_[point].Msg_Flags &= ~MsgReadRequest;
    return 0;
}

int PointDatabase::ClearPointWriteRequest(int point) {
    if (PointIndexValid(point)) points_[point].Msg_Flags &= ~MsgWriteRequest;
    return 0;
}

int PointDatabase::CompletePointTransfer(int point, bool isRead, bool failed) {
    if (failed) {
        if (isRead) {
            SetPointReadError(point);
        } else {
            SetPointWriteError(point);
        }
    }
    // In persistent mode a failed transfer keeps its request standing so it is tried again.
    if (!failed || !persistantMode_) {
        if (isRead) {
            ClearPointReadRequest(point);
        } else {
            ClearPointWriteRequest(point);
        }
    }
    return 0;
}

bool PointDatabase::ClearAllTransferSlots() {
    for (int point = 0; point < MaxPoints; ++point) {
        ClearPointReadIdx(point);
        ClearPointWriteIdx(point);
    }
    return true;
}

bool PointDatabase::ClearAllTransferErrors() {
    for (int point = 0; point < MaxPoints; ++point) {
        ClearPointReadError(point);
        ClearPointWriteError(point);
    }
    return true;
}

bool PointDatabase::RequestPointRead(int point, std::uint32_t classMask, int n0, int n1, int n2,
                                     int n3) {
    if (!PointIndexValid(point)) return false;
    PointRecord& p = points_[point];
    if (!NetworkMatches(p, n0, n1, n2, n3)) return false;
    if ((p.Pt_Flags & (PtNetRead | PtNetReadWrite)) == 0) return false;
    if ((p.Pt_Flags & PtScanClassMask) != classMask) return false;
    p.Msg_Flags |= MsgReadRequest;
    return true;
}

void PointDatabase::CountGoodExchange(int point) {
    if (!PointIndexValid(point)) return;
    std::int32_t& count = points_[point].Msg_Count;
    count = count > MsgCountWrapAbove ? 0 : count + 1;
}

void PointDatabase::TickScanTimers() {
    for (int i = 0; i < ScanTimerCount; ++i) {
        if (scanCounters_[i] != 0) {
            // Counted in unsigned arithmetic: a counter reloaded with a negative period wraps
            // around instead of overflowing, and still comes back to 0 in the end.
            scanCounters_[i] =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(scanCounters_[i]) - 1u);
        } else {
            scanDue_[i] = 1;
            scanCounters_[i] = scanPeriods_[i];
        }
    }
}

int PointDatabase::ScanPoints() {
    // Only scan timers 0 to 3 drive point reads; the other due flags are left as they are.
    for (int k = 0; k < ScanClassCount; ++k) {
        if (scanDue_[k] != 1) continue;
        const std::uint32_t classMask = static_cast<std::uint32_t>(k) * ScanClassStep;
        for (int point = 0; point < MaxPoints; ++point) {
            RequestPointRead(point, classMask, ControllerNet0, ControllerNet1, ControllerNet2,
                             ControllerNet3);
        }
        scanDue_[k] = 0;
    }
    return 0;
}

std::int32_t PointDatabase::DecodeTypedValue(const std::uint8_t* bytes, std::uint32_t typeWord) {
    const std::uint32_t code = typeWord & PtTypeMask;
    if (bytes == nullptr || TypeCodeSize(typeWord) == 0) return 0;
    switch (code) {
        case TypeSigned8: return static_cast<std::int8_t>(bytes[0]);
        case TypeUnsigned8: return bytes[0];
        case TypeSigned16:
            return static_cast<std::int16_t>(
                static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
        case TypeUnsigned16: return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
        case TypeSigned32:
        case TypeSigned32Alt:
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) |
                                             (static_cast<std::uint32_t>(bytes[1]) << 8) |
                                             (static_cast<std::uint32_t>(bytes[2]) << 16) |
                                             (static_cast<std::uint32_t>(bytes[3]) << 24));
        default: return 0;  // type 15 and unknown codes are not decoded
    }
}

std::optional<RawRange> PointDatabase::TypeCodeRange(std::uint32_t typeWord) {
    switch (typeWord & PtTypeMask) {
        case TypeSigned8: return RawRange{-128, 127};
        case TypeUnsigned8: return RawRange{0, 255};
        // Type 15 sends two bytes and is never decoded: either signedness fits.
        case TypeUndecoded16: return RawRange{-32768, 65535};
        case TypeSigned16: return RawRange{-32768, 32767};
        case TypeUnsigned16: return RawRange{0, 65535};
        case TypeSigned32:
        case TypeSigned32Alt:
            return RawRange{std::numeric_limits<std::int32_t>::min(),
                            std::numeric_limits<std::int32_t>::max()};
        default: return std::nullopt;
    }
}

int PointDatabase::TypeCodeSize(std::uint32_t typeWord) {
    switch (typeWord & PtTypeMask) {
        case TypeSigned8:
        case TypeUnsigned8: return 1;
        case TypeUndecoded16:
        case TypeSigned16:
        case TypeUnsigned16: return 2;
        case TypeSigned32:
        case TypeSigned32Alt: return 4;
        default: return 0;
    }
}

}  // namespace kestrova
