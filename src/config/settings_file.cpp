#include <algorithm>
#include <optional>
#include <system_error>

#include "common/ini_document.h"
#include "common/number_text.h"
#include "common/utf8_path.h"
#include "config/kestrova_ini.h"

namespace kestrova {
namespace {

constexpr std::string_view FormSection = "Form";
constexpr std::string_view ApplicationSection = "Application";
constexpr std::string_view CommsSection = "Communications";
constexpr std::string_view PortsSection = "Ports";

// COM port numbers whose "Ports" mapping is looked up.
constexpr int FirstMappedPort = 1;
constexpr int LastMappedPort = 255;

// Longest reply allowance or late-reply horizon a [Ports] entry may set.
constexpr std::int32_t LongestPortTimingMs = 10000;

// A port's timing key (COM3.ReplyAllowanceMs) when it holds a whole number, kept within 0..10 s;
// anything else leaves the port's default in force.
std::optional<std::int32_t> ReadPortTiming(const IniDocument& ini, const std::string& key) {
    const std::optional<std::int32_t> ms = TryTextToInt(ini.ReadString(PortsSection, key, ""));
    if (!ms) return std::nullopt;
    return std::clamp(*ms, 0, LongestPortTimingMs);
}

// A folder as text without trailing separator ("/" itself becomes empty).
std::string WithoutTrailingSeparator(const std::filesystem::path& folder) {
    std::string text = Utf8Of(folder);
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

}  // namespace

KestrovaIni::KestrovaIni(PointDatabase& points, WindowPlacement& window,
                         std::filesystem::path executablePath)
    : points_(points), window_(window) {
    // A relative path would leave the folder empty; make it absolute against the working folder.
    std::error_code error;
    executablePath_ =
        executablePath.empty() ? executablePath : std::filesystem::absolute(executablePath, error);
    if (error) executablePath_ = std::move(executablePath);
}

std::filesystem::path KestrovaIni::SettingsFilePath() const {
    std::filesystem::path path = executablePath_;
    path.replace_extension(".INI");
    return path;
}

void KestrovaIni::SetSettingsDefaults() {
    const std::filesystem::path exeName = executablePath_.filename();

    Name = NoApplicationSelected;
    Directory = WithoutTrailingSeparator(executablePath_.parent_path());
    DialogIn = Utf8Of(std::filesystem::path(exeName).replace_extension(".DXQ"));
    DialogOut = Utf8Of(std::filesystem::path(exeName).replace_extension(".DZU"));
    WinTimeSlice = "Default";
    settingsVersion_ = 0;

    Modbus = "No";
    DDEserver = "No";
    RTDM = "Support";
    Omron = "No";
    Peerlink = "No";
    DF1 = "No";
    Profibus = "No";
    SiemensH1 = "No";
    USBmsd = "No";
    USBcdc = "No";
    Serial.Port = 7;
    Serial.BAUD = 38400;
    Serial.Data = 8;
    Serial.Parity = 0;
    Serial.Stop = 1;

    Ports.Clear();
    Ports.SetBaseDirectory(executablePath_.parent_path());
}

bool KestrovaIni::ReadSettingsFile() {
    const IniDocument ini(SettingsFilePath());

    // The window's position and state take effect at once.
    window_.SetTop(ini.ReadInteger(FormSection, "Top", 100));
    window_.SetLeft(ini.ReadInteger(FormSection, "Left", 100));
    window_.SetMaximized(ini.ReadBool(FormSection, "InitMax", false));

    Name = ini.ReadString(ApplicationSection, "Name", Name);
    Directory = ini.ReadString(ApplicationSection, "Directory", Directory);
    DialogIn = ini.ReadString(ApplicationSection, "DialogIn", DialogIn);
    DialogOut = ini.ReadString(ApplicationSection, "DialogOut", DialogOut);
    WinTimeSlice = ini.ReadString(ApplicationSection, "WinTimeSlice", WinTimeSlice);
    settingsVersion_ = ini.ReadInteger(ApplicationSection, "Version", settingsVersion_);

    Modbus = ini.ReadString(CommsSection, "Modbus", Modbus);
    DDEserver = ini.ReadString(CommsSection, "DDEserver", DDEserver);
    RTDM = ini.ReadString(CommsSection, "RTDM", RTDM);
    Omron = ini.ReadString(CommsSection, "Omron", Omron);
    Peerlink = ini.ReadString(CommsSection, "Peerlink", Peerlink);
    DF1 = ini.ReadString(CommsSection, "DF1", DF1);
    Profibus = ini.ReadString(CommsSection, "Profibus", Profibus);
    SiemensH1 = ini.ReadString(CommsSection, "SiemensH1", SiemensH1);
    USBmsd = ini.ReadString(CommsSection, "USBmsd", USBmsd);
    USBcdc = ini.ReadString(CommsSection, "USBcdc", USBcdc);
    Serial.Port = ini.ReadInteger(CommsSection, "Port", Serial.Port);
    Serial.BAUD = ini.ReadInteger(CommsSection, "BAUD", Serial.BAUD);
    Serial.Data = ini.ReadInteger(CommsSection, "Data", Serial.Data);
    Serial.Parity = ini.ReadInteger(CommsSection, "Parity", Serial.Parity);
    Serial.Stop = ini.ReadInteger(CommsSection, "Stop", Serial.Stop);

    // Device files behind the COM port numbers; a port without a key uses the serial default.
    Ports.Clear();
    Ports.SetBaseDirectory(executablePath_.parent_path());
    for (int port = FirstMappedPort; port <= LastMappedPort; ++port) {
        const std::string key = "COM" + IntToText(port);
        std::string device = ini.ReadString(PortsSection, key, "");
        if (!device.empty()) Ports.Set(port, std::move(device));
        const PortTimingOverride timing{ReadPortTiming(ini, key + ".ReplyAllowanceMs"),
                                        ReadPortTiming(ini, key + ".LateReplyMs")};
        if (timing.replyAllowanceMs || timing.lateReplyHorizonMs) Ports.SetTiming(port, timing);
    }
    return true;
}

bool KestrovaIni::WriteSettingsFile() {
    // Opened afresh so that everything else the file holds ("Version", "Ports", unknown keys)
    // is written back as it stands.
    IniDocument ini(SettingsFilePath());

    ini.WriteInteger(FormSection, "Top", window_.Top());
    ini.WriteInteger(FormSection, "Left", window_.Left());
    ini.WriteString(FormSection, "Caption", window_.Caption());
    ini.WriteBool(FormSection, "InitMax", window_.Maximized());

    ini.WriteString(ApplicationSection, "Name", Name);
    ini.WriteString(ApplicationSection, "Directory", Directory);
    ini.WriteString(ApplicationSection, "DialogIn", DialogIn);
    ini.WriteString(ApplicationSection, "DialogOut", DialogOut);
    ini.WriteString(ApplicationSection, "WinTimeSlice", WinTimeSlice);

    ini.WriteString(CommsSection, "Modbus", Modbus);
    ini.WriteString(CommsSection, "DDEserver", DDEserver);
    ini.WriteString(CommsSection, "RTDM", RTDM);
    ini.WriteString(CommsSection, "Omron", Omron);
    ini.WriteString(CommsSection, "Peerlink", Peerlink);
    ini.WriteString(CommsSection, "DF1", DF1);
    ini.WriteString(CommsSection, "Profibus", Profibus);
    ini.WriteString(CommsSection, "SiemensH1", SiemensH1);
    ini.WriteString(CommsSection, "USBmsd", USBmsd);
    ini.WriteString(CommsSection, "USBcdc", USBcdc);
    ini.WriteInteger(CommsSection, "Port", Serial.Port);
    ini.WriteInteger(CommsSection, "BAUD", Serial.BAUD);
    ini.WriteInteger(CommsSection, "Data", Serial.Data);
    ini.WriteInteger(CommsSection, "Parity", Serial.Parity);
    ini.WriteInteger(CommsSection, "Stop", Serial.Stop);

    // COM numbers given to adapters while running are added; a key the file already holds,
    // written by hand or at an earlier exit, stays exactly as it is.
    for (const auto& [port, device] : Ports.Entries()) {
        const std::string key = "COM" + IntToText(port);
        if (!ini.HasKey(PortsSection, key)) ini.WriteString(PortsSection, key, device);
    }

    ini.Save();
    return true;
}

bool KestrovaIni::ApplicationSelected() const { return Name != NoApplicationSelected; }

}  // namespace kestrova
