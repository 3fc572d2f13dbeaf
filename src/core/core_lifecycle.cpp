#include "core/app_service.h"

#include <system_error>
#include <utility>

#include "common/errors.h"
#include "common/utf8_path.h"
#include "core/core_tables.h"
#include "core/ui_names.h"

namespace kestrova {
namespace {

// The executable's folder as text, absolute, without trailing separator: the same folder the
// settings file defaults its application directory to.
std::string FolderOf(const std::filesystem::path& executablePath) {
    std::error_code error;
    std::filesystem::path path = executablePath;
    if (!path.empty()) {
        std::filesystem::path absolute = std::filesystem::absolute(path, error);
        if (!error) path = std::move(absolute);
    }
    std::string text = Utf8Of(path.parent_path());
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

void AppendLine(std::string& text, std::string_view line) {
    if (!text.empty()) text += '\n';
    text += line;
}

// Runs one file's load; a bad number or an unreadable file is kept as a line of the start-up
// error, named after the file, and start-up goes on.
template <class Load>
void KeepLoadError(std::string& errors, std::string_view file, Load&& load) {
    try {
        load();
    } catch (const ConversionError& error) {
        AppendLine(errors, std::string(file) + ": " + error.what());
    } catch (const FileError& error) {
        AppendLine(errors, std::string(file) + ": " + error.what());
    }
}

}  // namespace

AppService::AppService(Display& display, WindowPlacement& window, SerialLine& line,
                       PortCatalogue& catalogue, std::filesystem::path executablePath)
    : display_(display),
      catalogue_(catalogue),
      executablePath_(std::move(executablePath)),
      executableFolder_(FolderOf(executablePath_)),
      ini_(points_, window, executablePath_),
      port_(line, ini_.Serial, ini_.Ports),
      protocol_(points_, port_) {}

void AppService::CoreStart() {
    state_.SoftwareVersion = CoreSoftwareVersion;
    Show(display_keys::DebugInfo, "Oncreate INI");

    ini_.SetSettingsDefaults();
    Show(display_keys::DebugInfo, ini_.Directory);
    ini_.SetProjectDefaults();
    // A settings file that cannot be read leaves its version at 0, so nothing is written at exit.
    startupError_.clear();
    KeepLoadError(startupError_, Utf8Of(ini_.SettingsFilePath().filename()),
                  [this] { ini_.ReadSettingsFile(); });
    Show(display_keys::DebugInfo, ini_.Name);

    // Whatever the settings file said, the project configuration and the tag file are the
    // ones of this program, beside its executable.
    ini_.Name = CoreApplicationName;
    ini_.Directory = executableFolder_;

    // A bad number in either file must not leave the program half started: the rest of the
    // start-up runs, the message is kept for the window, and the loaders remember the failed
    // load so that the part-read file is not written back at exit.
    KeepLoadError(startupError_, Utf8Of(ini_.ProjectFilePath().filename()),
                  [this] { ini_.ReadProjectFile(); });
    KeepLoadError(startupError_, TagFile::MakeTagFileName(ini_.Name),
                  [this] { tags_.LoadPoints(points_, ini_.Name, PathFromUtf8(ini_.Directory)); });

    {
        std::string text = "CORE_INIT: ";
        text += points_.PointName(core::PointsOf(Axis::Pan).mode);
        Show(display_keys::DebugInfo, text);
    }

    SetCommsState(CommsState::None, display_values::NoCommsCaption);
    state_.RepliesActiveResult = false;

    port_.PortInit();
    protocol_.ProtocolInit();

    points_.ResetScanCounters();
    protocol_.ResetChannel();

    ResetDisplayCache();
    CheckConfigVersions();

    points_.StorePointRaw(core::SoftwareVersionPoint, state_.SoftwareVersion);
    WriteValue(core::VersionShownPoint, 0.0);

    portHints_.fill({});
    RefreshPortList();
}

void AppService::CoreStop() {
    if (LinkOpen()) Disconnect();
    if (CheckConfigVersions()) SaveConfigurationFiles();
}

void AppService::SaveConfigurationFiles() {
    // Each file is tried even when an earlier one failed; the failures are reported together.
    std::string failures;
    const auto attempt = [&failures](auto&& save) {
        try {
            save();
        } catch (const FileError& error) {
            AppendLine(failures, error.what());
        }
    };
    attempt([this] { tags_.SavePoints(points_, ini_.Name); });
    attempt([this] { ini_.WriteProjectFile(); });
    attempt([this] { ini_.WriteSettingsFile(); });
    if (!failures.empty()) throw FileError(failures);
}

void AppService::CommsTick() {
    port_.PortPoll();
    protocol_.ProtocolPoll();
    port_.PortPoll();
}

void AppService::SystemTick() {
    points_.TickScanTimers();

    for (std::int32_t* countdown :
         {&state_.NotifyHoldTicks, &state_.RestoreDelay, &state_.ConnectSettleTicks,
          &state_.ReplyWatchdog, &state_.Verification.ticksLeft}) {
        if (*countdown > 0) --*countdown;
    }

    if (state_.SupervisorDivider >= 1) {
        --state_.SupervisorDivider;
    } else {
        // Reloaded after the run: a display command that fails inside the supervisor leaves the
        // divider at 0, so the supervisor runs again at the next tick instead of five ticks on.
        CommsSupervisor();
        state_.SupervisorDivider = SupervisorDividerLoad;
    }

    points_.ScanPoints();

    const bool devicesChanged = catalogue_.Changed();
    if (devicesChanged) {
        // The system's word that the open device was removed closes the link at once, before
        // a transfer has to fail on it.
        std::error_code error;
        if (LinkOpen() && !std::filesystem::exists(PathFromUtf8(port_.DeviceName()), error)) {
            port_.PortDeviceGone();
        }
        RefreshPortList();
    }
    WatchForReturn(devicesChanged);
}

bool AppService::CheckConfigVersions() {
    state_.SoftwareVersion = CoreSoftwareVersion;
    const bool ok = ini_.SettingsVersion() == state_.SoftwareVersion &&
                    ini_.ProjectVersion() == state_.SoftwareVersion &&
                    tags_.TagFileVersion == state_.SoftwareVersion;
    state_.ConfigVersionsOk = ok;
    return ok;
}

void AppService::ResetDisplayCache() { state_.DisplayCache.fill(DisplayCacheUnset); }

bool AppService::Connect() {
    // Values held now came over an earlier link, or from the tag file.
    ForgetUnitValues();
    protocol_.ProtocolInit();
    port_.PortOpen();
    if (!LinkOpen()) return false;
    // Values written while the link was closed are not sent now that it is open.
    for (int point = 0; point < MaxPoints; ++point) points_.ClearPointWriteRequest(point);
    port_.PortResetTransfer();
    protocol_.ProtocolReset();
    return true;
}

void AppService::Disconnect() {
    port_.PortResetTransfer();
    protocol_.ProtocolReset();
    points_.ClearAllTransferErrors();
    port_.PortClose();
}

}  // namespace kestrova
