#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace kestrova {

// How much of /proc one search may look at: the operator waits for it, and the window's ticks
// wait with him. The entries bound it on a machine with very many descriptors, the time on a
// slow or loaded one; a search stopped by either ends without a name.
struct HolderSearchBudget {
    std::chrono::milliseconds time{250};
    std::size_t entries = 20000;  // lock lines, processes and descriptors looked at
};

struct PortHolder {
    std::string name;  // the program's name, "unknown program" where /proc does not tell
    pid_t pid = 0;
    bool self = false;  // this very process
};

struct HolderSearch {
    std::optional<PortHolder> holder;
    std::size_t entries = 0;  // looked at
    bool exhausted = false;   // stopped by the budget before the end
};

// Who holds the device open: the process whose lock (flock) is on it where /proc/locks tells,
// else the first other process with a descriptor on it, else this process. Descriptors are told
// by the text of their links (the kernel's name for the open file), never by stat: a descriptor
// on a hung network mount would block a stat. Other users' descriptors are hidden from non-root.
HolderSearch FindPortHolder(const std::string& device, const std::filesystem::path& procRoot,
                            const HolderSearchBudget& budget);

}  // namespace kestrova
