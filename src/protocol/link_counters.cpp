#include "protocol/link_counters.h"

namespace kestrova {

namespace {

double MicrosToMs(double micros) { return micros / 1000.0; }

void CountFailure(LinkCounters& c, ExchangeResult result) {
    switch (result.transferError) {
        case PortErrorCode::None: break;
        case PortErrorCode::ReplyTimeout: ++c.timeouts; return;
        case PortErrorCode::FramingError: ++c.framingErrors; return;
        case PortErrorCode::OverrunError: ++c.overrunErrors; return;
        case PortErrorCode::InputOverflow: ++c.inputOverflows; return;
        case PortErrorCode::ParityError: ++c.parityErrors; return;
        case PortErrorCode::LineError: ++c.otherLineErrors; return;
    }
    if (result.reply == ReplyResult::ChecksumError) {
        ++c.checksumErrors;
    } else if (static_cast<int>(result.reply) <= static_cast<int>(ReplyResult::ErrorReply)) {
        ++c.errorReplies;
    } else {
        ++c.malformedReplies;
    }
}

}  // namespace

double LinkCounters::GoodPercent() const {
    return exchanges == 0
               ? 0.0
               : 100.0 * static_cast<double>(goodReplies) / static_cast<double>(exchanges);
}

double LinkCounters::ReplyMsMin() const { return MicrosToMs(static_cast<double>(replyMicrosMin)); }

double LinkCounters::ReplyMsMax() const { return MicrosToMs(static_cast<double>(replyMicrosMax)); }

double LinkCounters::ReplyMsMean() const {
    return goodReplies == 0 ? 0.0
                            : MicrosToMs(static_cast<double>(replyMicrosTotal) /
                                         static_cast<double>(goodReplies));
}

void LinkCounters::Count(ExchangeResult result, std::int64_t replyMicros, std::int64_t timeMs,
                         std::int32_t point) {
    ++exchanges;
    if (result.Good()) {
        if (goodReplies == 0 || replyMicros < replyMicrosMin) replyMicrosMin = replyMicros;
        if (goodReplies == 0 || replyMicros > replyMicrosMax) replyMicrosMax = replyMicros;
        replyMicrosTotal += replyMicros;
        ++goodReplies;
        return;
    }
    CountFailure(*this, result);
    lastFailure = result;
    lastFailurePoint = point;
    lastFailureTimeMs = timeMs;
}

}  // namespace kestrova
