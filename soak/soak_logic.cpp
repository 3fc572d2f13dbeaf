#include "soak/soak_logic.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "common/number_text.h"
#include "core/ui_names.h"

namespace kestrova::soak {

// --- Command line -------------------------------------------------------------------------------

std::optional<SoakOptions> ParseOptions(int argc, const char* const* argv, std::string& error) {
    SoakOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--keep") {
            options.keepFolder = true;
        } else if (arg == "--minutes" && hasValue) {
            const std::string_view text = argv[++i];
            const auto minutes = TryTextToDouble(text);
            // At least a few seconds, at most a day: the figures are meaningless outside that.
            if (!minutes || !(*minutes >= 0.05 && *minutes <= 1440.0)) {
                error = "bad --minutes '" + std::string(text) + "' (0.05 to 1440)";
                return std::nullopt;
            }
            options.minutes = *minutes;
        } else if (arg == "--seed" && hasValue) {
            const std::string_view text = argv[++i];
            const auto seed = TryTextToInt(text);
            if (!seed || *seed < 0) {
                error = "bad --seed '" + std::string(text) + "'";
                return std::nullopt;
            }
            options.seed = static_cast<std::uint32_t>(*seed);
        } else if ((arg == "--late-ms" || arg == "--latency-ms") && hasValue) {
            const std::string_view text = argv[++i];
            const auto ms = TryTextToInt(text);
            if (!ms || *ms < 0 || *ms > 10'000) {
                error = "bad " + std::string(arg) + " '" + std::string(text) + "' (0 to 10000)";
                return std::nullopt;
            }
            (arg == "--late-ms" ? options.lateMs : options.latencyMs) = *ms;
        } else {
            error = "unknown or incomplete option '" + std::string(arg) + "'";
            return std::nullopt;
        }
    }
    return options;
}

// --- Memory --------------------------------------------------------------------------------------

