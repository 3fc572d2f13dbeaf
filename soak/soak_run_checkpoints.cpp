// The soak run's checkpoints: the operator stops writing, lets every write through, waits for a
// fresh read of each adjust point from the controller and compares it with the value written.
#include "soak/soak_run.h"

#include <algorithm>
#include <cstdio>

#include "common/enum_int.h"
#include "common/number_text.h"

namespace kestrova::soak {

void SoakRun::BeginCheckpoint(bool final) {
    phase_ = Phase::Settle;
    finalCheckpoint_ = final;
    checkpointStartMs_ = nowMs_;
    operator_.Interrupt(nowMs_);
}

void SoakRun::CheckpointStep() {
    if (nowMs_ - checkpointStartMs_ > CheckpointTimeoutMs) {
        FinishCheckpoint(false);
        return;
    }
    if (phase_ == Phase::Settle) {
        Settle();
    } else {
        ReadBack();
    }
}

void SoakRun::Settle() {
    if (!CommsGood()) return;
    WriteUnknownValues();
    for (int p : AdjustPoints) {
        if (core_->Points().PointWriteBusy(p)) return;
    }
    // Every write is through; the next good exchange of each point is a read of the
    // controller's memory, stored because no write is pending.
    for (std::size_t i = 0; i < AdjustPoints.size(); ++i) {
        readBackCounts_[i] = Pt(AdjustPoints[i]).Msg_Count;
    }
    phase_ = Phase::ReadBack;
}

// A point whose value is not known (written while comms were down, or never since the
// controller restarted) is set once now, with good comms, so every point is compared.
void SoakRun::WriteUnknownValues() {
    static constexpr std::array<std::string_view, AdjustPoints.size()> TrackBars{
        "TrackBarPan_PosAdjustValue", "TrackBarPan_NegAdjustValue", "TrackBarTiltPosAdjustValue",
        "TrackBarTiltNegAdjustValue", "TrackBarRollPosAdjustValue", "TrackBarRollNegAdjustValue"};
    for (std::size_t i = 0; i < AdjustPoints.size(); ++i) {
        const int p = AdjustPoints[i];
        if (ledger_.Known(p) || core_->Points().PointWriteBusy(p)) continue;
        const int axis = static_cast<int>(i / 2);
        const bool positive = i % 2 == 0;
        const AxisView& view = display_.views[static_cast<std::size_t>(axis)];
        const int maximum = view.maximum > 0 ? view.maximum : Operator::DefaultMaximum;
        const int value =
            static_cast<int>((nowMs_ / 1000 + 37 * static_cast<int>(i)) % (maximum + 1));
        OperatorEvent event;
        event.object = TrackBars[i];
        event.text = IntToText(positive ? value : -value);
        event.point = p;
        event.trackBar = true;
        Fire(event);
    }
}

void SoakRun::ReadBack() {
    for (std::size_t i = 0; i < AdjustPoints.size(); ++i) {
        if (core_->Points().PointWriteBusy(AdjustPoints[i])) {
            phase_ = Phase::Settle;  // nothing writes now; should it happen, settle again
            return;
        }
        if (Pt(AdjustPoints[i]).Msg_Count == readBackCounts_[i]) return;
    }
    // The run ends with the final checkpoint: on a line whose comms drop out now and then it ends
    // once they are good again, so that every loss has had its chance to recover.
    if (finalCheckpoint_ && core_->State().Comms != CommsState::Good) return;
    FinishCheckpoint(true);
}

void SoakRun::FinishCheckpoint(bool settled) {
    ++figures_.checkpoints;
    bool passed = false;
    if (!settled) {
        ++figures_.checkpointsTimedOut;
        std::fprintf(stderr, "soak: %s: checkpoint %d did not settle within %s (comms state %d)\n",
                     SecondsText(nowMs_).c_str(), figures_.checkpoints,
                     SecondsText(CheckpointTimeoutMs).c_str(), ToInt(core_->State().Comms));
    } else {
        passed = CompareWithController();
    }
    if (passed) ++figures_.checkpointsPassed;
    figures_.longestCheckpointMs =
        std::max(figures_.longestCheckpointMs, nowMs_ - checkpointStartMs_);
    if (finalCheckpoint_) {
        figures_.finalCheckpointPassed = passed;
        phase_ = Phase::Done;
    } else {
        phase_ = Phase::Writing;
        phaseStartMs_ = nowMs_;
    }
}

// The values just read from the controller against the ledger; true when all six matched.
bool SoakRun::CompareWithController() {
    std::array<Mismatch, AdjustPoints.size()> found{};
    int mismatches = 0;
    const int compared = CompareWithLedger(ledger_, core_->Points(), found, mismatches);
    figures_.pointsCompared += compared;
    figures_.mismatchesTotal += mismatches;
    for (int k = 0; k < mismatches && k < static_cast<int>(found.size()); ++k) {
        const Mismatch& m = found[static_cast<std::size_t>(k)];
        std::fprintf(stderr,
                     "soak: %s: checkpoint %d: point %d holds %s on the controller, last "
                     "written %s\n",
                     SecondsText(nowMs_).c_str(), figures_.checkpoints, m.point,
                     DoubleToText(m.readBack).c_str(), DoubleToText(m.expected).c_str());
    }
    if (compared != static_cast<int>(AdjustPoints.size())) {
        std::fprintf(stderr, "soak: %s: checkpoint %d compared only %d points\n",
                     SecondsText(nowMs_).c_str(), figures_.checkpoints, compared);
    }
    return mismatches == 0 && compared == static_cast<int>(AdjustPoints.size());
}

}  // namespace kestrova::soak
