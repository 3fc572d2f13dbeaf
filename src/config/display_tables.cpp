#include "config/kestrova_ini.h"

namespace kestrova {

void KestrovaIni::FillDisplayFormats() {
    // Integer widths first, then fixed decimals, then mixed forms; entry 15 keeps its value.
    static constexpr std::array<std::string_view, 15> formats = {
        "#####0", "####0",  "###0",    "##0",      "#0",     "0",      "0.0",    "0.00",
        "0.000",  "0.0000", "0.00000", "0.000000", "###0.0", "##0.00", "#0.000",
    };
    for (std::size_t i = 0; i < formats.size(); ++i) SigFig[i] = formats[i];
}

void KestrovaIni::FillStateTexts() {
    // Entries 34 to 127 keep their value. The four bar texts move a "<>" marker from the right
    // end to the left end of eight characters.
    static constexpr std::array<std::string_view, 34> texts = {
        "Healthy",  "FAULT",    "Manual",   "Auto",     "Rem Aut", "Loc Aut", "ok",
        "NOT OK",   "INTLOCK",  "Normal",   "RUNNING",  "Stopped", "Enabled", "Disabld",
        "ACTIVE",   "idle",     "OPENED",   "CLOSED",   "MID POS", "UNAVAIL", "OPENING",
        "CLOSING",  "EX HI",    "HI HI",    "HIGH",     "LOW",     "LO LO",   "EX LO",
        "------<>", "----<>--", "--<>----", "<>------", "ON",      "OFF",
    };
    for (std::size_t i = 0; i < texts.size(); ++i) MulText[i] = texts[i];
}

}  // namespace kestrova
