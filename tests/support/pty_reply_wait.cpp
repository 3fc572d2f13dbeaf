#include "support/pty_reply_wait.h"

#include <chrono>
#include <thread>

namespace kestrova::test {

void PtyReplyWait::AfterTick(bool awaitingReply, SerialLine& line, PtySimulator& sim) {
    if (!awaitingReply) {
        gaveUp_ = false;
        return;
    }
    if (sim.Silent() || gaveUp_) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    // An unplugged simulator answers nothing: the reply is then given up at once.
    while (sim.Plugged() && line.QueuedInput() == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        sim.Poll(0);
    }
    gaveUp_ = line.QueuedInput() == 0;
}

}  // namespace kestrova::test
