// The backup of the controller's values made before a restore: all 40 points in the parameter
// file format, in Backups/ beside the settings file, named after the local time.
#include <array>
#include <string>
#include <system_error>

#include "common/errors.h"
#include "common/number_text.h"
#include "core/app_service.h"

namespace kestrova {
namespace {

constexpr std::string_view BackupFolderName = "Backups";
constexpr std::string_view BackupNameEnd = "_before_restore";
constexpr std::string_view BackupExtension = ".PRM";

// "2024-05-06_070809_before_restore.PRM"; a backup made in the same second as an earlier one
// gets "_2", "_3" and so on before the extension, so none is overwritten.
std::filesystem::path FreeBackupPath(const std::filesystem::path& folder, const std::tm& time) {
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%Y-%m-%d_%H%M%S", &time);
    const std::string base = std::string(stamp.data()) + std::string(BackupNameEnd);
    std::filesystem::path path = folder / (base + std::string(BackupExtension));
    std::error_code error;
    for (int n = 2; std::filesystem::exists(path, error); ++n) {
        path = folder / (base + "_" + IntToText(n) + std::string(BackupExtension));
    }
    return path;
}

}  // namespace

std::tm SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// With comms good the controller's values as last read are written; without, the points hold
// nothing of the controller's worth keeping.
AppService::BackupOutcome AppService::BackupBeforeRestore() {
    if (!backupBeforeRestore_) return {true, "No backup before the restore: not asked for"};
    if (state_.Comms != CommsState::Good) {
        return {true, "No backup before the restore: no comms, nothing to back up"};
    }
    const std::filesystem::path folder =
        ini_.SettingsFilePath().parent_path() / std::string(BackupFolderName);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::string reason;
    std::filesystem::path path;
    if (error) {
        reason = "Cannot create folder " + folder.string() + ": " + error.message();
    } else {
        path = FreeBackupPath(folder, localClock_());
        std::array<double, MaxPoints> values{};
        for (int point = 0; point < MaxPoints; ++point) values[point] = Scaled(point);
        try {
            WriteParameterValues(path, values);
        } catch (const FileError& failure) {
            reason = failure.what();
        }
    }
    if (reason.empty()) return {true, "Backup before the restore: " + path.string()};
    return {false, "The controller's values could not be backed up (" + reason +
                       "), so the restore did not start. Open the parameter file again to retry."};
}

}  // namespace kestrova
