#include "common/ini_document.h"

#include <algorithm>

#include "common/errors.h"
#include "common/file_create.h"
#include "common/number_text.h"
#include "common/utf8_path.h"

namespace kestrova {
namespace {

constexpr std::size_t npos = std::string::npos;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

}  // namespace

IniDocument::Line IniDocument::ParseLine(std::string text) {
    Line line;
    const std::string_view all = text;
    const auto at = [&all](std::string_view part) {
        return static_cast<std::uint32_t>(part.data() - all.data());
    };
    const std::string_view trimmed = Trim(all);
    if (!trimmed.empty() && trimmed.front() == '[') {
        if (const auto close = trimmed.find(']'); close != npos) {
            const std::string_view name = Trim(trimmed.substr(1, close - 1));
            line.kind = Line::Kind::Section;
            line.nameAt = at(name);
            line.nameLength = static_cast<std::uint32_t>(name.size());
        }
    } else if (!trimmed.empty() && trimmed.front() != ';') {
        if (const auto eq = trimmed.find('='); eq != npos && eq > 0) {
            const std::string_view name = Trim(trimmed.substr(0, eq));
            const std::string_view value = Trim(trimmed.substr(eq + 1));
            line.kind = Line::Kind::Key;
            line.nameAt = at(name);
            line.nameLength = static_cast<std::uint32_t>(name.size());
            line.valueAt = at(value);
            line.valueLength = static_cast<std::uint32_t>(value.size());
        }
    }
    line.text = std::move(text);
    return line;
}

std::string IniDocument::IndexKey(std::string_view section, std::string_view key) {
    // The section's length first, so no pair of names can run together into another pair.
    return IntToText(static_cast<std::int64_t>(section.size())) + ':' + Lower(section) + Lower(key);
}

std::uint32_t IniDocument::Append(Line line) {
    const auto id = static_cast<std::uint32_t>(lines_.size());
    lines_.push_back(std::move(line));
    if (last_ == None) {
        first_ = id;
    } else {
        lines_[last_].next = id;
    }
    last_ = id;
    return id;
}

std::uint32_t IniDocument::InsertAfter(std::uint32_t at, Line line) {
    const auto id = static_cast<std::uint32_t>(lines_.size());
    line.next = lines_[at].next;
    lines_.push_back(std::move(line));
    lines_[at].next = id;
    if (last_ == at) last_ = id;
    return id;
}

IniDocument::IniDocument(std::filesystem::path path, Link link) : path_(std::move(path)) {
    const auto refuse = [this](const char* why) {
        throw FileError("Cannot open file " + Utf8Of(path_) + why);
    };
    std::string content;
    switch (ReadRegularFile(path_, link == Link::Follow, MaxFileSize, content)) {
        case FileRead::Done: break;
        // A missing file is an empty document, and so is a link that is to be replaced.
        case FileRead::Missing: return;
        case FileRead::TooLarge: refuse(": larger than 16 MiB"); break;
        case FileRead::Failed: refuse(""); break;
    }

    // Refused before any line is taken apart, so neither memory nor time grows with the lines.
    const auto ends = static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n'));
    const std::size_t lines = ends + (content.empty() || content.back() == '\n' ? 0 : 1);
    static_assert(MaxLines == 16384, "the refusal names the limit");
    if (lines > MaxLines) refuse(": more than 16384 lines");
    lines_.reserve(lines);
    std::string section;            // lower-case name of the section the lines belong to
    SectionPlace* place = nullptr;  // set while inside the first section of its name
    bool inSection = false;         // lines before the first header belong to none
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == npos) end = content.size();
        std::string text = content.substr(start, end - start);
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const std::uint32_t id = Append(ParseLine(std::move(text)));
        const Line& line = lines_[id];
        if (line.kind == Line::Kind::Section) {
            inSection = true;
            section = Lower(line.Name());
            const auto [found, added] = sections_.try_emplace(section, SectionPlace{id, id});
            place = added ? &found->second : nullptr;
        } else {
            if (inSection && line.kind == Line::Kind::Key) {
                keys_.try_emplace(IndexKey(section, line.Name()), id);  // the first one counts
            }
            if (place != nullptr && !Trim(line.text).empty()) place->last = id;
        }
        start = end + 1;
    }
}

std::uint32_t IniDocument::FindKey(std::string_view section, std::string_view key) const {
    const auto found = keys_.find(IndexKey(section, key));
    return found == keys_.end() ? None : found->second;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
    const std::uint32_t i = FindKey(section, key);
    return std::string(i == None ? fallback : lines_[i].Value());
}

std::int32_t IniDocument::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t fallback) const {
    const std::uint32_t i = FindKey(section, key);
    if (i == None) return fallback;
    return TryTextToInt(lines_[i].Value()).value_or(fallback);
}

bool IniDocument::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

double IniDocument::ReadFloat(std::string_view section, std::string_view key,
                              double fallback) const {
    return TextToDouble(ReadString(section, key, DoubleToText(fallback)));
}

void IniDocument::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    const auto keyLine = [](std::string_view name, std::string_view text) {
        Line line;
        line.kind = Line::Kind::Key;
        line.text.reserve(name.size() + 1 + text.size());
        line.text.append(name).append("=").append(text);
        line.nameLength = static_cast<std::uint32_t>(name.size());
        line.valueAt = line.nameLength + 1;
        line.valueLength = static_cast<std::uint32_t>(text.size());
        return line;
    };

    std::string index = IndexKey(section, key);
    if (const auto found = keys_.find(index); found != keys_.end()) {
        // Replaced in place, the key keeping its spelling.
        Line& line = lines_[found->second];
        Line replaced = keyLine(line.Name(), value);
        replaced.next = line.next;
        line = std::move(replaced);
        return;
    }

    if (const auto place = sections_.find(Lower(section)); place != sections_.end()) {
        // After the section's last non-blank line, so blank lines before the next section stay
        // there.
        const std::uint32_t id = InsertAfter(place->second.last, keyLine(key, value));
        place->second.last = id;
        keys_.emplace(std::move(index), id);
        return;
    }

    Line heading;
    heading.kind = Line::Kind::Section;
    // Appended piece by piece: "[" + std::string(...) draws a false -Wrestrict from GCC 12 at -O3.
    heading.text = "[";
    heading.text += section;
    heading.text += ']';
    heading.nameAt = 1;
    heading.nameLength = static_cast<std::uint32_t>(section.size());
    const std::uint32_t header = Append(std::move(heading));
    const std::uint32_t id = Append(keyLine(key, value));
    sections_.emplace(Lower(section), SectionPlace{header, id});
    keys_.emplace(std::move(index), id);
}

void IniDocument::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    WriteString(section, key, IntToText(value));
}

void IniDocument::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void IniDocument::WriteFloat(std::string_view section, std::string_view key, double value) {
    WriteString(section, key, DoubleToText(value));
}

void IniDocument::Save() const {
    std::string content;
    for (std::uint32_t i = first_; i != None; i = lines_[i].next) {
        content += lines_[i].text;
        content += "\r\n";
    }

    if (!ReplaceFileContent(path_, content)) throw FileError("Cannot create file " + Utf8Of(path_));
}

}  // namespace kestrova
