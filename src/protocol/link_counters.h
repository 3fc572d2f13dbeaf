#pragma once

#include <cstdint>

#include "protocol/exchange_result.h"

namespace kestrova {

// How the exchanges with the controller have gone since the counters were last reset. Plain
// fixed-size counts, bumped once per exchange by the receiver.
struct LinkCounters {
    std::uint64_t exchanges = 0;
    std::uint64_t goodReplies = 0;
    std::uint64_t timeouts = 0;
    std::uint64_t checksumErrors = 0;
    std::uint64_t errorReplies = 0;
    // A reply of the wrong shape: no $ or # where they belong, the wrong length, or an unknown
    // first byte.
    std::uint64_t malformedReplies = 0;
    // Line errors by kind; otherLineErrors holds those the line did not name (a device gone).
    std::uint64_t framingErrors = 0;
    std::uint64_t overrunErrors = 0;
    std::uint64_t inputOverflows = 0;
    std::uint64_t parityErrors = 0;
    std::uint64_t otherLineErrors = 0;
    // Bytes that came while no reply was awaited and were dropped unread.
    std::uint64_t lateBytesDropped = 0;

    // From the request's departure to the good reply's last byte, in microseconds.
    std::int64_t replyMicrosMin = 0;
    std::int64_t replyMicrosMax = 0;
    std::int64_t replyMicrosTotal = 0;

    // The last exchange that did not end with a good reply (none while failures is 0).
    ExchangeResult lastFailure;
    std::int32_t lastFailurePoint = -1;
    std::int64_t lastFailureTimeMs = 0;  // wall clock, milliseconds since 1970 (UTC)

    std::uint64_t Failures() const { return exchanges - goodReplies; }
    std::uint64_t LineErrors() const {
        return framingErrors + overrunErrors + inputOverflows + parityErrors + otherLineErrors;
    }
    // Share of the exchanges that ended with a good reply, 0 with no exchange yet.
    double GoodPercent() const;
    // Reply times of the good replies in milliseconds; 0 with no good reply yet.
    double ReplyMsMin() const;
    double ReplyMsMean() const;
    double ReplyMsMax() const;

    // One finished exchange: its result, how long its reply took, when it ended and the point it
    // served.
    void Count(ExchangeResult result, std::int64_t replyMicros, std::int64_t timeMs,
               std::int32_t point);
    void Reset() { *this = LinkCounters{}; }
    friend bool operator==(const LinkCounters&, const LinkCounters&) = default;
};

}  // namespace kestrova
