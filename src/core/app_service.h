#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/axis.h"
#include "common/ini_document.h"
#include "config/kestrova_ini.h"
#include "config/window_placement.h"
#include "core/core_interfaces.h"
#include "core/restore_values.h"
#include "points/point_database.h"
#include "points/tag_file.h"
#include "port/com_numbering.h"
#include "port/open_failure_reason.h"
#include "port/port_catalogue.h"
#include "port/port_drv.h"
#include "port/serial_line.h"
#include "protocol/protocol.h"

namespace kestrova {

// The application name the core always selects, and the file name base of the project
// configuration and the tag file beside the executable.
inline constexpr std::string_view CoreApplicationName = "KESTROVA_001";
inline constexpr std::int32_t CoreSoftwareVersion = 1201;

// The comms status machine: no port, port open and waiting for replies, replies flowing while
// the connection settles, connection good.
enum class CommsState : std::int32_t { None = 0, PortOpen = 1, Connecting = 2, Good = 3 };

// Countdown loads, in system ticks.
inline constexpr std::int32_t NotifyHoldLoad = 80;
inline constexpr std::int32_t RestoreDelayLoad = 36;
inline constexpr std::int32_t ConnectSettleLoad = 200;
inline constexpr std::int32_t ReplyWatchdogLoad = 200;
inline constexpr std::int32_t BlinkCounterLoad = 10;
inline constexpr std::int32_t SupervisorDividerLoad = 4;
// How often a device that went away is looked for while its port stays selected.
inline constexpr std::int32_t ReturnCheckLoad = 100;
inline constexpr std::uint32_t RestoreLastStep = 17;
// How long the verification after a restore waits for the controller's values (5 s).
inline constexpr std::int32_t RestoreVerifyLoad = 500;

// A display cache entry that no point value is expected to match: every value counts as changed.
inline constexpr double DisplayCacheUnset = -66000.0;

// Legacy-mode limits of the adjust values.
inline constexpr double LegacyAdjustLow = 13304.0;
inline constexpr double LegacyAdjustHigh = 15352.0;

// The read-back of the calibration values after the last restore step.
struct RestoreVerification {
    bool active = false;
    // No write request was left, the restore's included: the values' reply counts were taken
    // then, so a count that moved on since stands for a read sent after the last write.
    bool writesSettled = false;
    std::int32_t ticksLeft = 0;  // countdown to giving up, in system ticks
    std::array<std::int32_t, core::RestoreValueCount> settledCounts{};
};

// The state of the application core, one instance per core: counters, countdowns, the comms
// status machine, the display cache and the parameter file buffer. All zero at construction
// unless given here.
struct CoreState {
    std::int32_t SoftwareVersion = 0;
    bool ConfigVersionsOk = false;
    bool EnhancedMode = false;
    CommsState Comms = CommsState::None;
    PortLinkState LastLinkState = PortLinkState::Closed;
    bool FlashPhase = false;
    bool PreviousFlashPhase = false;
    std::int32_t BlinkCounter = BlinkCounterLoad;
    bool RepliesActiveResult = false;
    std::int32_t ReplyWatchdog = 0;
    std::int32_t LastReplyCount = 0;
    std::int32_t ConnectSettleTicks = 0;
    std::int32_t NotifyHoldTicks = 0;
    bool NotifyPending = false;
    std::int32_t RestoreDelay = 0;
    std::uint32_t RestoreStepNumber = 0;
    // A parameter file passed its checks and waits for the operator's answer to its preview;
    // its values are in CalibrationBuffer.
    bool RestorePending = false;
    RestoreVerification Verification;
    bool DebugCommsOverride = false;
    std::int32_t SupervisorDivider = 0;
    // The selected port's device went away: look for it and select the port again when it is
    // back, until the operator picks a port.
    bool AwaitingReturn = false;
    std::int32_t ReturnPort = 0;
    std::int32_t ReturnCheckTicks = 0;
    // The message box with the reason of a failed open was shown for the current selection.
    bool OpenFailureBoxShown = false;
    // The comms status indicator's tooltip holds the reason of a failed open.
    bool StatusHintShown = false;
    std::array<double, MaxPoints> DisplayCache{};
    // Which points hold a value exchanged with the controller since the link opened, and each
    // point's reply count (Msg_Count) when it opened.
    std::array<bool, MaxPoints> FromUnit{};
    std::array<std::int32_t, MaxPoints> ReplyCountsAtOpen{};
    std::array<double, MaxPoints> CalibrationBuffer{};
    // Points the memo has named as unwritable (a scale multiplier of 0 in the tag file).
    std::array<bool, MaxPoints> UnwritableReported{};
    // Values written so far, operator events among whose handling one was written, and restores
    // started.
    std::uint64_t ValueWrites = 0;
    std::uint64_t OperatorAdjustments = 0;
    std::uint64_t RestoresStarted = 0;
};

// The local wall-clock time, which names the backups made before a restore.
using LocalClock = std::function<std::tm()>;
// The system's local time now.
std::tm SystemLocalTime();

// The application core: start-up and shutdown of the runtime, the two periodic ticks, the
// operator's events, the comms supervision and the calibration save and timed restore.
//
// The core owns the runtime below it (point table, tag file, settings and project configuration,
// port driver, protocol). Its owner gives it the window's display entry, the window placement
// that the settings file reads and writes, the serial line the port driver talks through, the
// catalogue of serial devices present, and the executable's path, whose folder holds the three
// configuration files:
//
//     PosixSerialLine line;
//     UdevPortCatalogue catalogue;
//     AppService core(window, window.Placement(), line, catalogue, ExecutablePath());
//     core.CoreStart();            // from the window's creation; then show StartupError()
//     ... CommsTick() every 1 ms, SystemTick() every 10 ms, ServiceEvent() per operator action
//     core.CoreStop();             // from the window's close; may throw FileError (below)
//
// Tests give a temporary folder as the executable's and drive the ticks one by one.
//
// Errors: the core catches no ConversionError or FileError from its events and ticks; they leave
// ServiceEvent, SystemTick and CommsTick where they arise and state already changed stays changed.
// Two exceptions, both so that a bad file never leaves the program half started or half saved:
//  - CoreStart goes on past a conversion error in the project configuration or the tag file; the
//    message is kept in StartupError() for the window to show once it is up, and that file is
//    not written back at exit.
//  - SaveConfigurationFiles (and so CoreStop) tries all three files even when one cannot be
//    written, then throws one FileError whose message holds every failure, one per line. A file
//    that could not be written keeps its old contents.
//
// DisplayUpdate may call ServiceEvent again before it returns (a display command that moves the
// focus or a track bar raises the window's handlers). The core keeps no state across a
// DisplayUpdate call that such a nested event could invalidate, and drops no nested event.
class AppService final : public Core, public CoreMonitor {
public:
    AppService(Display& display, WindowPlacement& window, SerialLine& line,
               PortCatalogue& catalogue, std::filesystem::path executablePath);
    AppService(const AppService&) = delete;
    AppService& operator=(const AppService&) = delete;

