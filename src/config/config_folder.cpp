#include "config/config_folder.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/errors.h"
#include "common/file_create.h"
#include "common/utf8_path.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

bool IsInstalled(const fs::path& executableFolder) {
    if (executableFolder.filename() != "bin") return false;
    std::error_code error;
    return fs::is_directory(executableFolder.parent_path() / SharedDataFolderName, error);
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw FileError("Cannot open file " + Utf8Of(path));
    return content;
}

// Another process starting at the same moment may put the file there first; its copy is as good.
void CopyOne(const fs::path& from, const fs::path& to) {
    const std::string content = ReadWhole(from);
    TemporaryFile temporary(to.parent_path());
    const bool written = temporary.Valid() && WriteAll(temporary.Descriptor(), content);
    if (!written || temporary.PlaceNew(to) == TemporaryFile::Placed::Failed) {
        throw FileError("Cannot create file " + Utf8Of(to) + ": " + std::strerror(errno));
    }
}

}  // namespace

ConfigFolder ChooseConfigFolder(const fs::path& executableFolder,
                                const FolderEnvironment& environment,
                                const FolderWritableProbe& writable) {
    fs::path defaults;
    if (IsInstalled(executableFolder)) {
        defaults = executableFolder.parent_path() / SharedDataFolderName;
    } else if (!writable(executableFolder)) {
        defaults = executableFolder;
    }
    const fs::path user = UserConfigFolder(environment);
    if (defaults.empty() || user.empty()) return {executableFolder, {}, {}};
    const fs::path dialogs = environment.home.empty() ? user : PathFromUtf8(environment.home);
    return {user, defaults, dialogs};
}

void CopyMissingDefaults(const ConfigFolder& config) {
    if (config.defaults.empty()) return;
    std::error_code error;
    fs::create_directories(config.folder, error);
    if (error) {
        throw FileError("Cannot create folder " + Utf8Of(config.folder) + ": " + error.message());
    }
    for (std::string_view name : ConfigurationFileNames) {
        const fs::path target = config.folder / name;
        const fs::path source = config.defaults / name;
        // A link at the name, even a dangling one, is the user's own and counts as present.
        if (fs::exists(fs::symlink_status(target, error)) || !fs::is_regular_file(source, error)) {
            continue;
        }
        CopyOne(source, target);
    }
}

}  // namespace kestrova
