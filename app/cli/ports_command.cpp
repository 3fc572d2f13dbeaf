// kestrova ports: what every COM number opens, as the window's port list knows it.
#include <cstdio>
#include <string>

#include "commands.h"
#include "common/number_text.h"
#include "core/port_presence.h"
#include "json_text.h"
#include "port/com_numbering.h"
#include "port/system_port.h"
#include "unit_session.h"

namespace kestrova::cli {
namespace {

std::string JsonEntry(int number, const PortPresence& port) {
    std::string json = "{\"port\": " + JsonString("COM" + IntToText(number)) +
                       ", \"device\": " + JsonString(port.path) + ", \"node\": " +
                       (port.device ? JsonString(port.device->node) : std::string("null")) +
                       ", \"present\": " + (port.present ? "true" : "false") +
                       ", \"network\": " + (port.network ? "true" : "false") + ", \"usb\": ";
    const std::optional<PortInfo>& usb = port.device;
    if (!usb || usb->vendorId.empty()) return json + "null}";
    return json + "{\"id\": " + JsonString(usb->vendorId + ":" + usb->productId) +
           ", \"product\": " + JsonString(usb->product) +
           ", \"serial\": " + JsonString(usb->serial) + ", \"latency_ms\": " +
           (usb->latencyMs < 0 ? std::string("null") : IntToText(usb->latencyMs)) + "}}";
}

std::string TextEntry(int number, const PortPresence& port) {
    std::string line = "COM" + IntToText(number);
    line.resize(7, ' ');
    line += port.path + "  " +
            (port.network   ? "network"
             : port.present ? "present"
                            : "not present");
    // The device a link (the path the settings keep) leads to now.
    if (port.device && port.device->node != port.path) line += "  " + port.device->node;
    if (port.device && !port.device->vendorId.empty()) {
        line += "  " + port.device->vendorId + ":" + port.device->productId;
        if (!port.device->product.empty()) line += "  " + port.device->product;
        if (!port.device->serial.empty()) line += "  serial " + port.device->serial;
        if (port.device->latencyMs >= 0) {
            line += "  latency " + IntToText(port.device->latencyMs) + " ms";
        }
    }
    return line;
}

}  // namespace

ExitCode RunPorts(const CommonOptions& common) {
    // The core numbers the adapters present as the window does; nothing is written.
    UnitSession session(common.configFolder, MakePortCatalogue(), common.verbose);
    session.Start();
    const std::vector<PortInfo> present = session.Catalogue().Scan();
    std::string out = common.json ? "[\n" : "";
    for (int number = 1; number <= LastComNumber; ++number) {
        const PortPresence port = PresenceOf(session.Core().Ini().Ports, number, present);
        if (common.json) {
            out += "  " + JsonEntry(number, port) + (number < LastComNumber ? ",\n" : "\n");
        } else {
            out += TextEntry(number, port) + "\n";
        }
    }
    if (common.json) out += "]\n";
    std::fputs(out.c_str(), stdout);
    return ExitCode::Done;
}

}  // namespace kestrova::cli