    // --- Lifecycle (core_lifecycle.cpp) ---
    void CoreStart() override;
    void CoreStop() override;
    void CommsTick() override;
    void SystemTick() override;
    bool CheckConfigVersions() override;
    // The 1 ms comms tick has work only while the link is open.
    bool CommsTickWanted() const override { return LinkOpen(); }
    void SaveConfigurationFiles();
    void ResetDisplayCache();
    // True when the link is open, false when the port could not be opened.
    bool Connect();
    void Disconnect();

    // --- Operator events (service_event.cpp) ---
    void ServiceEvent(std::string_view objectName, std::string_view eventText) override;
    // True when the settings change was placed, false when a change was already under way.
    bool SelectPortSettings(std::int32_t port);

    // --- Comms supervision (comms_supervisor.cpp) ---
    void CommsSupervisor();
    CommsState SetCommsState(CommsState state, std::string_view text);
    bool RepliesActive();
    bool ValueChanged(int point);

    // --- Serial devices present (port_presence.cpp) ---
    // Looks at the devices present again: numbers new adapters and updates the port list's
    // tooltips.
    void RefreshPortList();
    // Where the reason of a failed open goes besides the window (the program: stderr).
    void SetProblemSink(std::function<void(std::string_view)> sink) {
        problemSink_ = std::move(sink);
    }

