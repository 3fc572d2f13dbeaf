#pragma once

#include <filesystem>
#include <utility>

#include "common/utf8_path.h"
#include "core/app_service.h"
#include "ui/dashboard_info.h"

namespace kestrova {

// What the window and its dialogs read of the application core. The parameter file dialogs open
// in the settings' Directory, or in dialogFolder when one is given (the user's home, when the
// configuration lives in the user's folder).
class CoreInfo final : public DashboardInfo {
public:
    CoreInfo(const AppService& core, std::filesystem::path dialogFolder)
        : core_(core), dialogFolder_(std::move(dialogFolder)) {}

    std::string ApplicationDirectory() const override {
        return dialogFolder_.empty() ? core_.Ini().Directory : Utf8Of(dialogFolder_);
    }
    std::int32_t SoftwareVersion() const override { return core_.State().SoftwareVersion; }
    std::int32_t SettingsVersion() const override { return core_.Ini().SettingsVersion(); }
    std::int32_t ProjectVersion() const override { return core_.Ini().ProjectVersion(); }
    std::int32_t TagFileVersion() const override { return core_.Tags().TagFileVersion; }
    std::string StartupError() const override { return std::string(core_.StartupError()); }

private:
    const AppService& core_;
    std::filesystem::path dialogFolder_;
};

}  // namespace kestrova
