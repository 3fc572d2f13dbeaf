// The operator's names of a port: COM numbers, plain numbers and device paths.
#include <gtest/gtest.h>

#include "cli/exit_code.h"
#include "cli/port_argument.h"

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
          Row{"/dev/serial/by-id/usb-FTDI", 3, "usb-FTDI"}, Row{"/tmp/sim-link", 2, "sim-link"}}) {
        const PortChoice choice = ChoosePort(row.argument, ports);
        EXPECT_EQ(choice.comNumber, row.number) << row.argument;
        EXPECT_EQ(choice.name, row.name) << row.argument;
    }
    // The path went to the lowest number without an entry, and keeps it.
    EXPECT_EQ(ports.DevicePath(2), "/tmp/sim-link");
    EXPECT_EQ(ChoosePort("/tmp/sim-link", ports).comNumber, 2);
}

TEST(PortArgument, RefusesWhatNamesNoPort) {
    PortMap ports;
    for (const char* argument : {"COM0", "41", "COM", "COM3x", "ttyUSB0", "", "-1"}) {
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

}  // namespace
}  // namespace kestrova::cli
