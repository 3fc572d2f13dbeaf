#include "port/udev_port_catalogue.h"

#include <libudev.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

namespace kestrova {

namespace {

struct EnumerateUnref {
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};
struct DeviceUnref {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
using EnumeratePtr = std::unique_ptr<udev_enumerate, EnumerateUnref>;
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;

std::string Text(const char* value) { return value != nullptr ? value : ""; }

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string LowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The by-id link where udev made one, else the by-path link, else the node itself. The links come
// from the DEVLINKS property (space-separated), which udev fills from its database and which a
// device described only by its uevent properties carries too.
std::string StablePath(udev_device* tty, const std::string& node) {
    const char* property = udev_device_get_property_value(tty, "DEVLINKS");
    std::string_view links = property != nullptr ? property : "";
    std::string_view byPath;
    while (!links.empty()) {
        const std::size_t end = std::min(links.find(' '), links.size());
        const std::string_view link = links.substr(0, end);
        links.remove_prefix(std::min(end + 1, links.size()));
        if (StartsWith(link, "/dev/serial/by-id/")) return std::string(link);
        if (byPath.empty() && StartsWith(link, "/dev/serial/by-path/")) byPath = link;
    }
    return byPath.empty() ? node : std::string(byPath);
}

// A USB device's own attribute, else the property udev's rules derived from it.
std::string UsbDetail(udev_device* usb, udev_device* tty, const char* attribute,
                      const char* property) {
    if (usb != nullptr) {
        if (const char* value = udev_device_get_sysattr_value(usb, attribute)) return value;
    }
    return Text(udev_device_get_property_value(tty, property));
}

// The kernel driver behind the tty: udev's ID_USB_DRIVER, else the driver of the nearest parent
// that has one. The serial core's own port and controller devices (kernel 6.5 on) are passed
// over, they name no hardware driver.
std::string Driver(udev_device* tty) {
    if (const char* usbDriver = udev_device_get_property_value(tty, "ID_USB_DRIVER")) {
        return usbDriver;
    }
    for (udev_device* parent = udev_device_get_parent(tty); parent != nullptr;
         parent = udev_device_get_parent(parent)) {
        const char* subsystem = udev_device_get_subsystem(parent);
        if (subsystem != nullptr && std::strcmp(subsystem, "serial-base") == 0) continue;
        if (const char* driver = udev_device_get_driver(parent)) return driver;
    }
    return "";
}

std::optional<PortInfo> Describe(udev_device* tty) {
    if (udev_device_get_parent(tty) == nullptr) return std::nullopt;
    const char* node = udev_device_get_devnode(tty);
    if (node == nullptr || !StartsWith(node, "/dev/")) return std::nullopt;
    // Serial-core ports show their UART type; 0 means no UART answered at that address.
    if (const char* type = udev_device_get_sysattr_value(tty, "type")) {
        if (std::strcmp(type, "0") == 0) return std::nullopt;
    }

    PortInfo info;
    info.node = node;
    info.stablePath = StablePath(tty, info.node);
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (usb != nullptr) {
        info.vendorId = LowerCase(UsbDetail(usb, tty, "idVendor", "ID_VENDOR_ID"));
        info.productId = LowerCase(UsbDetail(usb, tty, "idProduct", "ID_MODEL_ID"));
    }
    info.manufacturer = UsbDetail(usb, tty, "manufacturer", "ID_VENDOR");
    info.product = UsbDetail(usb, tty, "product", "ID_MODEL");
    info.serial = UsbDetail(usb, tty, "serial", "ID_SERIAL_SHORT");
    info.driver = Driver(tty);
    // ftdi_sio shows its latency timer on the usb-serial port device.
    if (udev_device* port =
            udev_device_get_parent_with_subsystem_devtype(tty, "usb-serial", nullptr)) {
        const std::string latency = Text(udev_device_get_sysattr_value(port, "latency_timer"));
        int ms = -1;
        const auto [end, error] =
            std::from_chars(latency.data(), latency.data() + latency.size(), ms);
        if (error == std::errc{} && end == latency.data() + latency.size() && ms >= 0) {
            info.latencyMs = ms;
        }
    }
    return info;
}

}  // namespace

UdevPortCatalogue::UdevPortCatalogue() : udev_(udev_new()) {
    if (udev_ == nullptr) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) return;
    // The monitor's socket is non-blocking already; receiving never waits.
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
}

UdevPortCatalogue::~UdevPortCatalogue() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
}

std::vector<PortInfo> UdevPortCatalogue::Scan() {
    std::vector<PortInfo> ports;
    if (udev_ == nullptr) return ports;
    const EnumeratePtr enumerate(udev_enumerate_new(udev_));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return ports;
    }
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get()); entry != nullptr;
         entry = udev_list_entry_get_next(entry)) {
        const DevicePtr tty(udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry)));
        if (!tty) continue;
        if (std::optional<PortInfo> info = Describe(tty.get())) ports.push_back(std::move(*info));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.node < b.node; });
    return ports;
}

bool UdevPortCatalogue::Changed() {
    if (monitor_ == nullptr) return false;
    pollfd pending{udev_monitor_get_fd(monitor_), POLLIN, 0};
    if (::poll(&pending, 1, 0) != 1 || (pending.revents & POLLIN) == 0) return false;

    bool changed = false;
    while (const DevicePtr device{udev_monitor_receive_device(monitor_)}) {
        const char* action = udev_device_get_action(device.get());
        if (action != nullptr &&
            (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0)) {
            changed = true;
        }
    }
    return changed;
}

}  // namespace kestrova
