#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/exchange_result.h"

namespace kestrova {

// One exchange as the trace keeps it.
struct TraceEntry {
    // Frames longer than this keep only their first bytes: requests carry at most 40 data bytes
    // and good replies at most 45 bytes in all, so only stray bytes are ever cut.
    static constexpr std::size_t FrameBytes = 64;

    std::int64_t timeMs = 0;  // when the exchange ended, milliseconds since 1970 (UTC)
    ExchangeResult result;
    std::uint32_t address = 0;
    std::uint16_t count = 0;  // data bytes asked for or written
    std::uint8_t block = 0;
    std::uint8_t command = 0;  // m read, M write
    std::int8_t point = -1;
    bool hasValue = false;  // the raw value written, or read from a good reply
    std::int32_t value = 0;
    std::uint8_t requestLength = 0;  // the frame's length
    std::uint8_t replyLength = 0;    // the bytes received, up to 255
    std::array<std::uint8_t, FrameBytes> request{};
    std::array<std::uint8_t, FrameBytes> reply{};
};

// The last exchanges, oldest first, in storage taken once at construction: recording one
// overwrites the oldest when full and allocates nothing.
class ExchangeTrace {
public:
    static constexpr std::size_t DefaultCapacity = 10000;

    explicit ExchangeTrace(std::size_t capacity = DefaultCapacity) : entries_(capacity) {}

    // The slot of the next exchange, to be filled by the caller (it holds an old entry).
    TraceEntry& Next();
    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return entries_.size(); }
    // index 0 is the oldest kept.
    const TraceEntry& At(std::size_t index) const;
    void Clear() { size_ = next_ = 0; }

private:
    std::vector<TraceEntry> entries_;
    std::size_t next_ = 0;
    std::size_t size_ = 0;
};

}  // namespace kestrova
