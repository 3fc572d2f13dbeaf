#pragma once

#include "core/app_service.h"
#include "ui/dashboard_info.h"

namespace kestrova {

// What the window and its dialogs read of the application core.
class CoreInfo final : public DashboardInfo {
public:
    explicit CoreInfo(const AppService& core) : core_(core) {}

    std::string ApplicationDirectory() const override { return core_.Ini().Directory; }
    std::int32_t SoftwareVersion() const override { return core_.State().SoftwareVersion; }
    std::int32_t SettingsVersion() const override { return core_.Ini().SettingsVersion(); }
    std::int32_t ProjectVersion() const override { return core_.Ini().ProjectVersion(); }
    std::int32_t TagFileVersion() const override { return core_.Tags().TagFileVersion; }
    std::string StartupError() const override { return std::string(core_.StartupError()); }

private:
    const AppService& core_;
};

}  // namespace kestrova
