// The tests' entry: the emulated /sys and /dev work only where umockdev's preload library sits
// in the process, so without it the program starts itself again with it, as umockdev-wrapper does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    const char* others = std::getenv("LD_PRELOAD");
    if (others == nullptr ||
        std::string_view(others).find("libumockdev-preload") == std::string_view::npos) {
        const std::string preload = std::string("libumockdev-preload.so.0") +
                                    (others != nullptr ? std::string(":") + others : "");
        setenv("LD_PRELOAD", preload.c_str(), 1);
        // A sanitizer build wants its runtime first among the libraries; the preload comes first.
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string options = std::string(asan != nullptr ? asan : "") +
                                    (asan != nullptr ? ":" : "") + "verify_asan_link_order=0";
        setenv("ASAN_OPTIONS", options.c_str(), 1);
        execv("/proc/self/exe", argv);
        std::perror("cannot start again under umockdev");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
