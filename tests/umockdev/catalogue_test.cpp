// The port catalogue over emulated adapters: what it lists of each, and what `kestrova ports`
// shows of them.
#include <gtest/gtest.h>

#include <vector>

#include "cli/kestrova_run.h"
#include "port/udev_port_catalogue.h"
#include "testbed.h"

namespace kestrova::test {
namespace {

std::string Fields(const PortInfo& p) {
    return p.node + " | " + p.stablePath + " | " + p.vendorId + ":" + p.productId + " | " +
           p.manufacturer + " | " + p.product + " | " + p.serial + " | " + p.driver + " | " +
           std::to_string(p.latencyMs);
}

TEST(EmulatedAdapters, EachIsListedWithItsStablePathIdsNamesAndDriver) {
    Testbed testbed;
    for (const char* name : {"ft232r", "ch340", "cp2102", "pl2303", "cdc_acm", "builtin_16550"}) {
        testbed.Plug(Description(name));
    }
    std::vector<std::string> listed;
    for (const PortInfo& port : UdevPortCatalogue().Scan()) listed.push_back(Fields(port));
    // By node; the placeholder /dev/ttyS1, where no UART answers, is left out.
    EXPECT_EQ(
        listed,
        (std::vector<std::string>{
            "/dev/ttyACM0 | "
            "/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_75833353934351B05090-if00"
            " | 2341:0043 | Arduino (www.arduino.cc) | Arduino Uno | 75833353934351B05090 | "
            "cdc_acm | -1",
            "/dev/ttyS0 | /dev/ttyS0 | : |  |  |  | serial | -1",
            "/dev/ttyUSB0 | /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZP2Q-if00-port0"
            " | 0403:6001 | FTDI | FT232R USB UART | A10KZP2Q | ftdi_sio | 16",
            "/dev/ttyUSB1 | /dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"
            " | 1a86:7523 |  | USB Serial |  | ch341 | -1",
            "/dev/ttyUSB2 | /dev/serial/by-id/"
            "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0"
            " | 10c4:ea60 | Silicon Labs | CP2102 USB to UART Bridge Controller | 0001 | cp210x | "
            "-1",
            "/dev/ttyUSB3 | "
            "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0"
            " | 067b:2303 | Prolific Technology Inc. | USB-Serial Controller |  | pl2303 | -1",
        }));
}

// Two adapters alike but for their serial numbers, and the machine's own port: each adapter shows
// the stable path the settings will keep and the node it leads to now.
TEST(EmulatedAdapters, KestrovaPortsShowsEachAdaptersStablePathBesideItsNode) {
    Testbed testbed;
    testbed.Plug(Description("ft232r_twins"));
    testbed.Plug(Description("builtin_16550"));
    const ConfigFolder config;
    const RunResult text = RunKestrova({"--config-dir", config.Path().string(), "ports"});
    ASSERT_EQ(text.code, 0) << text.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.out.size();) {
        const std::size_t end = text.out.find('\n', at);
        lines.push_back(text.out.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 40u) << text.out;
    EXPECT_EQ(lines[0], "COM1   /dev/ttyS0  present");
    EXPECT_EQ(lines[2],
              "COM3   /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_AB0LPXQ1-if00-port0  present  "
              "/dev/ttyUSB0  0403:6001  FT232R USB UART  serial AB0LPXQ1  latency 16 ms");
    EXPECT_EQ(lines[3],
              "COM4   /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_AB0LPXQ2-if00-port0  present  "
              "/dev/ttyUSB1  0403:6001  FT232R USB UART  serial AB0LPXQ2  latency 16 ms");

    const RunResult json = RunKestrova({"--config-dir", config.Path().string(), "ports", "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_NE(json.out.find(
                  "{\"port\": \"COM4\", \"device\": "
                  "\"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_AB0LPXQ2-if00-port0\", \"node\": "
                  "\"/dev/ttyUSB1\", \"present\": true, \"network\": false, \"usb\": {\"id\": "
                  "\"0403:6001\", \"product\": \"FT232R USB UART\", \"serial\": \"AB0LPXQ2\", "
                  "\"latency_ms\": 16}},"),
              std::string::npos)
        << json.out;
}

}  // namespace
}  // namespace kestrova::test
