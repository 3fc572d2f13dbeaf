#include "link_figures.h"

namespace kestrova::cli {

LinkFigureSource::LinkFigureSource(const AppService& core)
    : core_(core), start_(core.LinkStatistics()), last_(start_) {}

LinkFigures LinkFigureSource::Take(double seconds) {
    const LinkCounters now = core_.LinkStatistics();
    const std::uint64_t exchanges = now.exchanges - last_.exchanges;
    const std::uint64_t good = now.goodReplies - last_.goodReplies;

    LinkFigures figures;
    figures.exchangesPerSecond = seconds > 0.0 ? static_cast<double>(exchanges) / seconds : 0.0;
    if (exchanges > 0) {
        figures.goodRepliesPercent =
            100.0 * static_cast<double>(good) / static_cast<double>(exchanges);
    }
    figures.timeouts = now.timeouts - start_.timeouts;
    figures.checksumErrors = now.checksumErrors - start_.checksumErrors;
    figures.errorReplies = now.errorReplies - start_.errorReplies;
    last_ = now;
    return figures;
}

}  // namespace kestrova::cli
