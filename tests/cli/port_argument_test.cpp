// The operator's names of a port: COM numbers, plain numbers and device paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/exit_code.h"
#include "cli/port_argument.h"
#include "support/temp_folder.h"

namespace kestrova::cli {
namespace {

TEST(PortArgument, NamesAComNumberOrMapsADevicePathInMemory) {
    PortMap ports;
    ports.Set(1, "/dev/ttyS0");
    ports.Set(3, "/dev/serial/by-id/usb-FTDI");
    struct Row {
        const char* argument;
        int number;
        const char* name;
    };
    for (const Row& row :
         {Row{"COM7", 7, "COM7"}, Row{"com40", 40, "COM40"}, Row{"2", 2, "COM2"},
          Row{"\\\\.\\COM9", 9, "COM9"}, Row{"/dev/serial/by-id/usb-FTDI", 3, "usb-FTDI"},
          Row{"/tmp/sim-link", 2, "sim-link"},
          Row{"rfc2217://[fd00::2]:2001", 4, "-fd00--2--2001"}}) {
        const PortChoice choice = ChoosePort(row.argument, ports);
        EXPECT_EQ(choice.comNumber, row.number) << row.argument;
        EXPECT_EQ(choice.name, row.name) << row.argument;
    }
    // The path went to the lowest number without an entry, and keeps it.
    EXPECT_EQ(ports.DevicePath(2), "/tmp/sim-link");
    EXPECT_EQ(ChoosePort("/tmp/sim-link", ports).comNumber, 2);
    EXPECT_EQ(ports.DevicePath(4), "rfc2217://[fd00::2]:2001");  // an address, as given
}

TEST(PortArgument, RefusesWhatNamesNoPort) {
    PortMap ports;
    for (const char* argument :
         {"COM0", "41", "COM", "COM3x", "ttyUSB0", "", "-1", "tcp://host", "rfc2217://:1"}) {
        try {
            ChoosePort(argument, ports);
            ADD_FAILURE() << argument;
        } catch (const CommandError& error) {
            EXPECT_EQ(error.code, ExitCode::Usage) << argument;
        }
    }
    for (int number = 1; number <= 40; ++number) ports.Set(number, "/dev/x");
    try {
        ChoosePort("/tmp/one-more", ports);
        ADD_FAILURE();
    } catch (const CommandError& error) {
        EXPECT_EQ(error.code, ExitCode::LinkFailure);
    }
}

TEST(PortArgument, ARelativePathIsTakenFromTheCurrentFolder) {
    PortMap ports;
    ports.SetBaseDirectory("/elsewhere");
    const PortChoice choice = ChoosePort("./sim2.link", ports);
    EXPECT_EQ(ports.DevicePath(choice.comNumber),
              (std::filesystem::current_path() / "sim2.link").string());
    EXPECT_EQ(choice.name, "sim2.link");
}

TEST(PortArgument, TheSamePortTwiceIsAUsageErrorNamingBoth) {
    const test::TempFolder folder;
    std::filesystem::create_directories(folder / "a");
    std::filesystem::create_directories(folder / "b");
    test::WriteText(folder / "a/unit", "");
    test::WriteText(folder / "b/unit", "");
    std::filesystem::create_symlink(folder / "a/unit", folder / "link");
    const std::string a = (folder / "a/unit").string();
    const std::string b = (folder / "b/unit").string();
    const std::string link = (folder / "link").string();
    struct Row {
        std::vector<std::string> arguments;
        std::string twice;         // the two arguments the error names; empty when the ports differ
        std::vector<int> numbers;  // the COM numbers chosen when the ports differ
    };
    for (const Row& row :
         {Row{{"COM1", "1"}, "COM1, --port 1", {}},
          Row{{a, "5"}, a + ", --port 5", {}},  // COM5 opens a
          Row{{a, link}, a + ", --port " + link, {}}, Row{{"COM4", b, b}, b + ", --port " + b, {}},
          Row{{"COM9", "/dev/ttyS8"}, "COM9, --port /dev/ttyS8", {}},
          // Devices of the same name in different folders are different units.
          Row{{a, b, "COM2"}, "", {5, 1, 2}},
          // A number given as such is not handed out to a path.
          Row{{b, "COM1"}, "", {2, 1}}}) {
        PortMap ports;
        ports.Set(5, a);
        try {
            std::vector<int> numbers;
            for (const PortChoice& choice : ChoosePorts(row.arguments, ports)) {
                numbers.push_back(choice.comNumber);
            }
            EXPECT_EQ(row.twice, "");
            EXPECT_EQ(numbers, row.numbers) << row.arguments[0];
        } catch (const CommandError& error) {
            EXPECT_EQ(error.code, ExitCode::Usage) << row.twice;
            EXPECT_EQ(error.what, "--port " + row.twice);
            EXPECT_EQ(error.why, "the same port twice");
        }
    }
}

}  // namespace
}  // namespace kestrova::cli
