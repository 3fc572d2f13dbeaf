// What the link views read of the core, and the protocol trace saved to a file.
#include <fstream>

#include "core/app_service.h"
#include "core/ui_names.h"
#include "protocol/trace_writer.h"

namespace kestrova {

double AppService::PointValue(int point) const {
    return PointDatabase::PointIndexValid(point) ? Scaled(point) : 0.0;
}

bool AppService::PointFromUnit(int point) const {
    return PointDatabase::PointIndexValid(point) && state_.FromUnit[point];
}

void AppService::SaveProtocolTrace(const std::filesystem::path& path) {
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (file) WriteExchangeTrace(file, protocol_.Trace(), points_);
    file.close();
    if (!file) {
        Show(display_keys::MessageBox,
             "The protocol trace could not be written to " + path.string() + ".");
        return;
    }
    Show(display_keys::DebugInfo,
         "Protocol trace saved: " + std::to_string(protocol_.Trace().Size()) + " exchanges");
}

}  // namespace kestrova
