#pragma once

#include <cstdint>
#include <string>

// What the window and its dialogs read of the application core besides the display: the folder
// the parameter file dialogs open in, the version numbers the configuration error dialog
// compares, and a start-up error to show once the window is up.
namespace kestrova {

class DashboardInfo {
public:
    // The `Directory` setting (the executable's folder once the core has started).
    virtual std::string ApplicationDirectory() const = 0;
    virtual std::int32_t SoftwareVersion() const = 0;
    virtual std::int32_t SettingsVersion() const = 0;
    virtual std::int32_t ProjectVersion() const = 0;
    virtual std::int32_t TagFileVersion() const = 0;
    // The message of an error met while the configuration loaded; empty when there was none.
    virtual std::string StartupError() const = 0;

protected:
    ~DashboardInfo() = default;
};

}  // namespace kestrova
