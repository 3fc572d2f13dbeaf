#pragma once

#include "sim/controller_model.h"
#include "sim/fault_injector.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// Serving the simulated controller on a pseudo-terminal: the utility opens the terminal's slave
// device (or a symbolic link to it) as its serial port; requests arrive on the master side, go
// through the controller model, and the replies go back, shaped by the fault settings.
namespace kestrova {

struct SimOptions {
    // How long a late reply waits: beyond the utility's reply limit on a pseudo-terminal (34
    // polls of its port driver, 17 ms, plus 20 ms allowed for a bridged line) and well inside the
    // 250 ms it waits out after an exchange that timed out.
    static constexpr int DefaultLateMs = 60;

    FaultSettings faults;
    int delayMs = 0;                  // every reply waits this long before its first byte
    int lateMs = DefaultLateMs;       // a late reply (faults.late) waits this much longer
    int baud = 0;                     // > 0: reply bytes leave at this line speed, 10 bits a byte
    bool silent = false;              // requests are swallowed and never answered
    std::uint8_t controllerMode = 1;  // 1 enhanced, 0 legacy at power-on
    std::string linkPath;             // when set, a symbolic link to the device is kept here
    // Writes to the value at this address are acknowledged and not applied.
    std::optional<std::uint32_t> ignoreWritesTo;
    std::FILE* trace = nullptr;  // when set, one line per frame is written here
    // When set, one line per good read reply that goes out intact, written before its first
    // byte: "read <address> <data>", both in hex, the data bytes in the order sent.
    std::FILE* replyLog = nullptr;
    // A pulled cable, once: this long after Start the line is unplugged (see Unplug), and with
    // returnAfter set it is plugged in again that much later (see PlugIn).
    std::optional<std::chrono::microseconds> unplugAfter;
    std::optional<std::chrono::microseconds> returnAfter;
};

class PtySimulator {
public:
    explicit PtySimulator(SimOptions options = {});
    ~PtySimulator();
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    // Creates the pseudo-terminal (slave in raw mode and held open, so the line stays up while
    // clients come and go) and the link, and starts the unplug schedule. On failure returns false
    // with the reason in error and leaves nothing behind.
    bool Start(std::string& error);

    // Unplugs the line and ends the run.
    void Stop();

    // Between Start and Stop, plugged in or not.
    bool Running() const { return running_; }
    // The pseudo-terminal exists and is served.
    bool Plugged() const { return master_ >= 0; }
    // The current terminal's slave device; while unplugged, the last one.
    const std::string& DevicePath() const { return device_; }
    // Why the run ended by itself (a scheduled return that failed); empty otherwise.
    const std::string& StopReason() const { return stopReason_; }

    // Removes the link when it still points to this device and closes the terminal, so a client
    // on it sees a hang-up. The controller keeps its memory; replies not yet sent are lost.
    void Unplug();
    // Creates a new pseudo-terminal and the link to it, as at Start. On failure returns false
    // with the reason in error and stays unplugged.
    bool PlugIn(std::string& error);

    // Serves the line for at most maxWaitMs: takes in request bytes, moves the model on by the
    // time that passed, and sends the reply bytes that are due. Returns true when wakeFd (when
    // not -1) became readable.
    bool Poll(int maxWaitMs, int wakeFd = -1);

    void SetSilent(bool silent) { options_.silent = silent; }
    bool Silent() const { return options_.silent; }

    ControllerModel& Model() { return model_; }
    const ControllerModel& Model() const { return model_; }
    std::uint32_t RepliesSent() const { return repliesSent_; }
    const FaultCounts& Faults() const { return faults_.Counts(); }

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
    bool FollowSchedule(std::int64_t nowUs);
    bool MakeLink(std::string& error);
    void RemoveLink();
    void TraceReply(const SimReply& reply, const FaultOutcome& outcome);
    // Called for a reply queued to go out.
    void LogReply(const SimReply& reply, const FaultOutcome& outcome);
    void TraceModelEvents();

    SimOptions options_;
    ControllerModel model_;
    FaultInjector faults_;
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    bool linkMade_ = false;
    bool running_ = false;
    std::int64_t unplugAtUs_ = INT64_MAX;
    std::int64_t returnAtUs_ = INT64_MAX;
    std::string stopReason_;
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
