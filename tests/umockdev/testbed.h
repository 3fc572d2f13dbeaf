#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace kestrova::test {

// An emulated /sys and /dev (umockdev) that the code of this process, and the programs it starts,
// see instead of the machine's: libudev enumerates it and hears its uevents, and its device nodes
// open as terminals. Each test gets a fresh one; it goes when the test ends.
class Testbed {
public:
    Testbed();
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    // Plugs in the devices a description names (umockdev's text form): each is added, with an
    // "add" uevent, parents first.
    void Plug(const std::string& description);
    // Pulls them out again: a "remove" uevent for each, children first, then they are gone.
    void Pull(const std::string& description);
    void SetAttribute(const std::string& syspath, const char* name, const char* value);
    // Lets the program's ioctls on the description's emulated nodes (opened by name or through
    // their links) reach the terminal behind them, as they reach a tty driver, instead of
    // umockdev's recorded-ioctl emulation, which answers no terminal call but the settings.
    void PassIoctlsThrough(const std::string& description);

    // Where an emulated path such as /dev/ttyUSB0 lives in the testbed.
    std::filesystem::path Emulated(std::string_view path) const;

private:
    UMockdevTestbed* testbed_;
    void* passThrough_;  // the UMockdevIoctlBase that runs each ioctl as the program asked it
};

// The text of a device description in tests/data/umockdev (without its ".umockdev").
std::string Description(std::string_view name);

// The same USB adapter as the kernel names it after it came back as ttyUSB<to> (the by-id link
// and everything else unchanged).
std::string OnNode(std::string description, int from, int to);

// The sysfs paths of the devices a description names, in its order (parents first).
std::vector<std::string> Syspaths(const std::string& description);

}  // namespace kestrova::test
