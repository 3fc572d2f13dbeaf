// The entry of kestrova on Linux: the arguments are UTF-8 already.
#include "cli/program.h"

int main(int argc, char** argv) {
    return kestrova::cli::RunProgram(
        argc, argv,
        "folder of the three configuration files (default: the window's, beside the program "
        "or, installed, ~/.config/kestrova-interface)");
}
