#include "soak/configuration_reload_check.h"

#include <exception>
#include <vector>

#include "common/number_text.h"
#include "config/kestrova_ini.h"
#include "points/point_database.h"
#include "points/tag_file.h"

namespace kestrova::soak {
namespace {

bool SamePoint(const PointDatabase& ran, const PointDatabase& loaded, int p) {
    const PointRecord& a = ran.PointTable()[static_cast<std::size_t>(p)];
    const PointRecord& b = loaded.PointTable()[static_cast<std::size_t>(p)];
    return a.RawValue == b.RawValue && a.ScaledValue == b.ScaledValue &&
           ran.PointName(p) == loaded.PointName(p) && a.Address == b.Address &&
           a.Mem_Type == b.Mem_Type && a.Internal == b.Internal && a.Pt_Flags == b.Pt_Flags &&
           a.ScaleMult == b.ScaleMult && a.ScaleOffset == b.ScaleOffset &&
           a.ScaleMin == b.ScaleMin && a.ScaleMax == b.ScaleMax && a.Msg_Flags == b.Msg_Flags &&
           a.Network_0 == b.Network_0 && a.Network_1 == b.Network_1 && a.Network_2 == b.Network_2 &&
           a.Network_3 == b.Network_3 && a.Read_Idx == b.Read_Idx && a.Write_Idx == b.Write_Idx;
}

}  // namespace

Check CheckConfigurationReload(const AppService& core, const RunFolder& folder,
                               const WriteLedger& ledger, const PlainWindowPlacement& placement,
                               const std::string& stopError) {
    Check c{"configuration files reload", false, ""};
    std::vector<std::string> problems;
    const auto problem = [&problems](std::string text) {
        if (problems.size() < 8) problems.push_back(std::move(text));
    };
    try {
        PointDatabase points;
        PlainWindowPlacement loadedPlacement;
        KestrovaIni ini(points, loadedPlacement, core.ExecutablePath());
        TagFile tags;
        ini.SetSettingsDefaults();
        ini.SetProjectDefaults();
        ini.ReadSettingsFile();
        ini.Name = CoreApplicationName;
        ini.Directory = folder.folder.string();
        ini.ReadProjectFile();
        tags.LoadPoints(points, ini.Name, ini.Directory);

        if (ini.SettingsVersion() != CoreSoftwareVersion) problem("settings file version");
        if (ini.ProjectVersion() != CoreSoftwareVersion) problem("project configuration version");
        if (tags.TagFileVersion != CoreSoftwareVersion) problem("tag file version");

        const PointDatabase& ran = core.Points();
        int differing = 0;
        for (int p = 0; p < MaxPoints; ++p) {
            if (!SamePoint(ran, points, p)) {
                ++differing;
                problem("point " + std::to_string(p) + " reads back as " +
                        DoubleToText(points.PointTable()[static_cast<std::size_t>(p)].ScaledValue) +
                        " (core " +
                        DoubleToText(ran.PointTable()[static_cast<std::size_t>(p)].ScaledValue) +
                        ")");
            }
        }
        int adjustChecked = 0;
        for (int p : AdjustPoints) {
            if (!ledger.Known(p)) continue;
            ++adjustChecked;
            const double saved = points.PointTable()[static_cast<std::size_t>(p)].ScaledValue;
            if (saved != ledger.Expected(p)) {
                problem("point " + std::to_string(p) + " saved as " + DoubleToText(saved) +
                        ", last written " + DoubleToText(ledger.Expected(p)));
            }
        }
        if (adjustChecked != static_cast<int>(AdjustPoints.size())) {
            problem("only " + std::to_string(adjustChecked) + " adjust points with a known value");
        }
        if (points.ScanPeriods() != ran.ScanPeriods()) problem("scan periods");
        if (points.PersistantMode() != ran.PersistantMode()) problem("PersistantMode");
        const SerialSettings& s = ini.Serial;
        const SerialSettings& r = core.Ini().Serial;
        if (s.Port != r.Port || s.BAUD != r.BAUD || s.Data != r.Data || s.Parity != r.Parity ||
            s.Stop != r.Stop) {
            problem("serial settings: port " + std::to_string(s.Port) + " baud " +
                    std::to_string(s.BAUD) + " (core: port " + std::to_string(r.Port) + " baud " +
                    std::to_string(r.BAUD) + ")");
        }
        if (s.Port != 1 || s.BAUD != 38400 || s.Data != 8 || s.Parity != 0 || s.Stop != 1) {
            problem("serial settings are not COM 1, 38400 8N1");
        }
        if (ini.Ports.DevicePath(1) != folder.LinkPath().string()) {
            problem("COM1 maps to " + ini.Ports.DevicePath(1));
        }
        if (loadedPlacement.Top() != placement.Top() ||
            loadedPlacement.Left() != placement.Left() ||
            loadedPlacement.Maximized() != placement.Maximized()) {
            problem("window placement");
        }
        c.detail = "40 points, " + std::to_string(adjustChecked) +
                   " written adjust values, scan periods, serial settings and port map compared";
        if (differing > 0) c.detail += "; " + std::to_string(differing) + " points differ";
    } catch (const std::exception& e) {
        problem(std::string("reading back: ") + e.what());
    }
    c.passed = problems.empty();
    for (const std::string& p : problems) c.detail += "; " + p;
    // CoreStop writes these files: an error there fails the check.
    if (!stopError.empty()) {
        c.passed = false;
        c.detail = "CoreStop: " + stopError + "; " + c.detail;
    }
    return c;
}

}  // namespace kestrova::soak
