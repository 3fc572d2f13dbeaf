#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/serial_settings.h"
#include "config/window_placement.h"
#include "points/tag_file.h"  // NoApplicationSelected

namespace kestrova {

class PointDatabase;

inline constexpr int DisplayFormatCount = 16;
inline constexpr int StateTextCount = 128;
inline constexpr int MonitorEntryCount = 64;
inline constexpr int ControlEntryCount = 16;
inline constexpr int MonitorStateCount = 5;  // St0 to St4 of each monitor entry

// The full path of the running executable (from /proc/self/exe); empty when it cannot be read.
std::filesystem::path ExecutablePath();

// "Name000" style key: the stem followed by n in exactly three digits (the last three digits of
// "00000" followed by n).
std::string NumberedKey(std::string_view stem, int n);

// One entry of the point monitor: a point shown with a name, a display format, units and up to
// five state texts.
struct MonitorEntry {
    std::int32_t Type = 0;
    std::string Name;
    std::int32_t Point = 0;
    std::int32_t Format = 0;  // entry of the display format table, 0..16
    std::string Units;
    std::array<std::int32_t, MonitorStateCount> St{};  // entries of the state text table, 0..128
};

// One entry of the point control list: a value to write to a point.
struct ControlEntry {
    std::int32_t Point = 0;
    std::string Name;
    double Value = 0.0;
};

// The application settings file (<executable>.INI) and the project configuration file
// (<application directory>/<application name>.CG0) with the variables they carry.
//
// A fresh object holds empty texts and zeros; SetSettingsDefaults and SetProjectDefaults give
// the start-up defaults. The object does not own the main window's placement or the scan
// periods: the window placement belongs to the dashboard window, the scan periods and
// PersistantMode to the point database, and both are read and written through references.
class KestrovaIni {
public:
    KestrovaIni(PointDatabase& points, WindowPlacement& window,
                std::filesystem::path executablePath);

    // --- Application settings file ---

    // Every settings variable to its start-up default; folder and file names come from the
    // executable's path.
    void SetSettingsDefaults();
    // Reads the settings file (a missing file or key leaves the current value) and places the
    // main window at once. Returns true.
    bool ReadSettingsFile();
    // Writes the settings file, keeping whatever else it holds (including "Version" and
    // "Ports"); a "Ports" entry the file has no key for yet is added. Returns true; a file that
    // cannot be written throws FileError.
    bool WriteSettingsFile();
    // True unless the application name is exactly "NoApplicationSelected".
    bool ApplicationSelected() const;

    std::filesystem::path SettingsFilePath() const;
    std::int32_t SettingsVersion() const { return settingsVersion_; }

    // --- Project configuration file ---

    // Every project variable to its start-up default (scan periods and PersistantMode in the
    // point database included), then the display format and state text tables.
    void SetProjectDefaults();
    // When an application is selected: reads the project configuration and returns true;
    // otherwise changes nothing and returns false. A bad control Value text throws
    // ConversionError; the load then counts as failed (ProjectLoadFailed).
    bool ReadProjectFile();
    // When an application is selected and the last load did not fail part-way: writes the
    // project configuration, keeping whatever else it holds (including "Version"), and returns
    // true; otherwise writes nothing and returns false. A file that cannot be written throws
    // FileError.
    bool WriteProjectFile();
    // True when the last ReadProjectFile stopped part-way on an error: the variables then hold
    // a mix of file values and defaults, and writing them would destroy the rest of the file.
    bool ProjectLoadFailed() const { return projectLoadFailed_; }

    std::filesystem::path ProjectFilePath() const;
    std::int32_t ProjectVersion() const { return projectVersion_; }

    // The display format table to its defaults (entries 0 to 14; entry 15 is left as it is).
    void FillDisplayFormats();
    // The state text table to its defaults (entries 0 to 33; the rest are left as they are).
    void FillStateTexts();

    // --- Settings variables ("Application") ---
    std::string Name;
    std::string Directory;
    std::string DialogIn;
    std::string DialogOut;
    std::string WinTimeSlice;

    // --- Settings variables ("Communications") ---
    std::string Modbus;
    std::string DDEserver;
    std::string RTDM;
    std::string Omron;
    std::string Peerlink;
    std::string DF1;
    std::string Profibus;
    std::string SiemensH1;
    std::string USBmsd;
    std::string USBcdc;
    SerialSettings Serial;  // Port, BAUD, Data, Parity, Stop; shared with the port driver
    PortMap Ports;          // "Ports" section: device file behind each COM port number

    // --- Project variables ("PIC") ---
    std::string Project;
    std::string ProjectDir;
    bool AutoSymbolUpdate = false;
    bool AutoPointUpdate = false;
    std::string MapDelimiter;

    // --- Project variables ("PointMonitor") ---
    std::int32_t MonitorTop = 0;
    std::int32_t MonitorLeft = 0;
    bool InitialVisibility = false;
    std::string Title;
    std::string TextAdvice1;
    std::string TextAdvice2;
    std::string MimicBackground;
    std::array<std::string, DisplayFormatCount> SigFig;
    std::array<std::string, StateTextCount> MulText;
    std::array<MonitorEntry, MonitorEntryCount> Monitor;

    // --- Project variables ("PointControl") ---
    std::array<ControlEntry, ControlEntryCount> Control;

private:
    void ReadProjectSections();

    PointDatabase& points_;
    WindowPlacement& window_;
    std::filesystem::path executablePath_;
    std::int32_t settingsVersion_ = 0;
    std::int32_t projectVersion_ = 0;
    bool projectLoadFailed_ = false;
};

}  // namespace kestrova
