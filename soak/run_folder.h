#pragma once

#include <filesystem>
#include <string>

namespace kestrova::soak {

// Where a run works: a temporary folder holding copies of the three configuration files, with
// COM 1 pointed at the simulator's link in that folder.
struct RunFolder {
    std::filesystem::path folder;
    std::filesystem::path dataSource;  // where the configuration files were copied from
    std::filesystem::path simProgram;  // kestrova-sim beside the soak executable

    // The simulator's link, which COM 1 names.
    std::filesystem::path LinkPath() const;
    // The executable path the core is given: its settings file is named after it.
    std::filesystem::path InterfacePath() const;
};

// Finds the simulator and the configuration files, creates the folder and fills it. False with
// the reason in error.
bool PrepareRunFolder(const std::filesystem::path& executableFolder, RunFolder& out,
                      std::string& error);

}  // namespace kestrova::soak
