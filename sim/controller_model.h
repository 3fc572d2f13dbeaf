#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/axis.h"

// A simulated Kestrova wheel controller: its memory, its hand wheels and its RTDM request
// handling. No I/O: request bytes go in through Feed, reply frames come out through PopReply,
// time moves through Tick.
//
// Memory map (byte addresses, little-endian values; "s16" signed 16-bit, "u16" unsigned 16-bit,
// "u8" unsigned 8-bit; RW writable, RO read-only):
//
//   0x0000  u8   RW  link test byte: any value; the utility's special points (software version
//                    and friends) read and write here with count 1
//   0x0A00  u16  RO  firmware version, 1305
//   0x0A02  u16  RO  heartbeat: counts up every 100 ms, wraps at 65535
//   0x0A04  u8   RW  controller mode: 1 enhanced, 0 legacy (other values refused)
//
//   Axis blocks: Pan at 0x0A50, Tilt at 0x0A70, Roll at 0x0A90; offsets within a block:
//   +0x00   s16  RW  neutral value, limited to 0..4095
//   +0x02   s16  RW  positive adjust value, limited to the adjust range
//   +0x04   s16  RW  negative adjust value (a magnitude), limited to the adjust range
//   +0x06   s16  RO  adjust maximum, 200
//   +0x08   s16  RO  output value: neutral plus the hand wheel's share of the adjust values
//   +0x0A   u8   RW  axis mode: 0 Normal, 1 Increment, 2 Decrement (other values refused)
//   +0x0C   s16  RW  positive restore target: in Increment mode a write also sets the positive
//                    adjust value (limited); reads give the value last written
//   +0x0E   s16  RW  negative restore target: the same in Decrement mode for the negative value
//
// Every other byte below 0x0B00 reads as 0 and refuses writes; addresses from 0x0B00 on are
// outside the memory.
//
// Adjust range: 0..maximum in enhanced mode; 13304..15352 in legacy mode, where 13304 stands
// for no adjustment and 15352 for the full maximum. Switching the controller mode converts the
// six adjust values between the two ranges (linearly), so a trim survives the switch.
//
// Replies: a good read "+ $ data # crc", a good write "+ $ O K # crc", a refused request the
// error reply "- $ E code # crc" with one of the ErrorCode values below. A request whose checksum
// (or closing #) is wrong gets no reply at all, as the controller cannot trust any of its fields;
// the utility sees a reply time-out. Bytes that do not start a frame are skipped up to the next
// '$'; a frame left incomplete for FrameTimeoutMs of line silence is given up the same way.
namespace kestrova {

inline constexpr std::size_t SimMemorySize = 0x0B00;
inline constexpr std::uint32_t SimLinkTestAddress = 0x0000;
inline constexpr std::uint32_t SimFirmwareAddress = 0x0A00;
inline constexpr std::uint32_t SimHeartbeatAddress = 0x0A02;
inline constexpr std::uint32_t SimControllerModeAddress = 0x0A04;
inline constexpr std::array<std::uint32_t, AxisCount> SimAxisBase{0x0A50, 0x0A70, 0x0A90};
inline constexpr std::uint32_t SimNeutralOffset = 0x00;
inline constexpr std::uint32_t SimPosAdjustOffset = 0x02;
inline constexpr std::uint32_t SimNegAdjustOffset = 0x04;
inline constexpr std::uint32_t SimAdjustMaxOffset = 0x06;
inline constexpr std::uint32_t SimOutputOffset = 0x08;
inline constexpr std::uint32_t SimAxisModeOffset = 0x0A;
inline constexpr std::uint32_t SimPosRestoreOffset = 0x0C;
inline constexpr std::uint32_t SimNegRestoreOffset = 0x0E;

inline constexpr std::uint16_t SimFirmwareVersion = 1305;
inline constexpr std::int16_t SimAdjustMaximum = 200;
inline constexpr std::int16_t SimLegacyAdjustLow = 13304;
inline constexpr std::int16_t SimLegacyAdjustHigh = 15352;
inline constexpr std::int16_t SimNeutralLow = 0;
inline constexpr std::int16_t SimNeutralHigh = 4095;
inline constexpr std::uint16_t SimMaxReadCount = 123;  // the reply then fills 128 bytes
inline constexpr std::uint32_t SimHeartbeatPeriodMs = 100;
inline constexpr std::uint32_t SimFrameTimeoutMs = 20;
inline constexpr std::size_t SimReplyFrameSize = 128;
inline constexpr std::size_t SimReplyQueueSize = 16;

enum class AxisMode : std::uint8_t { Normal = 0, Increment = 1, Decrement = 2 };

// Error code bytes of the error reply.
enum class SimError : std::uint8_t {
    None = 0,
    AddressRange = 0x02,  // the request reaches outside the memory
    ReadOnly = 0x03,      // a write touches a read-only or unused byte
    Count = 0x04,         // read count above 123, or a write whose count (above 53) has no data
    BadValue = 0x05,      // a mode value outside its set
    Busy = 0x10,          // not produced by the model; used by the fault injector
};

struct AxisState {
    std::int16_t neutral = 2048;
    std::int16_t posAdjust = 0;
    std::int16_t negAdjust = 0;
    std::int16_t adjustMax = SimAdjustMaximum;
    std::int16_t output = 2048;
    std::uint8_t mode = 0;  // AxisMode
    std::int16_t posRestore = 0;
    std::int16_t negRestore = 0;
    double wheel = 0.0;  // hand wheel position, -1 (full negative) .. +1 (full positive)
};

// One reply frame with a summary of the request that caused it.
struct SimReply {
    std::array<std::uint8_t, SimReplyFrameSize> bytes{};
    std::uint16_t length = 0;
    std::uint8_t command = 0;  // 'm' or 'M'
    std::uint32_t address = 0;
    std::uint16_t count = 0;
    SimError error = SimError::None;
};

struct SimStats {
    std::uint32_t requests = 0;       // well-formed requests handled (each got a reply)
    std::uint32_t errorReplies = 0;   // of which refused with an error reply
    std::uint32_t badFrames = 0;      // frames dropped for a wrong checksum or closing byte
    std::uint32_t strayBytes = 0;     // bytes skipped while looking for a '$'
    std::uint32_t frameTimeouts = 0;  // incomplete frames given up after line silence
    std::uint32_t lostReplies = 0;    // replies dropped because the queue was full
};

class ControllerModel {
public:
    ControllerModel();

