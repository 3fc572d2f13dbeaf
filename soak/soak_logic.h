#pragma once

// The pieces of the soak run that hold no process, clock or file: the command line, the memory
// figure of /proc/self/status, the comms captions seen by the operator, the ledger of values the
// operator wrote, and the operator's gestures. Everything here has fixed-size state, so a run of
// any length keeps the same footprint.

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "points/point_database.h"

namespace kestrova::soak {

// --- Command line -------------------------------------------------------------------------------

struct SoakOptions {
    double minutes = 1.0;     // length of the operator's session; fractions allowed
    std::uint32_t seed = 1;   // seed of the operator's gestures and of the simulator's faults
    bool keepFolder = false;  // keep the temporary folder even when every check passed
    int lateMs = 60;          // how late the simulator's late replies come
    int latencyMs = 0;        // the simulator holds every reply back up to this long
};

// Parses "--minutes N", "--seed N", "--late-ms N", "--latency-ms N" and "--keep". Empty result
// with the reason in error.
std::optional<SoakOptions> ParseOptions(int argc, const char* const* argv, std::string& error);

// --- Memory --------------------------------------------------------------------------------------

// VmRSS in KiB from the text of /proc/<pid>/status; -1 when the line is missing or malformed.
long ParseVmRssKiB(std::string_view status);

// VmRSS of this process in KiB, read without allocating; -1 when it cannot be read.
long ReadOwnVmRssKiB();

// When the memory baseline is taken: after the first minute, or after the first 20 % of a run
// shorter than two minutes.
std::int64_t RssBaselineMs(std::int64_t runMs);
inline constexpr long RssGrowthLimitKiB = 1024;

// --- Exchange counting ---------------------------------------------------------------------------

// Good exchanges between two readings of a point's reply counter, which runs 0..1001 and then
// starts again at 0.
std::int32_t ReplyCountDelta(std::int32_t before, std::int32_t now);

// --- Comms captions ------------------------------------------------------------------------------

// Follows the "CommsStatus" captions as the operator reads them: every "Comms Lost" or
// "Port Lost" opens a loss, the next "Comms Good" closes it. Times are the caller's milliseconds.
class CommsCaptionTracker {
public:
    void Caption(std::string_view text, std::int64_t nowMs);

    int Losses() const { return losses_; }
    int Recoveries() const { return recoveries_; }
    int GoodAnnouncements() const { return goods_; }
    int FailedSelections() const { return failedSelections_; }
    bool LossOpen() const { return lossOpen_; }
    // When the open loss was first shown (meaningless while no loss is open).
    std::int64_t LossSinceMs() const { return lossSinceMs_; }
    std::int64_t LongestOutageMs() const { return longestOutageMs_; }
    std::int64_t LastLossMs() const { return lastLossMs_; }
    std::int64_t LastGoodMs() const { return lastGoodMs_; }

private:
    int losses_ = 0;
    int recoveries_ = 0;
    int goods_ = 0;
    int failedSelections_ = 0;
    bool lossOpen_ = false;
    std::int64_t lossSinceMs_ = 0;
    std::int64_t longestOutageMs_ = 0;
    std::int64_t lastLossMs_ = -1;
    std::int64_t lastGoodMs_ = -1;
};

// --- Written values ------------------------------------------------------------------------------

// The six adjust value points the operator writes: Pan, Tilt, Roll, positive then negative.
inline constexpr std::array<int, 6> AdjustPoints{10, 13, 20, 23, 30, 33};

// For each adjust point, the last value the operator wrote and whether the controller must hold
// it: a value written while comms were good must arrive; one written at any other time may be
// withdrawn (the link reopens) or may meet a controller that restarted, so the point's value is
// unknown until it is written again with good comms.
class WriteLedger {
public:
    void Written(int point, double value, bool commsGood);
    // The controller lost its memory (it was restarted): nothing written before is expected.
    void ForgetAll();

    bool Known(int point) const;
    double Expected(int point) const;
    std::int64_t WritesTotal() const { return writesTotal_; }
    std::int64_t WritesWhileGood() const { return writesGood_; }

private:
    static int Slot(int point);

    std::array<double, AdjustPoints.size()> value_{};
    std::array<bool, AdjustPoints.size()> known_{};
    std::int64_t writesTotal_ = 0;
    std::int64_t writesGood_ = 0;
};

// One adjust point whose read-back value differs from the last value written.
struct Mismatch {
    int point = -1;
    double expected = 0.0;
    double readBack = 0.0;
};

// Compares the points' values (fresh from the controller) with the ledger; known points only.
// Returns the number compared; the first mismatches found go into out (up to its size), their
// total into mismatches.
int CompareWithLedger(const WriteLedger& ledger, const PointDatabase& points,
                      std::array<Mismatch, AdjustPoints.size()>& out, int& mismatches);

// --- The operator --------------------------------------------------------------------------------

// What the operator sees of one axis on the dashboard: the track bar values as last shown
// ("Pan_PosAdjustValue" and the negated "Pan_NegAdjustValue") and the adjust maximum.
struct AxisView {
    int positive = 0;
    int negative = 0;  // the magnitude (the bar shows it negated)
    int maximum = 0;   // 0 until the controller's range has been shown
};

// One operator action: the event pair the window sends, and the point it writes.
struct OperatorEvent {
    std::string_view object;
    std::string text;  // a short number or "OnClick"
    int point = -1;
    bool trackBar = false;
};

// An operator trimming the three axes in enhanced mode: drags of a track bar (a value every
// 2 to 30 ms, as fast as a mouse moves it, on the way to a target) and series of step button clicks
// (every 80 to 250 ms), with short pauses between gestures. Values stay within 0..maximum of the
// axis.
class Operator {
public:
    explicit Operator(std::uint32_t seed) : random_(seed) {}

    // The next event due at nowMs, if any. views are the three axes as currently shown.
    std::optional<OperatorEvent> Next(std::int64_t nowMs, const std::array<AxisView, 3>& views);
    // Gestures are given up (the operator stops to look); the next one starts after a pause.
    void Interrupt(std::int64_t nowMs);

    static constexpr int DefaultMaximum = 200;

private:
    enum class Gesture { None, Drag, Clicks };

    int Uniform(int low, int high);
    void StartGesture(const std::array<AxisView, 3>& views);

    std::mt19937 random_;
    Gesture gesture_ = Gesture::None;
    int axis_ = 0;
    bool positive_ = true;
    bool up_ = true;     // clicks: step up or down
    int position_ = 0;   // drag: the value last sent
    int target_ = 0;     // drag: where the bar is going
    int step_ = 1;       // drag: distance per event
    int remaining_ = 0;  // clicks left
    std::int64_t nextMs_ = 0;
};

}  // namespace kestrova::soak
