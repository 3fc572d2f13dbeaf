#pragma once

#include "port/serial_line.h"
#include "sim/pty_simulator.h"

namespace kestrova::test {

// A controller that answers does so well within the reply limit, but on a machine held up by
// other work or in an instrumented build the pseudo-terminal can take longer than that to pass a
// reply on, while simulated or 1 ms ticks run on. So while a reply is awaited from a simulator
// that answers, the line is given up to a second of real time to deliver it, once per exchange (a
// request swallowed while the simulator was silent is never answered); the wait ends with the
// first byte.
class PtyReplyWait {
public:
    // After a comms tick; awaitingReply: the port is receiving a reply the simulator will send.
    void AfterTick(bool awaitingReply, SerialLine& line, PtySimulator& sim);

private:
    bool gaveUp_ = false;  // the reply awaited now did not come within the wait
};

}  // namespace kestrova::test
