#pragma once

#include <cstdint>

#include "config/serial_settings.h"
#include "port/serial_line.h"

namespace kestrova {

// How long the driver waits on a link, on top of what the protocol allows a reply on the wire.
struct LinkTiming {
    // Added to every exchange's reply limit: the delay the device adds to a reply.
    std::int32_t replyAllowanceMs = 0;
    // After an exchange ended without a complete reply, the silence the next request waits for:
    // a reply later than this is taken to be lost for good.
    std::int32_t lateReplyHorizonMs = 0;
};

// Whether the driver of an open USB adapter took the request for low latency.
enum class LowLatency : std::int32_t { NotAsked, Granted, Refused };

// What the quiet time after a failed exchange must cover.
enum class QuietTime : std::int32_t { CharacterGap, LateReplyHorizon };

// The timing a kind of line gets unless its [Ports] entry says otherwise.
LinkTiming DefaultLinkTiming(LineKind kind);

// The default for the kind with the entry's settings laid over it.
LinkTiming EffectiveLinkTiming(LineKind kind, const PortTimingOverride& entry);

}  // namespace kestrova
