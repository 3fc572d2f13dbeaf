#include "ui/view_menu.h"

#include "core/ui_names.h"

namespace kestrova {

namespace {

std::optional<std::string> ChooseSaveFile(FileMenuHost& host, const DashboardInfo& info,
                                          std::string_view filter, std::string_view extension,
                                          std::string_view name) {
    FileDialogSettings settings;
    settings.kind = FileDialogKind::Save;
    settings.filter = filter;
    settings.defaultExtension = extension;
    settings.fileName = name;
    settings.initialFolder = info.ApplicationDirectory();
    return host.RunFileDialog(settings);
}

}  // namespace

void SaveProtocolTrace1Click(Core& core, FileMenuHost& host, const DashboardInfo& info) {
    const std::optional<std::string> path =
        ChooseSaveFile(host, info, ProtocolTraceFilter, ProtocolTraceExtension, ProtocolTraceName);
    if (path) core.ServiceEvent(event_names::SaveProtocolTrace_Selected, *path);
}

std::optional<std::string> ChooseTrendCsvFile(FileMenuHost& host, const DashboardInfo& info) {
    return ChooseSaveFile(host, info, TrendCsvFilter, TrendCsvExtension, TrendCsvName);
}

}  // namespace kestrova
