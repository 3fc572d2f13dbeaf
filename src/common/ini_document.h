#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// An INI-form text file held in memory: [section] lines and key=value lines.
//
// The whole file is read when the document is made (a missing file gives an empty document; a
// file that cannot be read, or one over 16 MiB, raises FileError "Cannot open file <path>").
// Section and key names match without regard to ASCII case; names and values are trimmed of
// blanks. Every line the program does not touch (unknown sections and keys, comments, blank
// lines, anything unparsable) keeps its place and text. Writing an existing key replaces its value
// in place and keeps the key's spelling; a new key goes at the end of its section, a new section
// at the end of the document. Written lines end with CR LF.
class IniDocument {
public:
    static constexpr std::uintmax_t MaxFileSize = 16 * 1024 * 1024;

    explicit IniDocument(std::filesystem::path path);

    const std::filesystem::path& Path() const { return path_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // A value that is not a valid integer reads as the fallback.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t fallback) const;
    // An integer; any non-zero value is true. Not an integer: the fallback.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
    // The text (the fallback written as a number when the key is missing) converted to double;
    // a bad text throws ConversionError.
    double ReadFloat(std::string_view section, std::string_view key, double fallback) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);  // 1 or 0
    void WriteFloat(std::string_view section, std::string_view key, double value);

    // Writes the whole document to a temporary file in the same folder and renames it over the
    // target, so a failed save leaves the old file intact. Throws FileError
    // "Cannot create file <path>" when it cannot be written.
    void Save() const;

private:
    struct Line {
        enum class Kind { Other, Section, Key };
        Kind kind = Kind::Other;
        std::string text;  // the line as read or last written, without its line end
        std::string name;  // section or key name, trimmed
        std::string value; // key value, trimmed
    };

    static Line ParseLine(std::string text);
    // Line index of the key within the first section of that name that holds it, or npos.
    std::size_t FindKey(std::string_view section, std::string_view key) const;
    // Index of the first line of the section's header, or npos.
    std::size_t FindSection(std::string_view section) const;

    std::filesystem::path path_;
    std::vector<Line> lines_;
};

}  // namespace kestrova
