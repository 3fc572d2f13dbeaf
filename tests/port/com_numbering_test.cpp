#include "port/com_numbering.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "config/kestrova_ini.h"
#include "points/point_database.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

const std::string ById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
const std::string ByPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0";

PortInfo Adapter(std::string node, std::string stablePath) {
    PortInfo info;
    info.node = std::move(node);
    info.stablePath = std::move(stablePath);
    return info;
}

TEST(ComNumbering, NewAdaptersTakeTheLowestFreeNumberAndEntriesStay) {
    struct Case {
        const char* what;
        std::map<int, std::string> entries;
        std::vector<PortInfo> present;
        std::vector<std::pair<int, std::string>> assigned;
        std::vector<std::string> unnumbered;
    };
    std::map<int, std::string> allTaken;
    for (int port = FirstAdapterComNumber; port <= LastComNumber; ++port) {
        allTaken[port] = "/dev/hand" + std::to_string(port);
    }
    const Case cases[] = {
        {"first seen, in the order given",
         {},
         {Adapter("/dev/ttyUSB0", ById), Adapter("/dev/ttyACM0", ByPath)},
         {{3, ById}, {4, ByPath}},
         {}},
        {"named by stable path or node: kept; hand-written numbers are skipped",
         {{3, "/dev/ttyACM0"}, {5, ById}, {1, "/dev/hand1"}},
         {Adapter("/dev/ttyUSB0", ById), Adapter("/dev/ttyACM0", ByPath),
          Adapter("/dev/ttyUSB1", "/dev/ttyUSB1")},
         {{4, "/dev/ttyUSB1"}},
         {}},
        {"a present device at a number's serial default keeps that number without an entry",
         {},
         {Adapter("/dev/ttyS3", "/dev/ttyS3"), Adapter("/dev/ttyUSB0", ById),
          Adapter("/dev/ttyUSB1", "/dev/ttyUSB1")},
         {{3, ById}, {5, "/dev/ttyUSB1"}},
         {}},
        {"a built-in port whose number an entry gives to another device gets none",
         {{1, ById}},
         {Adapter("/dev/ttyS0", "/dev/ttyS0"), Adapter("/dev/ttyUSB1", "/dev/ttyUSB1")},
         {{3, "/dev/ttyUSB1"}},
         {}},
        {"all numbers taken", allTaken, {Adapter("/dev/ttyUSB0", ById)}, {}, {ById}},
    };
    for (const Case& c : cases) {
        PortMap ports;
        for (const auto& [port, path] : c.entries) ports.Set(port, path);
        const ComNumbering result = NumberNewAdapters(ports, c.present);
        EXPECT_EQ(result.assigned, c.assigned) << c.what;
        EXPECT_EQ(result.unnumbered, c.unnumbered) << c.what;

        std::map<int, std::string> expected = c.entries;
        for (const auto& [port, path] : c.assigned) expected[port] = path;
        EXPECT_EQ(ports.Entries(), expected) << c.what;
    }
}

TEST(ComNumbering, NumbersSurviveARestartThroughTheSettingsFile) {
    test::TempFolder folder("com_numbering");
    const std::string handWritten = "[Ports]\r\ncom3 = /dev/ttyACM9 \r\n";
    test::WriteText(folder / "Kestrova_Interface.INI", handWritten);
    const auto startUp = [&](KestrovaIni& ini) {
        ini.SetSettingsDefaults();
        ini.ReadSettingsFile();
    };

    PointDatabase points;
    PlainWindowPlacement window;
    KestrovaIni first(points, window, folder / "Kestrova_Interface");
    startUp(first);
    NumberNewAdapters(first.Ports,
                      {Adapter("/dev/ttyUSB0", ById), Adapter("/dev/ttyACM0", ByPath)});
    first.WriteSettingsFile();
    const std::string saved = test::ReadText(folder / "Kestrova_Interface.INI");
    EXPECT_EQ(saved.rfind(handWritten + "COM4=" + ById + "\r\nCOM5=" + ByPath + "\r\n", 0), 0u)
        << saved;

    // Next start: other sockets, other order, one adapter more.
    KestrovaIni again(points, window, folder / "Kestrova_Interface");
    startUp(again);
    const ComNumbering result = NumberNewAdapters(
        again.Ports, {Adapter("/dev/ttyACM1", ByPath), Adapter("/dev/ttyUSB4", ById),
                      Adapter("/dev/ttyUSB5", "/dev/ttyUSB5")});
    EXPECT_EQ(result.assigned, (std::vector<std::pair<int, std::string>>{{6, "/dev/ttyUSB5"}}));
    EXPECT_EQ(again.Ports.DevicePath(4), ById);
    EXPECT_EQ(again.Ports.DevicePath(5), ByPath);
    EXPECT_EQ(again.Ports.DevicePath(3), "/dev/ttyACM9");
}

}  // namespace
}  // namespace kestrova
