#include "common/ini_document.h"
#include "common/number_text.h"
#include "common/utf8_path.h"
#include "config/kestrova_ini.h"
#include "points/point_database.h"

namespace kestrova {
namespace {

constexpr std::string_view PicSection = "PIC";
constexpr std::string_view CommsSection = "Communications";
constexpr std::string_view MonitorSection = "PointMonitor";
constexpr std::string_view ControlSection = "PointControl";

// Scan timer periods before the file is read: the fast classes first, the rest at 1000.
constexpr std::array<std::int32_t, 4> FirstScanPeriods = {10, 50, 100, 300};
constexpr std::int32_t OtherScanPeriod = 1000;

// A monitor entry's Format may name the 16 display formats or one past them; its St numbers
// the 128 state texts or one past them. Anything else becomes 0.
std::int32_t InRangeOrZero(std::int32_t value, std::int32_t last) {
    return (value >= 0 && value <= last) ? value : 0;
}

std::string ScanPeriodKey(int n) { return "TIMPSET" + IntToText(n); }

std::string StateKey(int state, int n) { return NumberedKey("St" + IntToText(state), n); }

}  // namespace

std::string NumberedKey(std::string_view stem, int n) {
    const std::string digits = "00000" + IntToText(n);
    return std::string(stem) + digits.substr(digits.size() - 3);
}

std::filesystem::path KestrovaIni::ProjectFilePath() const {
    std::string folder = Directory;
    if (folder.empty() || folder.back() != '/') folder += '/';
    std::filesystem::path file = PathFromUtf8(Name);
    file.replace_extension(".CG0");
    return PathFromUtf8(folder + Utf8Of(file));
}

void KestrovaIni::SetProjectDefaults() {
    Project.clear();
    ProjectDir.clear();
    AutoSymbolUpdate = false;
    AutoPointUpdate = false;
    MapDelimiter = "External Symbols in Data Memory (by name):";
    projectVersion_ = 0;

    for (int n = 0; n < ScanTimerCount; ++n) {
        const bool first = n < static_cast<int>(FirstScanPeriods.size());
        points_.SetScanPeriod(n, first ? FirstScanPeriods[n] : OtherScanPeriod);
    }
    points_.SetPersistantMode(true);

    MonitorTop = 100;
    MonitorLeft = 100;
    InitialVisibility = false;
    Title = "Point Monitor";
    TextAdvice1.clear();
    TextAdvice2.clear();
    MimicBackground.clear();

    for (MonitorEntry& entry : Monitor) {
        entry.Type = 0;
        entry.Name = "N/D";
        entry.Point = -1;
        entry.Format = 0;
        entry.Units = "N/D";
        entry.St.fill(-1);
    }
    for (ControlEntry& entry : Control) {
        entry.Point = -1;
        entry.Name = "Write";
        entry.Value = 1.0;
    }

    SigFig.fill("0");
    FillDisplayFormats();
    MulText.fill("N/D");
    FillStateTexts();
}

bool KestrovaIni::ReadProjectFile() {
    if (!ApplicationSelected()) return false;
    try {
        ReadProjectSections();
    } catch (...) {
        // The variables now hold part file, part defaults: never write them back over the file.
        projectLoadFailed_ = true;
        throw;
    }
    projectLoadFailed_ = false;
    return true;
}

void KestrovaIni::ReadProjectSections() {
    const IniDocument ini(ProjectFilePath());

    Project = ini.ReadString(PicSection, "Project", Project);
    ProjectDir = ini.ReadString(PicSection, "ProjectDir", ProjectDir);
    AutoSymbolUpdate = ini.ReadBool(PicSection, "AutoSymbolUpdate", AutoSymbolUpdate);
    AutoPointUpdate = ini.ReadBool(PicSection, "AutoPointUpdate", AutoPointUpdate);
    MapDelimiter = ini.ReadString(PicSection, "MapDelimiter", MapDelimiter);
    projectVersion_ = ini.ReadInteger(PicSection, "Version", projectVersion_);

    // A missing period gives (n + 1) * 10, not the start-up default.
    for (int n = 0; n < ScanTimerCount; ++n) {
        points_.SetScanPeriod(n, ini.ReadInteger(CommsSection, ScanPeriodKey(n), (n + 1) * 10));
    }
    points_.SetPersistantMode(
        ini.ReadBool(CommsSection, "PersistantMode", points_.PersistantMode()));

    MonitorTop = ini.ReadInteger(MonitorSection, "Top", MonitorTop);
    MonitorLeft = ini.ReadInteger(MonitorSection, "Left", MonitorLeft);
    InitialVisibility = ini.ReadBool(MonitorSection, "InitialVisibility", InitialVisibility);
    Title = ini.ReadString(MonitorSection, "Title", Title);
    TextAdvice1 = ini.ReadString(MonitorSection, "TextAdvice1", TextAdvice1);
    TextAdvice2 = ini.ReadString(MonitorSection, "TextAdvice2", TextAdvice2);
    MimicBackground = ini.ReadString(MonitorSection, "MimicBackground", MimicBackground);
    for (int n = 0; n < DisplayFormatCount; ++n) {
        SigFig[n] = ini.ReadString(MonitorSection, NumberedKey("SigFig", n), SigFig[n]);
    }
    for (int n = 0; n < StateTextCount; ++n) {
        MulText[n] = ini.ReadString(MonitorSection, NumberedKey("MulText", n), MulText[n]);
    }

    for (int n = 0; n < MonitorEntryCount; ++n) {
        MonitorEntry& entry = Monitor[n];
        entry.Type = ini.ReadInteger(MonitorSection, NumberedKey("Type", n), entry.Type);
        entry.Name = ini.ReadString(MonitorSection, NumberedKey("Name", n), entry.Name);
        entry.Point = ini.ReadInteger(MonitorSection, NumberedKey("Point", n), entry.Point);
        entry.Format =
            InRangeOrZero(ini.ReadInteger(MonitorSection, NumberedKey("Format", n), entry.Format),
                          DisplayFormatCount);
        entry.Units = ini.ReadString(MonitorSection, NumberedKey("Units", n), entry.Units);
        for (int s = 0; s < MonitorStateCount; ++s) {
            entry.St[s] = InRangeOrZero(
                ini.ReadInteger(MonitorSection, StateKey(s, n), entry.St[s]), StateTextCount);
        }
    }

    for (int n = 0; n < ControlEntryCount; ++n) {
        ControlEntry& entry = Control[n];
        entry.Point = ini.ReadInteger(ControlSection, NumberedKey("Point", n), entry.Point);
        entry.Name = ini.ReadString(ControlSection, NumberedKey("Name", n), entry.Name);
        // A text that is not a number throws ConversionError here.
        entry.Value = ini.ReadFloat(ControlSection, NumberedKey("Value", n), entry.Value);
    }
}

bool KestrovaIni::WriteProjectFile() {
    if (!ApplicationSelected() || projectLoadFailed_) return false;

    // Opened afresh so that everything else the file holds ("Version", unknown keys) is
    // written back as it stands.
    IniDocument ini(ProjectFilePath());

    ini.WriteString(PicSection, "Project", Project);
    ini.WriteString(PicSection, "ProjectDir", ProjectDir);
    ini.WriteBool(PicSection, "AutoSymbolUpdate", AutoSymbolUpdate);
    ini.WriteBool(PicSection, "AutoPointUpdate", AutoPointUpdate);
    ini.WriteString(PicSection, "MapDelimiter", MapDelimiter);

    for (int n = 0; n < ScanTimerCount; ++n) {
        ini.WriteInteger(CommsSection, ScanPeriodKey(n), points_.ScanPeriods()[n]);
    }
    ini.WriteBool(CommsSection, "PersistantMode", points_.PersistantMode());

    ini.WriteInteger(MonitorSection, "Top", MonitorTop);
    ini.WriteInteger(MonitorSection, "Left", MonitorLeft);
    ini.WriteBool(MonitorSection, "InitialVisibility", InitialVisibility);
    ini.WriteString(MonitorSection, "Title", Title);
    ini.WriteString(MonitorSection, "TextAdvice1", TextAdvice1);
    ini.WriteString(MonitorSection, "TextAdvice2", TextAdvice2);
    ini.WriteString(MonitorSection, "MimicBackground", MimicBackground);
    for (int n = 0; n < DisplayFormatCount; ++n) {
        ini.WriteString(MonitorSection, NumberedKey("SigFig", n), SigFig[n]);
    }
    for (int n = 0; n < StateTextCount; ++n) {
        ini.WriteString(MonitorSection, NumberedKey("MulText", n), MulText[n]);
    }
    for (int n = 0; n < MonitorEntryCount; ++n) {
        const MonitorEntry& entry = Monitor[n];
        ini.WriteInteger(MonitorSection, NumberedKey("Type", n), entry.Type);
        ini.WriteString(MonitorSection, NumberedKey("Name", n), entry.Name);
        ini.WriteInteger(MonitorSection, NumberedKey("Point", n), entry.Point);
        ini.WriteInteger(MonitorSection, NumberedKey("Format", n), entry.Format);
        ini.WriteString(MonitorSection, NumberedKey("Units", n), entry.Units);
        for (int s = 0; s < MonitorStateCount; ++s) {
            ini.WriteInteger(MonitorSection, StateKey(s, n), entry.St[s]);
        }
    }

    for (int n = 0; n < ControlEntryCount; ++n) {
        const ControlEntry& entry = Control[n];
        ini.WriteInteger(ControlSection, NumberedKey("Point", n), entry.Point);
        ini.WriteString(ControlSection, NumberedKey("Name", n), entry.Name);
        ini.WriteFloat(ControlSection, NumberedKey("Value", n), entry.Value);
    }

    ini.Save();
    return true;
}

}  // namespace kestrova
