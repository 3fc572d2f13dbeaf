#include "link_figures.h"

namespace kestrova::cli {
namespace {

// Msg_Count runs 0 to 1001 and starts again.
constexpr std::int32_t MsgCountModulus = 1002;

}  // namespace

LinkFigureSource::LinkFigureSource(const AppService& core) : core_(core) {
    for (int point = 0; point < MaxPoints; ++point) {
        lastCounts_[point] = core_.Points().PointTable()[point].Msg_Count;
    }
}

LinkFigures LinkFigureSource::Take(double seconds) {
    std::int64_t good = 0;
    for (int point = 0; point < MaxPoints; ++point) {
        const std::int32_t count = core_.Points().PointTable()[point].Msg_Count;
        good += (count - lastCounts_[point] + MsgCountModulus) % MsgCountModulus;
        lastCounts_[point] = count;
    }
    LinkFigures figures;
    figures.goodRepliesPerSecond = seconds > 0.0 ? static_cast<double>(good) / seconds : 0.0;
    return figures;
}

}  // namespace kestrova::cli
