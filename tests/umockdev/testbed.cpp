#include "testbed.h"

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "support/temp_folder.h"

namespace kestrova::test {

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// Runs the ioctl in the program, on its own descriptor, and hands the result back.
gboolean RunInClient(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    gint error = 0;
    GError* failure = nullptr;
    const gint result = umockdev_ioctl_client_execute(client, &error, &failure);
    if (failure != nullptr) {
        g_clear_error(&failure);
        umockdev_ioctl_client_complete(client, -1, EIO);
        return TRUE;
    }
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

// The lines of a description that start with one of the tags, as (tag, rest), in order.
std::vector<std::pair<std::string, std::string>> Lines(const std::string& description,
                                                       std::initializer_list<const char*> tags) {
    std::vector<std::pair<std::string, std::string>> found;
    std::size_t start = 0;
    while (start < description.size()) {
        const std::size_t end = std::min(description.find('\n', start), description.size());
        const std::string line = description.substr(start, end - start);
        for (const char* tag : tags) {
            if (line.starts_with(tag)) found.emplace_back(tag, line.substr(3));
        }
        start = end + 1;
    }
    return found;
}

}  // namespace

Testbed::Testbed() : testbed_(umockdev_testbed_new()), passThrough_(umockdev_ioctl_base_new()) {
    g_signal_connect(passThrough_, "handle-ioctl", G_CALLBACK(RunInClient), nullptr);
}

Testbed::~Testbed() {
    g_object_unref(testbed_);
    g_object_unref(passThrough_);
}

void Testbed::PassIoctlsThrough(const std::string& description) {
    for (const auto& [tag, name] : Lines(description, {"N: ", "S: "})) {
        if (name.starts_with("bus/")) continue;  // the USB device's own node
        const std::string path = "/dev/" + name;
        // A node plugged in again keeps its handler.
        umockdev_testbed_detach_ioctl(testbed_, path.c_str(), nullptr);
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed_, path.c_str(),
                                           static_cast<UMockdevIoctlBase*>(passThrough_), &error)) {
            const std::string why = error != nullptr ? error->message : "unknown error";
            g_clear_error(&error);
            throw std::runtime_error("cannot attach to " + path + ": " + why);
        }
    }
}

void Testbed::Plug(const std::string& description) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), &error)) {
        const std::string why = error != nullptr ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot add devices: " + why);
    }
    // umockdev reports a device number for the node's own name only; a link to it gets the
    // node's number too, as stat through a link reports it on a real system.
    const std::filesystem::path numbers = Emulated("/dev/.node");
    std::string node;
    for (const auto& [tag, name] : Lines(description, {"N: ", "S: "})) {
        if (tag == "N: ") {
            node = name;
            continue;
        }
        std::string flat = name;
        std::replace(flat.begin(), flat.end(), '/', '_');
        std::filesystem::remove(numbers / flat);  // left from an earlier plug
        std::filesystem::create_symlink(std::filesystem::read_symlink(numbers / node),
                                        numbers / flat);
    }
}

void Testbed::Pull(const std::string& description) {
    const std::vector<std::string> devices = Syspaths(description);
    for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
        umockdev_testbed_uevent(testbed_, device->c_str(), "remove");
    }
    // Children first: removing a device by itself leaves its children's bus links behind.
    for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
        umockdev_testbed_remove_device(testbed_, device->c_str());
    }
    // udev removes the links it made for the devices ("S:" lines); the testbed does not.
    for (const auto& [tag, name] : Lines(description, {"S: "})) {
        std::filesystem::remove(Emulated("/dev/" + name));
    }
}

void Testbed::SetAttribute(const std::string& syspath, const char* name, const char* value) {
    umockdev_testbed_set_attribute(testbed_, syspath.c_str(), name, value);
}

std::filesystem::path Testbed::Emulated(std::string_view path) const {
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    std::filesystem::path place = std::filesystem::path(root) / std::string(path).substr(1);
    g_free(root);
    return place;
}

std::string Description(std::string_view name) {
    const std::string text =
        ReadText(std::filesystem::path(KESTROVA_UMOCKDEV_DATA) / (std::string(name) + ".umockdev"));
    if (text.empty()) throw std::runtime_error("no device description " + std::string(name));
    return text;
}

std::string OnNode(std::string description, int from, int to) {
    ReplaceAll(description, "ttyUSB" + std::to_string(from), "ttyUSB" + std::to_string(to));
    ReplaceAll(description, "MINOR=" + std::to_string(from), "MINOR=" + std::to_string(to));
    ReplaceAll(description, "dev=188:" + std::to_string(from), "dev=188:" + std::to_string(to));
    return description;
}

std::vector<std::string> Syspaths(const std::string& description) {
    std::vector<std::string> paths;
    for (const auto& [tag, path] : Lines(description, {"P: "})) paths.push_back("/sys" + path);
    return paths;
}

}  // namespace kestrova::test
