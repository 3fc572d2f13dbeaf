#include "ui/link_statistics_rows.h"

#include <cstdio>

#include "common/wall_clock.h"
#include "protocol/exchange_result.h"

namespace kestrova {

namespace {

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string LastFailureText(const LinkCounters& c) {
    if (c.Failures() == 0) return "none";
    std::string text = ExchangeResultText(c.lastFailure);
    text += ", point ";
    text += std::to_string(c.lastFailurePoint);
    text += ", ";
    text += IsoTimeMs(c.lastFailureTimeMs);
    return text;
}

// "20 ms, late replies waited out for 250 ms"
std::string TimingText(const LinkTiming& timing) {
    return std::to_string(timing.replyAllowanceMs) + " ms, late replies waited out for " +
           std::to_string(timing.lateReplyHorizonMs) + " ms";
}

}  // namespace

std::vector<StatisticsRow> LinkStatisticsRows::Refresh(const CoreMonitor& monitor,
                                                       std::string_view statusText,
                                                       std::int64_t nowMs) {
    const LinkCounters c = monitor.LinkStatistics();
    // A reset (the count fell) starts the rate over.
    if (havePrevious_ && c.exchanges >= previousExchanges_ && nowMs > previousMs_) {
        rate_ = static_cast<double>(c.exchanges - previousExchanges_) * 1000.0 /
                static_cast<double>(nowMs - previousMs_);
    } else {
        rate_ = 0.0;
    }
    havePrevious_ = true;
    previousExchanges_ = c.exchanges;
    previousMs_ = nowMs;

    const auto count = [](std::uint64_t n) { return std::to_string(n); };
    std::string device = "COM" + std::to_string(monitor.LinkComNumber());
    if (!monitor.LinkDevice().empty()) {
        device += " (";
        device += monitor.LinkDevice();
        device += ")";
    }
    std::string link = monitor.LinkOpen() ? "port open" : "port closed";
    if (!statusText.empty()) {
        link += ", ";
        link += statusText;
    }
    return {
        {"Device", device},
        {"Link", link},
        {"Exchanges per second", Fixed(rate_, 1)},
        {"Good replies", c.exchanges == 0 ? "-" : Fixed(c.GoodPercent(), 2) + " %"},
        {"Exchanges", count(c.exchanges)},
        {"Good", count(c.goodReplies)},
        {"Time-outs", count(c.timeouts)},
        {"Checksum errors", count(c.checksumErrors)},
        {"Error replies", count(c.errorReplies)},
        {"Malformed replies", count(c.malformedReplies)},
        {"Framing errors", count(c.framingErrors)},
        {"Overrun errors", count(c.overrunErrors)},
        {"Input overflows", count(c.inputOverflows)},
        {"Parity errors", count(c.parityErrors)},
        {"Other line errors", count(c.otherLineErrors)},
        {"Late bytes dropped", count(c.lateBytesDropped)},
        {"Reply time min / mean / max", c.goodReplies == 0 ? "-"
                                                           : Fixed(c.ReplyMsMin(), 1) + " / " +
                                                                 Fixed(c.ReplyMsMean(), 2) + " / " +
                                                                 Fixed(c.ReplyMsMax(), 1) + " ms"},
        {"Last failure", LastFailureText(c)},
        {"Reply allowance", TimingText(monitor.LinkTimingInUse())},
        {"Adapter latency",
         monitor.AdapterLatencyMs() < 0 ? "-" : std::to_string(monitor.AdapterLatencyMs()) + " ms"},
    };
}

}  // namespace kestrova
