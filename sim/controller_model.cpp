#include "sim/controller_model.h"

#include "protocol/msg_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace kestrova {

namespace {

// Power-on calibration of the three axes, in enhanced units.
struct AxisDefaults {
    std::int16_t neutral;
    std::int16_t posAdjust;
    std::int16_t negAdjust;
    std::uint32_t wheelPeriodMs;  // one full swing of the hand wheel
};
constexpr std::array<AxisDefaults, AxisCount> DefaultAxes{{
    {2048, 120, 90, 7000},
    {2010, 60, 60, 11000},
    {2090, 150, 30, 13000},
}};

constexpr std::int32_t LegacySpan = SimLegacyAdjustHigh - SimLegacyAdjustLow;  // 2048

std::int16_t EnhancedToLegacy(std::int32_t value, std::int32_t maximum) {
    const double scaled = static_cast<double>(value) * LegacySpan / std::max(maximum, 1);
    return static_cast<std::int16_t>(SimLegacyAdjustLow + std::lround(scaled));
}

std::int16_t LegacyToEnhanced(std::int32_t value, std::int32_t maximum) {
    const double scaled = static_cast<double>(value - SimLegacyAdjustLow) * maximum / LegacySpan;
    return static_cast<std::int16_t>(std::lround(scaled));
}

std::uint16_t ReadLe16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t ReadLe32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

// Appends '#' and the checksum to a reply body of the given length; returns the frame length.
std::uint16_t CloseReply(std::uint8_t* frame, std::size_t bodyLength) {
    frame[bodyLength] = FrameEndChar;
    const std::uint16_t crc = Crc16(frame, bodyLength + 1, Crc16Start);
    frame[bodyLength + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[bodyLength + 2] = static_cast<std::uint8_t>(crc >> 8);
    return static_cast<std::uint16_t>(bodyLength + 3);
}

}  // namespace

const std::array<ControllerModel::ValueDef, ControllerModel::ValueCount>&
ControllerModel::Values() {
    static constexpr std::array<ValueDef, ValueCount> table = [] {
        std::array<ValueDef, ValueCount> v{};
        v[0] = {SimLinkTestAddress, 1, false, true, Kind::LinkTest, std::nullopt};
        v[1] = {SimFirmwareAddress, 2, false, false, Kind::Firmware, std::nullopt};
        v[2] = {SimHeartbeatAddress, 2, false, false, Kind::Heartbeat, std::nullopt};
        v[3] = {SimControllerModeAddress, 1, false, true, Kind::ControllerMode, std::nullopt};
        std::size_t i = 4;
        for (Axis axis : Axes) {
            const std::uint32_t base = SimAxisBase[AxisIndex(axis)];
            v[i++] = {base + SimNeutralOffset, 2, true, true, Kind::Neutral, axis};
            v[i++] = {base + SimPosAdjustOffset, 2, true, true, Kind::PosAdjust, axis};
            v[i++] = {base + SimNegAdjustOffset, 2, true, true, Kind::NegAdjust, axis};
            v[i++] = {base + SimAdjustMaxOffset, 2, true, false, Kind::AdjustMax, axis};
            v[i++] = {base + SimOutputOffset, 2, true, false, Kind::Output, axis};
            v[i++] = {base + SimAxisModeOffset, 1, false, true, Kind::AxisMode, axis};
            v[i++] = {base + SimPosRestoreOffset, 2, true, true, Kind::PosRestore, axis};
            v[i++] = {base + SimNegRestoreOffset, 2, true, true, Kind::NegRestore, axis};
        }
        return v;
    }();
    return table;
}

ControllerModel::ControllerModel() { Reset(1); }

void ControllerModel::Reset(std::uint8_t controllerMode) {
    controllerMode_ = controllerMode != 0 ? 1 : 0;
    for (std::size_t i = 0; i < axes_.size(); ++i) {
        AxisState& a = axes_[i];
        a = AxisState{};
        a.neutral = DefaultAxes[i].neutral;
        a.adjustMax = SimAdjustMaximum;
        a.posAdjust = DefaultAxes[i].posAdjust;
        a.negAdjust = DefaultAxes[i].negAdjust;
        if (controllerMode_ == 0) {
            a.posAdjust = EnhancedToLegacy(a.posAdjust, a.adjustMax);
            a.negAdjust = EnhancedToLegacy(a.negAdjust, a.adjustMax);
        }
    }
    linkTest_ = 0;
    heartbeat_ = 0;
    clockMs_ = 0;
    heartbeatMs_ = 0;
    rxLength_ = 0;
    rxIdleMs_ = 0;
    replyHead_ = 0;
    replyCount_ = 0;
    stats_ = SimStats{};
    UpdateOutputs();
    Render();
}

std::int16_t ControllerModel::AdjustLow() const {
    return controllerMode_ != 0 ? std::int16_t{0} : SimLegacyAdjustLow;
}

std::int16_t ControllerModel::AdjustHigh(Axis axis) const {
    return controllerMode_ != 0 ? AxisAt(axis).adjustMax : SimLegacyAdjustHigh;
}

std::int16_t ControllerModel::ClampAdjust(Axis axis, std::int32_t value) const {
    return static_cast<std::int16_t>(
        std::clamp<std::int32_t>(value, AdjustLow(), AdjustHigh(axis)));
}

void ControllerModel::Feed(const std::uint8_t* bytes, std::size_t count) {
    if (count > 0) {
        rxIdleMs_ = 0;
    }
    while (count > 0) {
        if (rxLength_ == rx_.size()) {
            // Cannot happen after Process (an incomplete frame is at most 63 bytes); kept so the
            // buffer can never overflow whatever arrives.
            std::memmove(rx_.data(), rx_.data() + 1, rxLength_ - 1);
            --rxLength_;
            ++stats_.strayBytes;
        }
        const std::size_t take = std::min(count, rx_.size() - rxLength_);
        std::memcpy(rx_.data() + rxLength_, bytes, take);
        rxLength_ += take;
        bytes += take;
        count -= take;
        Process();
    }
}

void ControllerModel::Process() {
    std::size_t pos = 0;
    for (;;) {
        while (pos < rxLength_ && rx_[pos] != FrameStartChar) {
            ++pos;
            ++stats_.strayBytes;
        }
        const std::size_t available = rxLength_ - pos;
        if (available < 2) {
            break;
        }
        const std::uint8_t command = rx_[pos + 1];
        if (command != ReadCommandChar && command != WriteCommandChar) {
            ++pos;
            ++stats_.strayBytes;
            continue;
        }
        if (available < 8) {
            break;
        }
        const std::uint16_t count = ReadLe16(&rx_[pos + 6]);
        const std::size_t dataLength =
            (command == WriteCommandChar && count <= MaxInlineWriteCount) ? count : 0;
        const std::size_t total = std::size_t{WriteRequestOverhead} + dataLength;
        if (available < total) {
            break;
        }
        const std::uint8_t* frame = &rx_[pos];
        const std::uint16_t crc = Crc16(frame, 9 + dataLength, Crc16Start);
        const bool good = frame[8 + dataLength] == FrameEndChar &&
                          frame[9 + dataLength] == (crc & 0xFF) &&
                          frame[10 + dataLength] == (crc >> 8);
        if (!good) {
            // Not a frame after all: give up its '$' and look for the next one.
            ++stats_.badFrames;
            ++pos;
            continue;
        }
        HandleFrame(frame);
        pos += total;
    }
    if (pos > 0) {
        std::memmove(rx_.data(), rx_.data() + pos, rxLength_ - pos);
        rxLength_ -= pos;
    }
}

void ControllerModel::HandleFrame(const std::uint8_t* frame) {
    SimReply reply;
    reply.command = frame[1];
    reply.address = ReadLe32(frame + 2);
    reply.count = ReadLe16(frame + 6);

    SimError error = SimError::None;
    if (reply.command == ReadCommandChar) {
        std::array<std::uint8_t, SimMaxReadCount> data{};
        if (reply.count > SimMaxReadCount) {
            error = SimError::Count;
        } else {
            error = ReadMemory(reply.address, reply.count, data.data());
        }
        if (error == SimError::None) {
            BuildGoodRead(reply, data.data(), reply.count);
        }
    } else {
        if (reply.count > MaxInlineWriteCount) {
            error = SimError::Count;  // the frame carries no data for such a count
        } else {
            error = WriteMemory(reply.address, frame + 8, reply.count);
        }
        if (error == SimError::None) {
            BuildGoodWrite(reply);
        }
    }
    if (error != SimError::None) {
        BuildErrorReply(reply, error);
        ++stats_.errorReplies;
    }
    reply.error = error;
    ++stats_.requests;
    QueueReply(reply);
}

void ControllerModel::QueueReply(const SimReply& reply) {
    if (replyCount_ == replies_.size()) {
        ++stats_.lostReplies;
        return;
    }
    replies_[(replyHead_ + replyCount_) % replies_.size()] = reply;
    ++replyCount_;
}

bool ControllerModel::PopReply(SimReply& reply) {
    if (replyCount_ == 0) {
        return false;
    }
    reply = replies_[replyHead_];
    replyHead_ = (replyHead_ + 1) % replies_.size();
    --replyCount_;
    return true;
}

SimError ControllerModel::ReadMemory(std::uint32_t address, std::uint32_t count,
                                     std::uint8_t* out) const {
    if (std::uint64_t{address} + count > SimMemorySize) {
        return SimError::AddressRange;
    }
    if (count > 0) {
        std::memcpy(out, memory_.data() + address, count);
    }
    return SimError::None;
}

SimError ControllerModel::WriteMemory(std::uint32_t address, const std::uint8_t* data,
                                      std::uint32_t count) {
    if (std::uint64_t{address} + count > SimMemorySize) {
        return SimError::AddressRange;
    }
    const std::uint32_t end = address + count;
    const auto& values = Values();

    // Every byte written must belong to a writable value.
    for (std::uint32_t a = address; a < end; ++a) {
        const auto it = std::find_if(values.begin(), values.end(), [a](const ValueDef& d) {
            return a >= d.address && a < d.address + d.size;
        });
        if (it == values.end() || !it->writable) {
            return SimError::ReadOnly;
        }
    }

    // New value of each value touched: its current bytes with the written ones laid over them.
    struct Change {
        const ValueDef* def;
        std::int32_t value;
    };
    std::array<Change, ValueCount> changes{};
    std::size_t changeCount = 0;
    for (const ValueDef& d : values) {
        if (d.address >= end || d.address + d.size <= address) {
            continue;
        }
        std::array<std::uint8_t, 4> bytes{};
        std::memcpy(bytes.data(), memory_.data() + d.address, d.size);
        for (std::uint32_t k = 0; k < d.size && k < bytes.size(); ++k) {
            const std::uint32_t a = d.address + k;
            if (a >= address && a < end) {
                bytes[k] = data[a - address];
            }
        }
        std::int32_t value = 0;
        if (d.size == 1) {
            value = d.isSigned ? static_cast<std::int8_t>(bytes[0]) : bytes[0];
        } else {
            const std::uint16_t raw = ReadLe16(bytes.data());
            value = d.isSigned ? static_cast<std::int16_t>(raw) : raw;
        }
        if ((d.kind == Kind::ControllerMode && value > 1) ||
            (d.kind == Kind::AxisMode && value > 2)) {
            return SimError::BadValue;  // nothing of the request is applied
        }
        changes[changeCount++] = Change{&d, value};
    }

    for (std::size_t i = 0; i < changeCount; ++i) {
        const ValueDef& d = *changes[i].def;
        const bool ignored =
            ignoredWrites_ && *ignoredWrites_ >= d.address && *ignoredWrites_ < d.address + d.size;
        if (!ignored) ApplyValue(d, changes[i].value);
    }
    UpdateOutputs();
    Render();
    return SimError::None;
}

void ControllerModel::ApplyValue(const ValueDef& def, std::int32_t value) {
    AxisState* a = def.axis ? &axes_[AxisIndex(*def.axis)] : nullptr;
    switch (def.kind) {
        case Kind::LinkTest: linkTest_ = static_cast<std::uint8_t>(value); break;
        case Kind::ControllerMode: SetControllerMode(static_cast<std::uint8_t>(value)); break;
        case Kind::Neutral:
            a->neutral = static_cast<std::int16_t>(
                std::clamp<std::int32_t>(value, SimNeutralLow, SimNeutralHigh));
            break;
        case Kind::PosAdjust: a->posAdjust = ClampAdjust(*def.axis, value); break;
        case Kind::NegAdjust: a->negAdjust = ClampAdjust(*def.axis, value); break;
        case Kind::AxisMode: a->mode = static_cast<std::uint8_t>(value); break;
        case Kind::PosRestore:
            a->posRestore = static_cast<std::int16_t>(value);
            if (a->mode == static_cast<std::uint8_t>(AxisMode::Increment)) {
                a->posAdjust = ClampAdjust(*def.axis, value);
            }
            break;
        case Kind::NegRestore:
            a->negRestore = static_cast<std::int16_t>(value);
            if (a->mode == static_cast<std::uint8_t>(AxisMode::Decrement)) {
                a->negAdjust = ClampAdjust(*def.axis, value);
            }
            break;
        case Kind::Firmware:
        case Kind::Heartbeat:
        case Kind::AdjustMax:
        case Kind::Output: break;  // read-only, refused before this point
    }
}

void ControllerModel::SetControllerMode(std::uint8_t mode) {
    if (mode == controllerMode_) {
        return;
    }
    for (AxisState& a : axes_) {
        if (mode == 0) {
            a.posAdjust = EnhancedToLegacy(a.posAdjust, a.adjustMax);
            a.negAdjust = EnhancedToLegacy(a.negAdjust, a.adjustMax);
        } else {
            a.posAdjust = LegacyToEnhanced(a.posAdjust, a.adjustMax);
            a.negAdjust = LegacyToEnhanced(a.negAdjust, a.adjustMax);
        }
    }
    controllerMode_ = mode;
}

void ControllerModel::Tick(std::uint32_t ms) {
    clockMs_ += ms;
    heartbeatMs_ += ms;
    while (heartbeatMs_ >= SimHeartbeatPeriodMs) {
        heartbeatMs_ -= SimHeartbeatPeriodMs;
        ++heartbeat_;
    }
    if (rxLength_ > 0) {
        rxIdleMs_ += ms;
        if (rxIdleMs_ >= SimFrameTimeoutMs) {
            // The line went quiet in the middle of a frame: drop its '$' and look again.
            ++stats_.frameTimeouts;
            std::memmove(rx_.data(), rx_.data() + 1, rxLength_ - 1);
            --rxLength_;
            rxIdleMs_ = 0;
            Process();
        }
    } else {
        rxIdleMs_ = 0;
    }
    UpdateOutputs();
    Render();
}

void ControllerModel::UpdateOutputs() {
    for (std::size_t i = 0; i < axes_.size(); ++i) {
        AxisState& a = axes_[i];
        const double period = DefaultAxes[i].wheelPeriodMs;
        const double phase = static_cast<double>(clockMs_ % DefaultAxes[i].wheelPeriodMs) / period;
        a.wheel = std::sin(2.0 * std::numbers::pi * phase);
        double pos = a.posAdjust;
        double neg = a.negAdjust;
        if (controllerMode_ == 0) {
            pos = static_cast<double>(a.posAdjust - SimLegacyAdjustLow) * a.adjustMax / LegacySpan;
            neg = static_cast<double>(a.negAdjust - SimLegacyAdjustLow) * a.adjustMax / LegacySpan;
        }
        const double share = a.wheel >= 0.0 ? a.wheel * pos : a.wheel * neg;
        const long out = a.neutral + std::lround(share);
        a.output = static_cast<std::int16_t>(std::clamp<long>(out, -32768, 32767));
    }
}

void ControllerModel::Render() {
    for (const ValueDef& d : Values()) {
        std::int32_t value = 0;
        const AxisState* a = d.axis ? &axes_[AxisIndex(*d.axis)] : nullptr;
        switch (d.kind) {
            case Kind::LinkTest: value = linkTest_; break;
            case Kind::Firmware: value = SimFirmwareVersion; break;
            case Kind::Heartbeat: value = heartbeat_; break;
            case Kind::ControllerMode: value = controllerMode_; break;
            case Kind::Neutral: value = a->neutral; break;
            case Kind::PosAdjust: value = a->posAdjust; break;
            case Kind::NegAdjust: value = a->negAdjust; break;
            case Kind::AdjustMax: value = a->adjustMax; break;
            case Kind::Output: value = a->output; break;
            case Kind::AxisMode: value = a->mode; break;
            case Kind::PosRestore: value = a->posRestore; break;
            case Kind::NegRestore: value = a->negRestore; break;
        }
        const auto raw = static_cast<std::uint32_t>(value);
        for (std::uint32_t k = 0; k < d.size; ++k) {
            memory_[d.address + k] = static_cast<std::uint8_t>((raw >> (8 * k)) & 0xFF);
        }
    }
}

void ControllerModel::BuildGoodRead(SimReply& reply, const std::uint8_t* data, std::size_t count) {
    reply.bytes[0] = GoodReplyChar;
    reply.bytes[1] = FrameStartChar;
    if (count > 0) {
        std::memcpy(reply.bytes.data() + 2, data, count);
    }
    reply.length = CloseReply(reply.bytes.data(), 2 + count);
}

void ControllerModel::BuildGoodWrite(SimReply& reply) {
    reply.bytes[0] = GoodReplyChar;
    reply.bytes[1] = FrameStartChar;
    reply.bytes[2] = OkChar1;
    reply.bytes[3] = OkChar2;
    reply.length = CloseReply(reply.bytes.data(), 4);
}

void ControllerModel::BuildErrorReply(SimReply& reply, SimError code) {
    reply.bytes[0] = ErrorReplyChar;
    reply.bytes[1] = FrameStartChar;
    reply.bytes[2] = ErrorMarkChar;
    reply.bytes[3] = static_cast<std::uint8_t>(code);
    reply.length = CloseReply(reply.bytes.data(), 4);
}

}  // namespace kestrova
