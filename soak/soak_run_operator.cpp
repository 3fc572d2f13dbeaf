// The operator's part of the soak run: gestures on the track bars and step buttons, picking
// COM 1 again after a loss, and the simulator's kill halfway through.
#include "soak/soak_run.h"

#include <cstdio>

namespace kestrova::soak {

void SoakRun::OperatorStep() {
    // A loss that lasts: pick COM 1 again, as an operator would.
    const CommsCaptionTracker& comms = display_.tracker;
    if (comms.LossOpen() && nowMs_ - comms.LossSinceMs() >= ReselectAfterLossMs &&
        nowMs_ - lastSelectMs_ >= ReselectRepeatMs) {
        operator_.Interrupt(nowMs_);
        SelectCom1();
        return;
    }
    if (figures_.killed && figures_.lostAfterKillMs < 0 && comms.LastLossMs() >= figures_.killMs) {
        figures_.lostAfterKillMs = comms.LastLossMs();
        // Until the loss showed, comms still read good, yet what was written then never reached
        // the restarted controller: it went to the dead line or was withdrawn at the reconnect.
        ledger_.ForgetAll();
    }
    // The dashboard reconnects by itself once the device is back; the operator's pick after a
    // lasting loss is the fallback.
    if (figures_.lostAfterKillMs >= 0 && figures_.goodAfterKillMs < 0 &&
        comms.LastGoodMs() >= figures_.lostAfterKillMs) {
        figures_.goodAfterKillMs = comms.LastGoodMs();
    }

    if (phase_ != Phase::Writing) {
        CheckpointStep();
        return;
    }
    if (!figures_.killed && nowMs_ >= runMs_ / 2) {
        KillAndRestart();
        return;
    }
    if (nowMs_ >= runMs_) {
        BeginCheckpoint(true);
        return;
    }
    if (nowMs_ - phaseStartMs_ >= CheckpointEveryMs && CommsGood()) {
        BeginCheckpoint(false);
        return;
    }
    if (auto event = operator_.Next(nowMs_, display_.views)) Fire(*event);
}

void SoakRun::Fire(const OperatorEvent& event) {
    const bool good = CommsGood();
    const double before = Pt(event.point).ScaledValue;
    // The block carrying the previous value is already built: this value must still follow it.
    if (good && Pt(event.point).Write_Idx != -1) ++figures_.writesOverInFlight;
    Guarded(event.object, [&] { core_->ServiceEvent(event.object, event.text); });
    ++figures_.events;
    const double after = Pt(event.point).ScaledValue;
    // A step at its limit writes nothing; every track bar value is written.
    if (event.trackBar || after != before) ledger_.Written(event.point, after, good);
}

void SoakRun::SelectCom1() {
    // Values still waiting to be sent are withdrawn when the link reopens: the operator knows
    // they have to be set again.
    for (int p : AdjustPoints) {
        if (core_->Points().PointWriteBusy(p)) ledger_.Written(p, Pt(p).ScaledValue, false);
    }
    ++figures_.selections;
    lastSelectMs_ = nowMs_;
    Guarded("CommsSelect", [&] { core_->ServiceEvent("CommsSelect", "0"); });
    if (figures_.killed && figures_.reselectAfterKillMs < 0) figures_.reselectAfterKillMs = nowMs_;
}

void SoakRun::KillAndRestart() {
    figures_.killed = true;
    figures_.killMs = nowMs_;
    sim_.Kill();
    // A restarted controller comes up with its power-on memory.
    ledger_.ForgetAll();
    replyLog_.StartOver();
    std::string error;
    if (!StartSimulator(options_.seed + 1, error)) {
        figures_.simRestartFailed = true;
        figures_.simTrouble = "restart failed: " + error;
        std::fprintf(stderr, "soak: simulator %s\n", figures_.simTrouble.c_str());
    }
    std::printf("soak: %s: simulator killed and restarted on %s\n", SecondsText(nowMs_).c_str(),
                sim_.DevicePath().c_str());
    std::fflush(stdout);
}

}  // namespace kestrova::soak
