#include "config/config_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "common/errors.h"
#include "common/file_create.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

bool IsInstalled(const fs::path& executableFolder) {
    if (executableFolder.filename() != "bin") return false;
    std::error_code error;
    return fs::is_directory(executableFolder.parent_path() / SharedDataFolderName, error);
}

// Empty when the environment names no place for the user's files.
fs::path UserFolder(const FolderEnvironment& environment) {
    // Relative values of XDG_CONFIG_HOME are to be ignored.
    const fs::path xdg(environment.xdgConfigHome);
    if (xdg.is_absolute()) return xdg / UserFolderName;
    if (environment.home.empty()) return {};
    return fs::path(environment.home) / ".config" / UserFolderName;
}

// The effective user's home in the password database; empty when it has none.
std::string PasswordHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr && found->pw_dir != nullptr ? found->pw_dir : std::string();
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw FileError("Cannot open file " + path.string());
    return content;
}

// Another process starting at the same moment may put the file there first; its copy is as good.
void CopyOne(const fs::path& from, const fs::path& to) {
    const std::string content = ReadWhole(from);
    TemporaryFile temporary(to.parent_path());
    const bool written = temporary.Valid() && WriteAll(temporary.Descriptor(), content);
    if (!written || temporary.PlaceNew(to) == TemporaryFile::Placed::Failed) {
        throw FileError("Cannot create file " + to.string() + ": " + std::strerror(errno));
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
    const fs::path user = UserFolder(environment);
    if (defaults.empty() || user.empty()) return {executableFolder, {}, {}};
    const fs::path dialogs = environment.home.empty() ? user : fs::path(environment.home);
    return {user, defaults, dialogs};
}

FolderEnvironment ProcessEnvironment() {
    FolderEnvironment environment{EnvironmentValue("XDG_CONFIG_HOME"), EnvironmentValue("HOME")};
    if (environment.home.empty()) environment.home = PasswordHome();
    return environment;
}

bool FolderWritable(const fs::path& folder) {
    return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

void CopyMissingDefaults(const ConfigFolder& config) {
    if (config.defaults.empty()) return;
    std::error_code error;
    fs::create_directories(config.folder, error);
    if (error) {
        throw FileError("Cannot create folder " + config.folder.string() + ": " + error.message());
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
