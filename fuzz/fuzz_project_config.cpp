// The settings file and the project configuration: any bytes as Kestrova_Interface.INI and as
// KESTROVA_001.CG0, read as at start-up, written as at exit, and read again.
//
// Checked: only conversion errors come out of the reads; a project configuration that failed to
// load is never written; written files read back to the same variables (after one round that
// normalizes numbers to 15 significant digits); table entries stay inside their tables.

#include <cstddef>
#include <cstdint>

#include "common/errors.h"
#include "config/kestrova_ini.h"
#include "fuzz_support.h"
#include "points/point_database.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

const test::TempFolder& Scratch() {
    static const test::TempFolder folder("kestrova_fuzz");
    return folder;
}

struct Loaded {
    PointDatabase points;
    PlainWindowPlacement window;
    KestrovaIni ini{points, window, Scratch().Path() / "Kestrova_Interface"};
    bool projectRead = false;
};

// Start-up order: defaults, settings file, then the fixed application and its project file.
void Load(Loaded& l) {
    l.ini.SetSettingsDefaults();
    l.ini.SetProjectDefaults();
    l.ini.ReadSettingsFile();
    l.ini.Name = "KESTROVA_001";
    l.ini.Directory = Scratch().Path().string();
    try {
        l.projectRead = l.ini.ReadProjectFile();
        FUZZ_CHECK(l.projectRead && !l.ini.ProjectLoadFailed());
    } catch (const ConversionError&) {
        FUZZ_CHECK(l.ini.ProjectLoadFailed());
    }
    for (const MonitorEntry& m : l.ini.Monitor) {
        FUZZ_CHECK(m.Format >= 0 && m.Format <= DisplayFormatCount);
        for (std::int32_t st : m.St) FUZZ_CHECK(st == -1 || (st >= 0 && st <= StateTextCount));
    }
}

void CheckSame(const Loaded& a, const Loaded& b) {
    const KestrovaIni& x = a.ini;
    const KestrovaIni& y = b.ini;
    FUZZ_CHECK(a.window.top == b.window.top && a.window.left == b.window.left &&
               a.window.maximized == b.window.maximized);
    FUZZ_CHECK(x.DialogIn == y.DialogIn && x.DialogOut == y.DialogOut &&
               x.WinTimeSlice == y.WinTimeSlice && x.SettingsVersion() == y.SettingsVersion());
    FUZZ_CHECK(x.Modbus == y.Modbus && x.DDEserver == y.DDEserver && x.RTDM == y.RTDM &&
               x.Omron == y.Omron && x.Peerlink == y.Peerlink && x.DF1 == y.DF1 &&
               x.Profibus == y.Profibus && x.SiemensH1 == y.SiemensH1 && x.USBmsd == y.USBmsd &&
               x.USBcdc == y.USBcdc);
    FUZZ_CHECK(x.Serial.Port == y.Serial.Port && x.Serial.BAUD == y.Serial.BAUD &&
               x.Serial.Data == y.Serial.Data && x.Serial.Parity == y.Serial.Parity &&
               x.Serial.Stop == y.Serial.Stop);
    for (int port = 1; port <= 255; port += 37) {
        FUZZ_CHECK(x.Ports.DevicePath(port) == y.Ports.DevicePath(port));
    }
    FUZZ_CHECK(a.projectRead == b.projectRead);
    if (!a.projectRead) return;
    FUZZ_CHECK(x.Project == y.Project && x.ProjectDir == y.ProjectDir &&
               x.AutoSymbolUpdate == y.AutoSymbolUpdate && x.AutoPointUpdate == y.AutoPointUpdate &&
               x.MapDelimiter == y.MapDelimiter && x.ProjectVersion() == y.ProjectVersion());
    FUZZ_CHECK(a.points.ScanPeriods() == b.points.ScanPeriods() &&
               a.points.PersistantMode() == b.points.PersistantMode());
    FUZZ_CHECK(x.MonitorTop == y.MonitorTop && x.MonitorLeft == y.MonitorLeft &&
               x.InitialVisibility == y.InitialVisibility && x.Title == y.Title &&
               x.TextAdvice1 == y.TextAdvice1 && x.TextAdvice2 == y.TextAdvice2 &&
               x.MimicBackground == y.MimicBackground);
    FUZZ_CHECK(x.SigFig == y.SigFig && x.MulText == y.MulText);
    for (int n = 0; n < MonitorEntryCount; ++n) {
        const MonitorEntry& m = x.Monitor[n];
        const MonitorEntry& o = y.Monitor[n];
        FUZZ_CHECK(m.Type == o.Type && m.Name == o.Name && m.Point == o.Point &&
                   m.Format == o.Format && m.Units == o.Units && m.St == o.St);
    }
    for (int n = 0; n < ControlEntryCount; ++n) {
        const ControlEntry& c = x.Control[n];
        const ControlEntry& o = y.Control[n];
        FUZZ_CHECK(c.Point == o.Point && c.Name == o.Name && SameBits(c.Value, o.Value));
    }
}

void Save(Loaded& l) {
    l.ini.WriteSettingsFile();
    FUZZ_CHECK(l.ini.WriteProjectFile() == l.projectRead);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::filesystem::path settings = Scratch().Path() / "Kestrova_Interface.INI";
    const std::filesystem::path project = Scratch().Path() / "KESTROVA_001.CG0";
    test::WriteText(settings, input.ConsumeRandomLengthString(size));
    const std::string projectText = input.ConsumeRemainingBytesAsString();
    test::WriteText(project, projectText);

    Loaded first;
    Load(first);
    Save(first);
    if (!first.projectRead) FUZZ_CHECK(test::ReadText(project) == projectText);

    Loaded second;
    Load(second);
    Save(second);
    const std::string settingsSaved = test::ReadText(settings);
    const std::string projectSaved = test::ReadText(project);

    Loaded third;
    Load(third);
    CheckSame(second, third);
    Save(third);
    FUZZ_CHECK(test::ReadText(settings) == settingsSaved &&
               test::ReadText(project) == projectSaved);
    return 0;
}
