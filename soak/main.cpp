// soak: the headless core against a faulty simulated controller for minutes on end (see
// soak_run.h). Prints a summary and exits non-zero when any check fails.
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/kestrova_ini.h"
#include "soak/soak_logic.h"
#include "soak/soak_run.h"

int main(int argc, char** argv) {
    std::string error;
    const auto options = kestrova::soak::ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr,
                     "soak: %s\nusage: soak [--minutes N] [--seed N] [--late-ms N] [--latency-ms "
                     "N] [--keep]\n",
                     error.c_str());
        return 2;
    }
    const std::filesystem::path self = kestrova::ExecutablePath();
    if (self.empty()) {
        std::fprintf(stderr, "soak: cannot tell where this executable lies\n");
        return 2;
    }
    kestrova::soak::SoakRun run(*options, self.parent_path());
    return run.Run();
}
