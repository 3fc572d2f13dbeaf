#include "points/tag_file.h"

#include <array>
#include <exception>

#include "common/errors.h"
#include "common/utf8_path.h"

namespace kestrova {

namespace {

constexpr std::string_view TitleSection = "TITLE";
constexpr std::string_view VersionKey = "Version";
constexpr std::string_view UpdateKey = "Update";

constexpr std::array<std::string_view, 6> SystemPointNames = {
    "_ZEL_System",   "_ZEL_Simulator", "_ZEL_System02",
    "_ZEL_System03", "_ZEL_System04",  "_ZEL_HeartBeat",
};

// Defaults of a key the file lacks; the same values ClearPoint gives.
constexpr std::int32_t DefaultNetwork = -1;
constexpr std::int32_t DefaultSlot = -1;
constexpr double DefaultScaleMult = 1.0;
constexpr double DefaultScaleOffset = 0.0;
constexpr double DefaultScaleMin = -66000.0;
constexpr double DefaultScaleMax = 66000.0;
constexpr double DefaultScaledValue = 0.0;

// The flag words are kept as 32 bits and stored as signed decimal: bit 31 gives a negative text.
std::int32_t FlagsToStored(std::uint32_t flags) { return static_cast<std::int32_t>(flags); }
std::uint32_t StoredToFlags(std::int32_t stored) { return static_cast<std::uint32_t>(stored); }

}  // namespace

std::string TagFile::PointSectionName(int point) {
    std::string digits = std::to_string(point);
    if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
    return "POINT" + digits;
}

std::string_view TagFile::SystemPointName(int point) {
    if (point < 0 || point >= static_cast<int>(SystemPointNames.size())) return {};
    return SystemPointNames[static_cast<std::size_t>(point)];
}

std::string TagFile::MakeTagFileName(std::string_view applicationName) {
    std::filesystem::path name = PathFromUtf8(applicationName);
    name.replace_extension(std::string(TagFileExtension));
    return Utf8Of(name);
}

void TagFile::LoadPoints(PointDatabase& db, std::string_view applicationName,
                         const std::filesystem::path& applicationDirectory) {
    loadFailed_ = false;
    loadError_.clear();
    for (int point = 0; point < MaxPoints; ++point) db.ClearPoint(point);
    if (applicationName == NoApplicationSelected) return;
    OpenTagFile(applicationName, applicationDirectory);
    ReadTagFile(db);
}

bool TagFile::SavePoints(const PointDatabase& db, std::string_view applicationName) {
    if (applicationName == NoApplicationSelected || !document_) return false;
    if (loadFailed_) {
        // The table holds only the part of the file read before the bad value: writing it back
        // would replace every later point with cleared values. Leave the file as it is.
        document_.reset();
        return false;
    }
    WriteTagFile(db);
    CloseTagFile();
    return true;
}

bool TagFile::OpenTagFile(std::string_view applicationName,
                          const std::filesystem::path& applicationDirectory) {
    tagFileName_ = MakeTagFileName(applicationName);
    // The folder, with a separator added when it lacks one, then the file name.
    document_.reset();
    document_.emplace(applicationDirectory / PathFromUtf8(tagFileName_));
    return true;
}

namespace {

// One point's section into its record, field by field; a bad number throws ConversionError with
// the fields before it already set.
void ReadPointRecord(const IniDocument& doc, int point, PointRecord& p) {
    const std::string section = TagFile::PointSectionName(point);
    p.RawValue = doc.ReadInteger(section, "RawValue", 0);
    const std::string name = doc.ReadString(section, "Name", "");
    const std::string_view systemName = TagFile::SystemPointName(point);
    PointDatabase::SetRecordName(p, systemName.empty() ? std::string_view(name) : systemName);
    p.Address = doc.ReadInteger(section, "Address", 0);
    p.Mem_Type = doc.ReadInteger(section, "Mem_Type", 0);
    p.Internal = doc.ReadInteger(section, "Internal", 0);
    p.Pt_Flags = StoredToFlags(doc.ReadInteger(section, "Pt_Flags", 0));
    p.ScaleMult = doc.ReadFloat(section, "ScaleMult", DefaultScaleMult);
    p.ScaleOffset = doc.ReadFloat(section, "ScaleOffset", DefaultScaleOffset);
    p.ScaleMin = doc.ReadFloat(section, "ScaleMin", DefaultScaleMin);
    p.ScaleMax = doc.ReadFloat(section, "ScaleMax", DefaultScaleMax);
    p.ScaledValue = doc.ReadFloat(section, "ScaledValue", DefaultScaledValue);
    p.Msg_Flags = StoredToFlags(doc.ReadInteger(section, "Msg_Flags", 0));
    p.Network_0 = doc.ReadInteger(section, "Network_0", DefaultNetwork);
    p.Network_1 = doc.ReadInteger(section, "Network_1", DefaultNetwork);
    p.Network_2 = doc.ReadInteger(section, "Network_2", DefaultNetwork);
    p.Network_3 = doc.ReadInteger(section, "Network_3", DefaultNetwork);
    p.Read_Idx = doc.ReadInteger(section, "Read_Idx", DefaultSlot);
    p.Write_Idx = doc.ReadInteger(section, "Write_Idx", DefaultSlot);
}

}  // namespace

bool TagFile::ReadTagFile(PointDatabase& db) {
    if (!document_) return false;
    const IniDocument& doc = *document_;
    loadFailed_ = false;
    loadError_.clear();
    try {
        TagFileVersion = doc.ReadInteger(TitleSection, VersionKey, 0);
        for (int point = 0; point < MaxPoints; ++point) {
            // Fields read before a bad number keep their new values.
            PointRecord p = db.PointTable()[point];
            try {
                ReadPointRecord(doc, point, p);
            } catch (...) {
                db.StorePoint(point, p);
                throw;
            }
            db.StorePoint(point, p);
        }
    } catch (const std::exception& e) {
        loadFailed_ = true;
        loadError_ = e.what();
        throw;
    }
    return true;
}

bool TagFile::WriteTagFile(const PointDatabase& db) {
    if (!document_) return false;
    IniDocument& doc = *document_;
    doc.WriteString(TitleSection, UpdateKey, TagFileUpdateText);
    for (int point = 0; point < MaxPoints; ++point) {
        const std::string section = PointSectionName(point);
        const PointRecord& p = db.PointTable()[point];

        doc.WriteInteger(section, "RawValue", p.RawValue);
        doc.WriteString(section, "Name", db.PointName(point));
        doc.WriteInteger(section, "Address", p.Address);
        doc.WriteInteger(section, "Mem_Type", p.Mem_Type);
        doc.WriteInteger(section, "Internal", p.Internal);
        doc.WriteInteger(section, "Pt_Flags", FlagsToStored(p.Pt_Flags));
        doc.WriteFloat(section, "ScaleMult", p.ScaleMult);
        doc.WriteFloat(section, "ScaleOffset", p.ScaleOffset);
        doc.WriteFloat(section, "ScaleMin", p.ScaleMin);
        doc.WriteFloat(section, "ScaleMax", p.ScaleMax);
        doc.WriteFloat(section, "ScaledValue", p.ScaledValue);
        doc.WriteInteger(section, "Msg_Flags", FlagsToStored(p.Msg_Flags));
        doc.WriteInteger(section, "Network_0", p.Network_0);
        doc.WriteInteger(section, "Network_1", p.Network_1);
        doc.WriteInteger(section, "Network_2", p.Network_2);
        doc.WriteInteger(section, "Network_3", p.Network_3);
        doc.WriteInteger(section, "Read_Idx", p.Read_Idx);
        doc.WriteInteger(section, "Write_Idx", p.Write_Idx);
    }
    return true;
}

void TagFile::CloseTagFile() {
    if (!document_) return;
    // Released whether or not the write succeeds; a FileError goes on to the caller.
    std::optional<IniDocument> doc;
    doc.swap(document_);
    doc->Save();
}

}  // namespace kestrova
