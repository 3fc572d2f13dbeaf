#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/dashboard_info.h"

// The texts of the About box and the configuration error dialog, without any widget toolkit.
namespace kestrova {

// "1.20.1" for 1201: the thousands, ".", the tens and hundreds as two digits, ".", the units.
std::string VersionText(std::int32_t version);

inline constexpr std::string_view ConfigErrorPreambleStart =
    "The following configuration file(s) are incorrect for Version  ";

// The configuration error dialog's preamble with the software version:
// "The following configuration file(s) are incorrect for Version  1.20.1:-".
std::string ConfigErrorPreamble(std::int32_t softwareVersion);

// One status line of the configuration error dialog.
struct ConfigFileStatus {
    std::string_view control;    // the status text's control name
    std::string_view okText;     // its caption as laid out (never shown)
    std::string_view errorText;  // its caption when the file's version is wrong
    bool incorrect = false;      // shown in red when set; hidden otherwise
};

// The settings file, the project configuration and the tag file, in that order, each marked
// incorrect when its version differs from the software version.
std::array<ConfigFileStatus, 3> ConfigFileStatuses(const DashboardInfo& info);

struct AboutTexts {
    std::string version;
    std::string productName;
    std::string maker;
    std::string comments;
};

// The About box texts. The comments end with the build date and time as the compiler gives them
// ("Apr  4 2017", "19:15:34"), on a line of their own.
AboutTexts AboutBoxTexts(std::string_view buildDate, std::string_view buildTime);

}  // namespace kestrova
