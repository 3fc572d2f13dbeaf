#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "config/kestrova_ini.h"
#include "points/point_database.h"
#include "support/temp_folder.h"

namespace kestrova::testing {

namespace fs = std::filesystem;

// A fresh temporary folder holding the "executable" whose settings and project files are used,
// and a configuration object wired to a fresh point database and window.
class ConfigTest : public ::testing::Test {
protected:
    fs::path Exe() const { return dir_ / "Kestrova_Interface"; }

    void WriteFile(const std::string& name, const std::string& content) const {
        test::WriteText(dir_ / name, content);
    }
    std::string ReadFile(const std::string& name) const { return test::ReadText(dir_ / name); }
    // How many lines of the text start with the given key followed by "=".
    static int CountKey(const std::string& text, const std::string& key) {
        int count = 0;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(key + "=", 0) == 0) ++count;
        }
        return count;
    }

    // The start-up order of the core: settings defaults, project defaults, settings file, then
    // the application fixed beside the executable.
    void StartUp(KestrovaIni& ini) const {
        ini.SetSettingsDefaults();
        ini.SetProjectDefaults();
        ini.ReadSettingsFile();
        ini.Name = "KESTROVA_001";
        ini.Directory = dir_.string();
    }

    test::TempFolder folder_{"config_test"};
    const fs::path dir_ = folder_.Path();
    PointDatabase points_;
    PlainWindowPlacement window_;
};

}  // namespace kestrova::testing