long ParseVmRssKiB(std::string_view status) {
    constexpr std::string_view key = "VmRSS:";
    std::size_t at = 0;
    while (true) {
        at = status.find(key, at);
        if (at == std::string_view::npos) return -1;
        if (at == 0 || status[at - 1] == '\n') break;
        at += key.size();
    }
    std::size_t i = at + key.size();
    while (i < status.size() && (status[i] == ' ' || status[i] == '\t')) ++i;
    long value = 0;
    std::size_t digits = 0;
    while (i < status.size() && status[i] >= '0' && status[i] <= '9') {
        if (value > (1L << 40)) return -1;  // no machine has that much
        value = value * 10 + (status[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0) return -1;
    while (i < status.size() && status[i] == ' ') ++i;
    if (status.substr(i, 2) != "kB") return -1;
    return value;
}

long ReadOwnVmRssKiB() {
    // A stack buffer and plain system calls: measuring must not move the figure it measures.
    std::array<char, 8192> buffer{};
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    std::size_t length = 0;
    while (length < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + length, buffer.size() - length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return ParseVmRssKiB(std::string_view(buffer.data(), length));
}

std::int64_t RssBaselineMs(std::int64_t runMs) {
    constexpr std::int64_t minuteMs = 60'000;
    return runMs >= 2 * minuteMs ? minuteMs : runMs / 5;
}

// --- Exchange counting ---------------------------------------------------------------------------

std::int32_t ReplyCountDelta(std::int32_t before, std::int32_t now) {
    constexpr std::int32_t period = 1002;  // 0..1001
    return now >= before ? now - before : now + period - before;
}

// --- Comms captions ------------------------------------------------------------------------------

void CommsCaptionTracker::Caption(std::string_view text, std::int64_t nowMs) {
    if (text == display_values::CommsLost || text == display_values::PortLost) {
        ++losses_;
        lastLossMs_ = nowMs;
        if (!lossOpen_) {
            lossOpen_ = true;
            lossSinceMs_ = nowMs;
        }
    } else if (text == display_values::CommsGood) {
        // The core announces good comms twice in a row (once before and once after its colour);
        // one announcement closes the loss.
        ++goods_;
        lastGoodMs_ = nowMs;
        if (lossOpen_) {
            ++recoveries_;
            longestOutageMs_ = std::max(longestOutageMs_, nowMs - lossSinceMs_);
            lossOpen_ = false;
        }
    } else if (text.size() > 10 && text.substr(0, 3) == "COM" &&
               text.substr(text.size() - 10) == " Not Valid") {
        ++failedSelections_;
    }
}

// --- Written values ------------------------------------------------------------------------------

int WriteLedger::Slot(int point) {
    for (std::size_t i = 0; i < AdjustPoints.size(); ++i) {
        if (AdjustPoints[i] == point) return static_cast<int>(i);
    }
    return -1;
}

void WriteLedger::Written(int point, double value, bool commsGood) {
    const int slot = Slot(point);
    if (slot < 0) return;
    ++writesTotal_;
    if (commsGood) ++writesGood_;
    value_[static_cast<std::size_t>(slot)] = value;
    known_[static_cast<std::size_t>(slot)] = commsGood;
}

void WriteLedger::ForgetAll() { known_.fill(false); }

bool WriteLedger::Known(int point) const {
    const int slot = Slot(point);
    return slot >= 0 && known_[static_cast<std::size_t>(slot)];
}

double WriteLedger::Expected(int point) const {
    const int slot = Slot(point);
    return slot >= 0 ? value_[static_cast<std::size_t>(slot)] : 0.0;
}

int CompareWithLedger(const WriteLedger& ledger, const PointDatabase& points,
                      std::array<Mismatch, AdjustPoints.size()>& out, int& mismatches) {
    int compared = 0;
    mismatches = 0;
    for (int point : AdjustPoints) {
        if (!ledger.Known(point)) continue;
        ++compared;
        const double readBack = points.PointTable()[static_cast<std::size_t>(point)].ScaledValue;
        if (readBack != ledger.Expected(point)) {
            if (static_cast<std::size_t>(mismatches) < out.size()) {
                out[static_cast<std::size_t>(mismatches)] = {point, ledger.Expected(point),
                                                             readBack};
            }
            ++mismatches;
        }
    }
    return compared;
}

// --- The operator --------------------------------------------------------------------------------

namespace {

struct AxisNames {
    int posPoint;
    int negPoint;
    std::string_view posInc, posDec, posTrack, negInc, negDec, negTrack;
};

// The object names of the dashboard's adjust controls (Pan's carry an underscore).
constexpr std::array<AxisNames, 3> Names{{
    {10, 13, "ButtonPan_PosValueInc", "ButtonPan_PosValueDec", "TrackBarPan_PosAdjustValue",
     "ButtonPan_NegValueInc", "ButtonPan_NegValueDec", "TrackBarPan_NegAdjustValue"},
    {20, 23, "ButtonTiltPosValueInc", "ButtonTiltPosValueDec", "TrackBarTiltPosAdjustValue",
     "ButtonTiltNegValueInc", "ButtonTiltNegValueDec", "TrackBarTiltNegAdjustValue"},
    {30, 33, "ButtonRollPosValueInc", "ButtonRollPosValueDec", "TrackBarRollPosAdjustValue",
     "ButtonRollNegValueInc", "ButtonRollNegValueDec", "TrackBarRollNegAdjustValue"},
}};

int MaximumOf(const AxisView& view) {
    return view.maximum > 0 ? view.maximum : Operator::DefaultMaximum;
}

}  // namespace

int Operator::Uniform(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
}

void Operator::Interrupt(std::int64_t nowMs) {
    gesture_ = Gesture::None;
    nextMs_ = nowMs + Uniform(50, 300);
}

void Operator::StartGesture(const std::array<AxisView, 3>& views) {
    axis_ = Uniform(0, 2);
    positive_ = Uniform(0, 1) == 0;
    const AxisView& view = views[static_cast<std::size_t>(axis_)];
    const int maximum = MaximumOf(view);
    if (Uniform(0, 2) != 0) {
        gesture_ = Gesture::Drag;
        position_ = std::clamp(positive_ ? view.positive : view.negative, 0, maximum);
        target_ = Uniform(0, maximum);
        step_ = Uniform(1, 8);
    } else {
        gesture_ = Gesture::Clicks;
        up_ = Uniform(0, 1) == 0;
        remaining_ = Uniform(1, 10);
    }
}

std::optional<OperatorEvent> Operator::Next(std::int64_t nowMs,
                                            const std::array<AxisView, 3>& views) {
    if (nowMs < nextMs_) return std::nullopt;
    if (gesture_ == Gesture::None) StartGesture(views);

    const AxisNames& names = Names[static_cast<std::size_t>(axis_)];
    const int maximum = MaximumOf(views[static_cast<std::size_t>(axis_)]);
    OperatorEvent event;
    event.point = positive_ ? names.posPoint : names.negPoint;

    if (gesture_ == Gesture::Drag) {
        target_ = std::min(target_, maximum);
        position_ = std::min(position_, maximum);
        if (position_ < target_) {
            position_ = std::min(position_ + step_, target_);
        } else if (position_ > target_) {
            position_ = std::max(position_ - step_, target_);
        }
        event.trackBar = true;
        event.object = positive_ ? names.posTrack : names.negTrack;
        // The negative bar runs from -maximum to 0 and reports its position.
        event.text = IntToText(positive_ ? position_ : -position_);
        if (position_ == target_) {
            Interrupt(nowMs);
        } else {
            nextMs_ = nowMs + Uniform(2, 30);
        }
        return event;
    }

    // Step buttons. The core keeps the value inside 0..maximum by itself.
    if (positive_) {
        event.object = up_ ? names.posInc : names.posDec;
    } else {
        // Up makes the negative trim smaller in magnitude.
        event.object = up_ ? names.negInc : names.negDec;
    }
    event.text = event_texts::OnClick;
    if (--remaining_ <= 0) {
        Interrupt(nowMs);
    } else {
        nextMs_ = nowMs + Uniform(80, 250);
    }
    return event;
}

}  // namespace kestrova::soak
