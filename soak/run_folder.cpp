#include "soak/run_folder.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <system_error>

#include "common/ini_document.h"

namespace kestrova::soak {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view SimProgram = "kestrova-sim";
// The settings file is named after the executable: the core is given this name in the folder.
constexpr std::string_view InterfaceName = "Kestrova_Interface";
constexpr std::array<std::string_view, 3> DataFiles{"Kestrova_Interface.INI", "KESTROVA_001.CG0",
                                                    "KESTROVA_001.TG1"};
constexpr std::string_view LinkName = "sim.link";

}  // namespace

fs::path RunFolder::LinkPath() const { return folder / LinkName; }

fs::path RunFolder::InterfacePath() const { return folder / InterfaceName; }

bool PrepareRunFolder(const fs::path& executableFolder, RunFolder& out, std::string& error) {
    out.simProgram = executableFolder / SimProgram;
    if (::access(out.simProgram.c_str(), X_OK) != 0) {
        error = "no executable " + out.simProgram.string() + " (build the kestrova-sim target)";
        return false;
    }
    // The start-up configuration from the source tree, else the copy beside the executable.
    std::error_code ec;
    const auto hasAll = [&](const fs::path& dir) {
        return std::all_of(DataFiles.begin(), DataFiles.end(),
                           [&](std::string_view f) { return fs::is_regular_file(dir / f, ec); });
    };
    const fs::path candidates[] = {fs::path(KESTROVA_SOURCE_DATA_DIR), executableFolder};
    for (const fs::path& dir : candidates) {
        if (hasAll(dir)) {
            out.dataSource = dir;
            break;
        }
    }
    if (out.dataSource.empty()) {
        error = "the three configuration files are neither in " +
                std::string(KESTROVA_SOURCE_DATA_DIR) + " nor beside the executable";
        return false;
    }

    std::string pattern = (fs::temp_directory_path() / "kestrova_soak_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "cannot create a temporary folder";
        return false;
    }
    out.folder = pattern;
    for (std::string_view f : DataFiles) {
        if (!fs::copy_file(out.dataSource / f, out.folder / f, ec)) {
            error = "cannot copy " + std::string(f) + ": " + ec.message();
            return false;
        }
    }
    try {
        IniDocument settings(out.folder / DataFiles[0]);
        settings.WriteString("Ports", "COM1", out.LinkPath().string());
        settings.WriteInteger("Communications", "Port", 1);
        settings.Save();
    } catch (const std::exception& e) {
        error = std::string("cannot point COM 1 at the simulator: ") + e.what();
        return false;
    }
    return true;
}

}  // namespace kestrova::soak
