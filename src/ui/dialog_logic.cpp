#include "ui/dialog_logic.h"

#include "common/number_text.h"

namespace kestrova {

std::string VersionText(std::int32_t version) {
    const std::string middle = "00" + IntToText((version / 10) % 100);
    std::string text = IntToText(version / 1000);
    text += '.';
    text += middle.substr(middle.size() - 2);
    text += '.';
    text += IntToText(version % 10);
    return text;
}

std::string ConfigErrorPreamble(std::int32_t softwareVersion) {
    std::string text(ConfigErrorPreambleStart);
    text += VersionText(softwareVersion);
    text += ":-";
    return text;
}

std::array<ConfigFileStatus, 3> ConfigFileStatuses(const DashboardInfo& info) {
    const std::int32_t version = info.SoftwareVersion();
    return {{
        {"StaticText_INI_Status", " Kestrova_Interface.INI - OK",
         " Kestrova_Interface.INI is incorrect", info.SettingsVersion() != version},
        {"StaticText_CG0_Status", " KESTROVA_001.CG0 - OK", " KESTROVA_001.CG0 is incorrect",
         info.ProjectVersion() != version},
        {"StaticText_TG1_Status", " KESTROVA_001.TG1 - OK", " KESTROVA_001.TG1 is incorrect",
         info.TagFileVersion() != version},
    }};
}

AboutTexts AboutBoxTexts(std::string_view buildDate, std::string_view buildTime) {
    AboutTexts texts;
    texts.version = "1.20.1";
    texts.productName = "Tessaline Kestrova Wheels Software";
    texts.maker = "Tessaline";
    texts.comments = "Utility for use with the Kestrova Control Wheel System\nCompiled: ";
    texts.comments += buildDate;
    texts.comments += '-';
    texts.comments += buildTime;
    return texts;
}

}  // namespace kestrova
