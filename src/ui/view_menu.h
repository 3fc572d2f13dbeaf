#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/core_interfaces.h"
#include "ui/dashboard_info.h"
#include "ui/file_menu.h"

// The file choices of the View menu and its windows, without any widget toolkit.
namespace kestrova {

inline constexpr std::string_view ProtocolTraceFilter = "Protocol Trace|*.txt";
inline constexpr std::string_view ProtocolTraceExtension = "txt";
inline constexpr std::string_view ProtocolTraceName = "ProtocolTrace";
inline constexpr std::string_view TrendCsvFilter = "CSV File|*.csv";
inline constexpr std::string_view TrendCsvExtension = "csv";
inline constexpr std::string_view TrendCsvName = "Trend";

// "Save Protocol Trace...": the save dialog in the application's folder, then
// ("SaveProtocolTrace_Selected", path) to the core; nothing when the operator cancels.
void SaveProtocolTrace1Click(Core& core, FileMenuHost& host, const DashboardInfo& info);

// "Record CSV...": the file to record the trend into, or nothing when the operator cancels.
std::optional<std::string> ChooseTrendCsvFile(FileMenuHost& host, const DashboardInfo& info);

}  // namespace kestrova
