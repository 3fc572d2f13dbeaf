#include "port/link_timing.h"

namespace kestrova {

LinkTiming DefaultLinkTiming(LineKind kind) {
    constexpr std::int32_t Horizon = 250;
    switch (kind) {
        case LineKind::Uart: return {0, Horizon};
        case LineKind::Network: return {100, Horizon};
        case LineKind::UsbAdapter:  // a latency timer of up to 16 ms by default
        case LineKind::PseudoTerminal:
        case LineKind::Other: break;
    }
    return {20, Horizon};
}

LinkTiming EffectiveLinkTiming(LineKind kind, const PortTimingOverride& entry) {
    LinkTiming timing = DefaultLinkTiming(kind);
    if (entry.replyAllowanceMs) timing.replyAllowanceMs = *entry.replyAllowanceMs;
    if (entry.lateReplyHorizonMs) timing.lateReplyHorizonMs = *entry.lateReplyHorizonMs;
    return timing;
}

}  // namespace kestrova