    // --- Calibration (calibration.cpp, restore_check.cpp, calibration_backup.cpp,
    // restore_verification.cpp) ---
    void SaveParameterFile(const std::filesystem::path& path);
    void LoadParameterFile(const std::filesystem::path& path);
    void LoadParameterFile(const IniDocument& file);
    void RestoreStep();
    static double ClampValue(double value, double minimum, double maximum);
    // From the operator's "Restore" to the end of the verification after the last step.
    bool RestoreUnderWay() const {
        return state_.RestoreStepNumber != 0 || state_.Verification.active;
    }
    // Where the port driver measures reply limits and quiet times (the system's monotonic clock
    // by default).
    void SetMonotonicClock(MonotonicClock clock) { port_.SetClock(std::move(clock)); }
    // Ends a restore under way, as a stop asked for by the operator: the steps end, and with the
    // link open every axis is written back to Normal (AxesBackInNormal tells when the controller
    // has acknowledged that).
    void StopRestore();
    // Every axis mode is Normal and no write of one is waiting or was refused.
    bool AxesBackInNormal() const;
    // Where the backups before a restore take their names' time from (the system's by default).
    void SetLocalClock(LocalClock clock) { localClock_ = std::move(clock); }
    // Whether a restore first backs the controller's values up (on by default); the command line
    // turns it off when the operator asks for a restore without one.
    void SetBackupBeforeRestore(bool backup) { backupBeforeRestore_ = backup; }
    // The unit's name in a backup's name: "COM<n>" of the open port unless set; the command line
    // names a unit it opened by device path after the device, as its messages do.
    void SetBackupUnitName(std::string name) { backupUnitName_ = std::move(name); }

    // --- What the views read (CoreMonitor) and the protocol trace (link_monitor.cpp) ---
    // How the exchanges with the controller have gone since the last reset.
    LinkCounters LinkStatistics() const override { return protocol_.LinkStatistics(); }
    void ResetLinkStatistics() { protocol_.ResetLinkStatistics(); }
    std::string_view LinkDevice() const override { return port_.DeviceName(); }
    std::int32_t LinkComNumber() const override { return port_.CurrentPort(); }
    bool LinkOpen() const override { return port_.LinkState() == PortLinkState::Open; }
    LinkTiming LinkTimingInUse() const override { return port_.Timing(); }
    std::int32_t AdapterLatencyMs() const override { return adapterLatencyMs_; }
    double PointValue(int point) const override;
    bool PointFromUnit(int point) const override;
    std::uint64_t OperatorAdjustments() const override { return state_.OperatorAdjustments; }
    std::uint64_t RestoresStarted() const override { return state_.RestoresStarted; }
    // Writes the exchange trace to a file, one exchange per line; a file that cannot be written
    // is told in a message box.
    void SaveProtocolTrace(const std::filesystem::path& path);

    // The message of a conversion error met while the configuration loaded (one line per file,
    // "<file name>: <message>"), empty when the start-up read everything.
    std::string_view StartupError() const override { return startupError_; }

    const CoreState& State() const { return state_; }
    const std::filesystem::path& ExecutablePath() const { return executablePath_; }

