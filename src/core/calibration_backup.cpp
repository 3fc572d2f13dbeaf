// The backup of the controller's values made before a restore: all 40 points in the parameter
// file format, in Backups/ beside the settings file, named after the local time.
#include <array>
#include <ctime>
#include <string>
#include <system_error>

#include "common/errors.h"
#include "common/file_create.h"
#include "common/number_text.h"
#include "common/utf8_path.h"
#include "core/app_service.h"

namespace kestrova {
namespace {

constexpr std::string_view BackupFolderName = "Backups";
constexpr std::string_view BackupNameEnd = "_before_restore";
constexpr std::string_view BackupExtension = ".PRM";

constexpr int MaxSameSecond = 1000;

// "2024-05-06_070809_COM1_before_restore" for the unit on COM1: backups of two units made in
// the same second are told apart by their names.
std::string BackupBaseName(const std::tm& time, std::string_view unit) {
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%Y-%m-%d_%H%M%S", &time);
    std::string name(stamp.data());
    name += '_';
    name += unit;
    name += BackupNameEnd;
    return name;
}

// Gives the written file its backup name without ever replacing a file: PlaceCopy fails on a name
// that exists, so of two cores or processes claiming the same name only one gets it, and the
// other takes the next suffix ("_2", "_3", ...). Returns the name, or empty when none was free.
std::filesystem::path ClaimBackupName(const std::filesystem::path& written,
                                      const std::filesystem::path& folder,
                                      const std::string& base) {
    for (int n = 1; n <= MaxSameSecond; ++n) {
        std::string name = base;
        if (n > 1) {
            name += '_';
            name += IntToText(n);
        }
        name += BackupExtension;
        const std::filesystem::path path = folder / PathFromUtf8(name);
        const TemporaryFile::Placed placed = PlaceCopy(written, path);
        if (placed == TemporaryFile::Placed::Done) return path;
        if (placed == TemporaryFile::Placed::Failed) break;
    }
    return {};
}

}  // namespace

std::tm SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// Writes the 40 values in a temporary folder of its own, so the file gets the permissions of
// any new file, then claims the backup name for it. Throws FileError when either fails; the
// temporary folder is gone either way.
std::filesystem::path AppService::WriteBackup(const std::filesystem::path& folder) {
    const FileError failure("Cannot create a file in " + Utf8Of(folder));
    const std::filesystem::path temporary = MakeTemporaryFolder(folder, ".before_restore.");
    if (temporary.empty()) throw failure;
    const std::filesystem::path written = temporary / "values.PRM";
    std::filesystem::path path;
    try {
        std::array<double, MaxPoints> values{};
        for (int point = 0; point < MaxPoints; ++point) values[point] = Scaled(point);
        WriteParameterValues(written, values);
        path = ClaimBackupName(
            written, folder,
            BackupBaseName(localClock_(), backupUnitName_.empty()
                                              ? "COM" + IntToText(port_.CurrentPort())
                                              : backupUnitName_));
    } catch (const FileError&) {
        std::error_code ignored;
        std::filesystem::remove_all(temporary, ignored);
        throw;
    }
    std::error_code ignored;
    std::filesystem::remove_all(temporary, ignored);
    if (path.empty()) throw failure;
    return path;
}

// With the link open (and so comms good, which the restore waits for) the controller's values
// as last read are written; with the link closed the restore writes only the point table.
AppService::BackupOutcome AppService::BackupBeforeRestore() {
    if (!backupBeforeRestore_) return {true, "No backup before the restore: not asked for"};
    if (!LinkOpen()) return {true, "No backup before the restore: no link, nothing to back up"};
    const std::filesystem::path folder =
        ini_.SettingsFilePath().parent_path() / std::string(BackupFolderName);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::string reason;
    std::filesystem::path path;
    if (error) {
        reason = "Cannot create folder " + Utf8Of(folder) + ": " + error.message();
    } else {
        try {
            path = WriteBackup(folder);
        } catch (const FileError& failure) {
            reason = failure.what();
        }
    }
    if (reason.empty()) return {true, "Backup before the restore: " + Utf8Of(path)};
    return {false, "The controller's values could not be backed up (" + reason +
                       "), so the restore did not start. Open the parameter file again to retry."};
}

}  // namespace kestrova