    // Back to power-on: default neutral values, no trim, all axes Normal, the given controller
    // mode (1 enhanced, 0 legacy), heartbeat and clock at 0, line buffer and reply queue empty.
    void Reset(std::uint8_t controllerMode = 1);

    // Request bytes from the line, in any pieces. Each complete, well-formed request is handled
    // at once and its reply queued.
    void Feed(const std::uint8_t* bytes, std::size_t count);

    // Takes the oldest queued reply. False when there is none.
    bool PopReply(SimReply& reply);
    std::size_t PendingReplies() const { return replyCount_; }

    // Moves time on: the hand wheels swing, the heartbeat counts, and an incomplete frame that has
    // seen no byte for SimFrameTimeoutMs is given up.
    void Tick(std::uint32_t ms);

    // A controller that does not take a value over: writes that touch the value at this address
    // are answered as good writes and change nothing. None by default; kept across Reset.
    void IgnoreWritesTo(std::optional<std::uint32_t> address) { ignoredWrites_ = address; }

    // Memory access as a request does it; the result is the error code of the reply.
    SimError ReadMemory(std::uint32_t address, std::uint32_t count, std::uint8_t* out) const;
    SimError WriteMemory(std::uint32_t address, const std::uint8_t* data, std::uint32_t count);

    const AxisState& AxisAt(Axis axis) const { return axes_.at(AxisIndex(axis)); }
    std::uint8_t ControllerMode() const { return controllerMode_; }
    std::uint16_t FirmwareVersion() const { return SimFirmwareVersion; }
    std::uint16_t Heartbeat() const { return heartbeat_; }
    std::uint8_t LinkTestByte() const { return linkTest_; }
    const SimStats& Stats() const { return stats_; }
    const std::array<std::uint8_t, SimMemorySize>& Memory() const { return memory_; }

    // Makes reply the error reply "- $ E code # crc" (the request summary is kept).
    static void BuildErrorReply(SimReply& reply, SimError code);

    // The adjust range of the current controller mode.
    std::int16_t AdjustLow() const;
    std::int16_t AdjustHigh(Axis axis) const;

private:
    enum class Kind : std::uint8_t {
        LinkTest,
        Firmware,
        Heartbeat,
        ControllerMode,
        Neutral,
        PosAdjust,
        NegAdjust,
        AdjustMax,
        Output,
        AxisMode,
        PosRestore,
        NegRestore,
    };
    struct ValueDef {
        std::uint32_t address;
        std::uint8_t size;
        bool isSigned;
        bool writable;
        Kind kind;
        std::optional<Axis> axis;  // none for controller-wide values
    };
    static constexpr std::size_t ValueCount = 4 + AxisCount * 8;
    static const std::array<ValueDef, ValueCount>& Values();

    void Process();
    void HandleFrame(const std::uint8_t* frame);
    void QueueReply(const SimReply& reply);
    void ApplyValue(const ValueDef& def, std::int32_t value);
    void SetControllerMode(std::uint8_t mode);
    std::int16_t ClampAdjust(Axis axis, std::int32_t value) const;
    void UpdateOutputs();
    void Render();
    static void BuildGoodRead(SimReply& reply, const std::uint8_t* data, std::size_t count);
    static void BuildGoodWrite(SimReply& reply);

    std::array<std::uint8_t, SimMemorySize> memory_{};
    std::array<AxisState, AxisCount> axes_{};
    std::uint8_t controllerMode_ = 1;
    std::optional<std::uint32_t> ignoredWrites_;
    std::uint8_t linkTest_ = 0;
    std::uint16_t heartbeat_ = 0;
    std::uint64_t clockMs_ = 0;
    std::uint32_t heartbeatMs_ = 0;

    std::array<std::uint8_t, 128> rx_{};
    std::size_t rxLength_ = 0;
    std::uint32_t rxIdleMs_ = 0;

    std::array<SimReply, SimReplyQueueSize> replies_{};
    std::size_t replyHead_ = 0;
    std::size_t replyCount_ = 0;

    SimStats stats_{};
};

}  // namespace kestrova
