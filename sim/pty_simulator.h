#pragma once

#include "sim/controller_model.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

// Serving the simulated controller on a pseudo-terminal: the utility opens the terminal's slave
// device (or a symbolic link to it) as its serial port; requests arrive on the master side, go
// through the controller model, and the replies go back, shaped by the fault settings.
namespace kestrova {

// Chances, 0..1, that a reply is spoilt in one of these ways.
struct FaultSettings {
    double drop = 0.0;     // the reply is not sent at all
    double corrupt = 0.0;  // the reply's checksum is damaged
    double error = 0.0;    // an error reply (code Busy) goes out instead of the real reply
    double garbage = 0.0;  // 1 to 8 stray bytes go out just before the reply
    std::uint32_t seed = 1;
};

struct FaultOutcome {
    bool send = true;
    bool corrupted = false;
    bool errorInjected = false;
    std::uint8_t garbageLength = 0;
    std::array<std::uint8_t, 8> garbage{};
};

// Decides, reply by reply, which faults strike; reproducible for a given seed.
class FaultInjector {
public:
    explicit FaultInjector(const FaultSettings& settings);

    // May turn reply into an error reply or damage its checksum; fills the stray bytes to send
    // before it. send is false for a dropped reply (nothing else is then done to it).
    FaultOutcome Apply(SimReply& reply);

private:
    bool Chance(double probability);

    FaultSettings settings_;
    std::mt19937 rng_;
    std::uniform_real_distribution<double> unit_{0.0, 1.0};
};

struct SimOptions {
    FaultSettings faults;
    int delayMs = 0;                  // every reply waits this long before its first byte
    int baud = 0;                     // > 0: reply bytes leave at this line speed, 10 bits a byte
    bool silent = false;              // requests are swallowed and never answered
    std::uint8_t controllerMode = 1;  // 1 enhanced, 0 legacy at power-on
    std::string linkPath;             // when set, a symbolic link to the device is kept here
    std::FILE* trace = nullptr;       // when set, one line per frame is written here
};

class PtySimulator {
public:
    explicit PtySimulator(SimOptions options = {});
    ~PtySimulator();
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    // Creates the pseudo-terminal (slave in raw mode and held open, so the line stays up while
    // clients come and go) and the link. On failure returns false with the reason in error and
    // leaves nothing behind.
    bool Start(std::string& error);

    // Closes the terminal and removes the link when it still points to this device.
    void Stop();

    bool Running() const { return master_ >= 0; }
    const std::string& DevicePath() const { return device_; }

    // Serves the line for at most maxWaitMs: takes in request bytes, moves the model on by the
    // time that passed, and sends the reply bytes that are due. Returns true when wakeFd (when
    // not -1) became readable.
    bool Poll(int maxWaitMs, int wakeFd = -1);

    void SetSilent(bool silent) { options_.silent = silent; }
    bool Silent() const { return options_.silent; }

    ControllerModel& Model() { return model_; }
    const ControllerModel& Model() const { return model_; }
    std::uint32_t RepliesSent() const { return repliesSent_; }

private:
    struct PendingOutput {
        std::array<std::uint8_t, 8 + SimReplyFrameSize> bytes{};
        std::uint16_t length = 0;
        std::uint16_t sent = 0;
        std::int64_t startUs = 0;
    };

    static std::int64_t NowUs();
    void AdvanceModel(std::int64_t nowUs);
    void ReadRequests(std::int64_t nowUs);
    void CollectReplies(std::int64_t nowUs);
    void SendDue(std::int64_t nowUs);
    std::int64_t NextOutputUs() const;
    void TraceReply(const SimReply& reply, const FaultOutcome& outcome);
    void TraceModelEvents();

    SimOptions options_;
    ControllerModel model_;
    FaultInjector faults_;
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    bool linkMade_ = false;
    std::int64_t lastTickUs_ = 0;
    double byteUs_ = 0.0;
    std::int64_t lineFreeUs_ = 0;
    bool writeBlocked_ = false;

    std::array<PendingOutput, SimReplyQueueSize> output_{};
    std::size_t outputHead_ = 0;
    std::size_t outputCount_ = 0;
    std::uint32_t repliesSent_ = 0;
    SimStats tracedStats_{};
};

}  // namespace kestrova
