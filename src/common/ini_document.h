#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrova {

// An INI-form text file held in memory: [section] lines and key=value lines.
//
// The whole file is read when the document is made (a missing file gives an empty document; a
// file that cannot be read, one over 16 MiB or one of more than 16384 lines, raises FileError
// "Cannot open file <path>..."). The real files have under a thousand lines; the line limit
// keeps a hostile file from costing more memory and time than its size.
// Section and key names match without regard to ASCII case; names and values are trimmed of
// blanks. Every line the program does not touch (unknown sections and keys, comments, blank
// lines, anything unparsable) keeps its place and text. Writing an existing key replaces its value
// in place and keeps the key's spelling; a new key goes at the end of its section, a new section
// at the end of the document. Written lines end with CR LF.
class IniDocument {
public:
    static constexpr std::uintmax_t MaxFileSize = 16 * 1024 * 1024;
    static constexpr std::size_t MaxLines = 16384;

    // What a symbolic link at the path reads as: the file it points to, or (for a document that
    // is to replace whatever is at the name, in a folder others may write to) a missing file.
    enum class Link : std::uint8_t { Follow, Ignore };

    explicit IniDocument(std::filesystem::path path, Link link = Link::Follow);

    const std::filesystem::path& Path() const { return path_; }

    bool HasKey(std::string_view section, std::string_view key) const {
        return FindKey(section, key) != None;
    }
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
    // target, so a failed save leaves the old file intact. A file at the target keeps its mode;
    // a symbolic link there is replaced itself, and the new file gets 0666 less the umask.
    // Throws FileError "Cannot create file <path>" when it cannot be written, and for a
    // read-only file.
    void Save() const;

private:
    // One line of the file. Lines are kept in file order through `next` (line numbers stay valid
    // when a line is inserted); name and value are stretches of the text.
    struct Line {
        enum class Kind : std::uint8_t { Other, Section, Key };
        std::string text;  // the line as read or last written, without its line end
        std::uint32_t next = None;
        std::uint32_t nameAt = 0, nameLength = 0;    // section or key name, trimmed
        std::uint32_t valueAt = 0, valueLength = 0;  // key value, trimmed
        Kind kind = Kind::Other;

        std::string_view Name() const { return std::string_view(text).substr(nameAt, nameLength); }
        std::string_view Value() const {
            return std::string_view(text).substr(valueAt, valueLength);
        }
    };
    // The first section of a name: its header, and the line a new key of it goes after (the
    // section's last non-blank line, or the header).
    struct SectionPlace {
        std::uint32_t header;
        std::uint32_t last;
    };
    static constexpr std::uint32_t None = 0xFFFFFFFF;

    static Line ParseLine(std::string text);
    // Lookup key of a section and key name, without regard to case.
    static std::string IndexKey(std::string_view section, std::string_view key);
    // The key within the first section of that name that holds it, or None.
    std::uint32_t FindKey(std::string_view section, std::string_view key) const;
    std::uint32_t Append(Line line);                         // at the end of the file
    std::uint32_t InsertAfter(std::uint32_t at, Line line);  // after line `at`

    std::filesystem::path path_;
    // Every name lookup goes through the two indexes, so reads and writes cost the same in a
    // file of any length.
    std::vector<Line> lines_;
    std::uint32_t first_ = None;
    std::uint32_t last_ = None;
    std::unordered_map<std::string, std::uint32_t> keys_;     // IndexKey -> first such key line
    std::unordered_map<std::string, SectionPlace> sections_;  // lower-case name -> first section
};

}  // namespace kestrova
