#include "protocol/link_counters.h"

namespace kestrova {

namespace {

double PollsToMs(double polls) { return polls / PortDrv::PollsPerMillisecond; }

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

double LinkCounters::ReplyMsMin() const { return PollsToMs(replyPollsMin); }

double LinkCounters::ReplyMsMax() const { return PollsToMs(replyPollsMax); }

double LinkCounters::ReplyMsMean() const {
    return goodReplies == 0
               ? 0.0
               : PollsToMs(static_cast<double>(replyPollsTotal) / static_cast<double>(goodReplies));
}

void LinkCounters::Count(ExchangeResult result, std::int32_t replyPolls, std::int64_t timeMs,
                         std::int32_t point) {
    ++exchanges;
    if (result.Good()) {
        if (goodReplies == 0 || replyPolls < replyPollsMin) replyPollsMin = replyPolls;
        if (goodReplies == 0 || replyPolls > replyPollsMax) replyPollsMax = replyPolls;
        replyPollsTotal += static_cast<std::uint64_t>(replyPolls);
        ++goodReplies;
        return;
    }
    CountFailure(*this, result);
    lastFailure = result;
    lastFailurePoint = point;
    lastFailureTimeMs = timeMs;
}

}  // namespace kestrova
