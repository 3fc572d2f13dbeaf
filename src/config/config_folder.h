#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kestrova {

// The three configuration files the program reads at start-up and writes back at exit.
inline constexpr std::array<std::string_view, 3> ConfigurationFileNames = {
    "Kestrova_Interface.INI", "KESTROVA_001.CG0", "KESTROVA_001.TG1"};

// The folder of the installed defaults below the installation prefix, and the folder of the
// user's own copies below the user's configuration folder.
inline constexpr std::string_view SharedDataFolderName = "share/kestrova-interface";
inline constexpr std::string_view UserFolderName = "kestrova-interface";

// What the folder choice reads of the process environment.
struct FolderEnvironment {
    // $XDG_CONFIG_HOME (on Windows the roaming application data folder), empty when unset
    std::string xdgConfigHome;
    std::string home;  // $HOME (on Windows the user's profile folder), empty when unset
};

// Where the configuration files are read and written.
struct ConfigFolder {
    // The three files, and Backups/ beside them.
    std::filesystem::path folder;
    // Where files missing from `folder` are copied from before start-up; empty when the files
    // are used where they are, beside the executable.
    std::filesystem::path defaults;
    // Where the parameter file dialogs open; empty when they open in the settings' Directory.
    std::filesystem::path dialogFolder;
};

// Whether the running process may create and replace files in a folder.
using FolderWritableProbe = std::function<bool(const std::filesystem::path&)>;

// Chooses the configuration folder of the program whose executable lies in executableFolder
// (an absolute path):
// - an installed program (its folder is <prefix>/bin and <prefix>/share/kestrova-interface
//   exists) uses the user's folder with the installed defaults, whoever runs it: root may write
//   to /usr/bin, but a packaged program must not keep its settings there;
// - any other program whose folder is writable keeps its files beside itself;
// - one whose folder is not writable uses the user's folder with the files beside it as
//   defaults.
// The user's folder is UserConfigFolder's; without one the files stay beside the executable.
ConfigFolder ChooseConfigFolder(const std::filesystem::path& executableFolder,
                                const FolderEnvironment& environment,
                                const FolderWritableProbe& writable);

// The user's folder for the files: $XDG_CONFIG_HOME/kestrova-interface when that is an absolute
// path, else $HOME/.config/kestrova-interface; on Windows "Kestrova Interface" in the application
// data folder. Empty when the environment names no place.
std::filesystem::path UserConfigFolder(const FolderEnvironment& environment);

// The environment of this process; without $HOME, the home the password database gives the
// effective user (a program started with an empty environment still finds the user's folder).
FolderEnvironment ProcessEnvironment();

// True when this process may write into the folder (access(2) with the effective ids: false on
// a read-only mount, true for root elsewhere; on Windows a file could be made there).
// ProcessEnvironment, UserConfigFolder and FolderWritable are the system's part
// (config_platform_posix.cpp, config_platform_win32.cpp).
bool FolderWritable(const std::filesystem::path& folder);

// Creates the folder when needed and copies each configuration file missing from it from the
// defaults (0666 less the umask), through a temporary file of a unique name put in place only
// where nothing is: a file present, or put there meanwhile by another process, is never touched; a
// default that does not exist is skipped (start-up then reports the file missing). Does nothing
// when there are no defaults. A folder or file that cannot be written throws FileError.
void CopyMissingDefaults(const ConfigFolder& config);

}  // namespace kestrova