    PointDatabase& Points() { return points_; }
    const PointDatabase& Points() const { return points_; }
    TagFile& Tags() { return tags_; }
    const TagFile& Tags() const { return tags_; }
    KestrovaIni& Ini() { return ini_; }
    const KestrovaIni& Ini() const { return ini_; }
    PortDrv& Port() { return port_; }
    const PortDrv& Port() const { return port_; }
    Protocol& ProtocolEngine() { return protocol_; }
    const Protocol& ProtocolEngine() const { return protocol_; }

private:
    // byOperator: picked from the port list, not selected again by the return watch.
    void SelectPort(std::int32_t index, bool byOperator);
    void ReportOpenFailure(const OpenFailureReason& reason);
    void LinkWentAway();
    // After an open: the adapter's latency timer for the views, and the memo's word on the timing
    // and on a driver that refused low latency.
    void NoteLinkTiming();
    void WatchForReturn(bool devicesChanged);
    std::string PortHint(int port, const std::vector<PortInfo>& present) const;
    double Scaled(int point) const { return points_.PointTable()[point].ScaledValue; }
    void Show(std::string_view key, std::string_view value) { display_.DisplayUpdate(key, value); }
    void PushPointDisplays();
    void AdvanceCommsState(PortLinkState linkState);
    // No point holds a value from the controller any more; the reply counts are taken anew.
    void ForgetUnitValues();
    // Marks the points that had a good exchange since the link opened and hold its value.
    void NoteUnitValues();
    void SendRangeKeys(Axis axis, double maximum);
    void RunRestoreStep(std::uint32_t step);
    // Writes an engineering value into a point; a point the tag file gives no usable scaling is
    // named once in the memo.
    void WriteValue(int point, double value);

    // Restore: the file's checks and preview, the operator's answer, the backup, the read-back.
    void OpenParameterFile(const std::filesystem::path& path);
    std::string RestoreFileRefusal(const IniDocument& file) const;
    std::string ValueProblem(const core::RestoreValue& value, double fileValue) const;
    void SendPreviewRows();
    void AnswerRestorePreview(bool restore);
    struct BackupOutcome {
        bool written;      // or not needed: no comms, nothing to back up
        std::string text;  // the memo line, or why the backup failed
    };
    BackupOutcome BackupBeforeRestore();
    std::filesystem::path WriteBackup(const std::filesystem::path& folder);
    static void WriteParameterValues(const std::filesystem::path& path,
                                     const std::array<double, MaxPoints>& values);
    // Ends the steps or the read-back early and tells why ("comms lost"; empty: the link closed).
    void InterruptRestore(std::string_view why);
    void WriteAxesNormal();
    void StartVerification();
    void VerifyRestore();
    // unreadReason: what the values not read back are told with.
    void FinishVerification(std::string_view unreadReason);
    bool AnyWritePending() const;

    Display& display_;
    PortCatalogue& catalogue_;
    std::filesystem::path executablePath_;
    std::string executableFolder_;  // without trailing separator

    PointDatabase points_;
    KestrovaIni ini_;
    TagFile tags_;
    PortDrv port_;
    Protocol protocol_;

    CoreState state_;
    std::string startupError_;
    std::filesystem::path returnDevice_;  // the device looked for while AwaitingReturn
    std::int32_t adapterLatencyMs_ = -1;  // the open adapter's latency timer, -1 when not shown
    std::vector<std::string> lowLatencyRefusedBy_;  // devices whose refusal the memo told of
    // The explanation of the busy device found for the current selection ("" before any).
    std::string busyReason_;
    // The last reason a line gave for its loss, reported once until it changes.
    std::string lineFailure_;
    std::array<std::string, LastComNumber> portHints_;  // the tooltips last sent
    std::function<void(std::string_view)> problemSink_;
    LocalClock localClock_ = SystemLocalTime;
    bool backupBeforeRestore_ = true;
    std::string backupUnitName_;
};

}  // namespace kestrova
