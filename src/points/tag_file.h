#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/ini_document.h"
#include "points/point_database.h"

namespace kestrova {

// The application name that means "no application": no tag file is read or written.
inline constexpr std::string_view NoApplicationSelected = "NoApplicationSelected";
inline constexpr std::string_view TagFileExtension = ".TG1";
inline constexpr std::string_view TagFileUpdateText = "2017-03-29";

// The tag file: definition and last state of every point, read once at start-up into the point
// table, kept in memory, and written back at shutdown. The file is the application name with
// its extension replaced by ".TG1", in the application directory.
//
// A load that stops part-way on a bad number is remembered (LoadFailed): the table then holds
// only part of the file, so SavePoints leaves the file as it is instead of overwriting it with
// the half-loaded table.
class TagFile {
public:
    // Version of section "TITLE" as read by the last ReadTagFile; 0 until then.
    std::int32_t TagFileVersion = 0;

    // "POINT" and the point number in five digits: "POINT00007".
    static std::string PointSectionName(int point);
    // The fixed name of system points 0 to 5; empty for any other point.
    static std::string_view SystemPointName(int point);
    // The application name with its extension replaced by ".TG1".
    static std::string MakeTagFileName(std::string_view applicationName);

    // Clears all 40 points; when an application is selected, opens the tag file and reads it.
    // A ConversionError from a bad floating-point text is recorded and passed on.
    void LoadPoints(PointDatabase& db, std::string_view applicationName,
                    const std::filesystem::path& applicationDirectory);
    // When an application is selected, the file is open and the load did not fail: writes the
    // table into the document and saves it (FileError when it cannot be written). The document
    // is released in every case. True when the file was written.
    bool SavePoints(const PointDatabase& db, std::string_view applicationName);

    // Builds the path, keeps the tag file name and reads the file into memory (a missing file
    // gives an empty document).
    bool OpenTagFile(std::string_view applicationName,
                     const std::filesystem::path& applicationDirectory);
    // Reads the version and all 40 point sections. Throws ConversionError (and records it) at
    // the first floating-point value that does not convert; later points stay as they were.
    bool ReadTagFile(PointDatabase& db);
    // Writes "Update" and all 40 point sections into the document; Version is left untouched.
    bool WriteTagFile(const PointDatabase& db);
    // Writes the document to its file and releases it. Throws FileError on a failed write; the
    // document is released either way.
    void CloseTagFile();

    bool IsOpen() const { return document_.has_value(); }
    const std::string& TagFileName() const { return tagFileName_; }
    // The document while open (nullptr when closed).
    const IniDocument* Document() const { return document_ ? &*document_ : nullptr; }

    bool LoadFailed() const { return loadFailed_; }
    const std::string& LoadError() const { return loadError_; }

private:
    std::optional<IniDocument> document_;
    std::string tagFileName_;
    bool loadFailed_ = false;
    std::string loadError_;
};

}  // namespace kestrova
