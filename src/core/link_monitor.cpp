// What the link views read of the core, and the protocol trace saved to a file.
#include <algorithm>
#include <fstream>

#include "common/file_create.h"
#include "common/number_text.h"
#include "common/utf8_path.h"
#include "core/app_service.h"
#include "core/port_presence.h"
#include "core/ui_names.h"
#include "protocol/trace_writer.h"

namespace kestrova {

double AppService::PointValue(int point) const {
    return PointDatabase::PointIndexValid(point) ? Scaled(point) : 0.0;
}

namespace {

const char* KindText(LineKind kind) {
    switch (kind) {
        case LineKind::Uart: return "serial port";
        case LineKind::UsbAdapter: return "USB adapter";
        case LineKind::PseudoTerminal: return "pseudo-terminal";
        case LineKind::Network: return "network port";
        case LineKind::Other: break;
    }
    return "serial device";
}

}  // namespace

void AppService::NoteLinkTiming() {
    const LinkTiming timing = port_.Timing();
    adapterLatencyMs_ = -1;
    if (port_.Kind() == LineKind::UsbAdapter) {
        const PortPresence presence =
            PresenceOf(ini_.Ports, port_.CurrentPort(), catalogue_.Scan());
        if (presence.device) adapterLatencyMs_ = presence.device->latencyMs;
    }
    Show(display_keys::DebugInfo, "COM" + IntToText(port_.CurrentPort()) + ": " +
                                      KindText(port_.Kind()) + ", replies allowed " +
                                      IntToText(timing.replyAllowanceMs) +
                                      " ms more, late replies waited out for " +
                                      IntToText(timing.lateReplyHorizonMs) + " ms");
    const std::string& device = port_.DeviceName();
    if (port_.LowLatencyState() == LowLatency::Refused &&
        std::ranges::find(lowLatencyRefusedBy_, device) == lowLatencyRefusedBy_.end()) {
        lowLatencyRefusedBy_.push_back(device);
        Show(display_keys::DebugInfo, "The driver of " + device +
                                          " refused low latency: replies may wait for the "
                                          "adapter's latency timer");
    }
}

bool AppService::PointFromUnit(int point) const {
    return PointDatabase::PointIndexValid(point) && state_.FromUnit[point];
}

void AppService::SaveProtocolTrace(const std::filesystem::path& path) {
    std::ofstream file;
    if (OpenOutput(file, path)) WriteExchangeTrace(file, protocol_.Trace(), points_);
    file.close();
    if (!file) {
        Show(display_keys::MessageBox,
             "The protocol trace could not be written to " + Utf8Of(path) + ".");
        return;
    }
    Show(display_keys::DebugInfo,
         "Protocol trace saved: " + std::to_string(protocol_.Trace().Size()) + " exchanges");
}

}  // namespace kestrova
