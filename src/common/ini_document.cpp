#include "common/ini_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "common/errors.h"
#include "common/number_text.h"

namespace kestrova {
namespace {

constexpr std::size_t npos = std::string::npos;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

IniDocument::Line IniDocument::ParseLine(std::string text) {
    Line line;
    const std::string_view trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.front() == '[') {
        if (const auto close = trimmed.find(']'); close != npos) {
            line.kind = Line::Kind::Section;
            line.name = std::string(Trim(trimmed.substr(1, close - 1)));
        }
    } else if (!trimmed.empty() && trimmed.front() != ';') {
        if (const auto eq = trimmed.find('='); eq != npos && eq > 0) {
            line.kind = Line::Kind::Key;
            line.name = std::string(Trim(trimmed.substr(0, eq)));
            line.value = std::string(Trim(trimmed.substr(eq + 1)));
        }
    }
    line.text = std::move(text);
    return line;
}

IniDocument::IniDocument(std::filesystem::path path) : path_(std::move(path)) {
    std::error_code error;
    if (!std::filesystem::exists(path_, error)) return;  // a missing file is an empty document

    const auto refuse = [this](const char* why) {
        throw FileError("Cannot open file " + path_.string() + why);
    };
    if (!std::filesystem::is_regular_file(path_, error)) refuse("");
    const auto size = std::filesystem::file_size(path_, error);
    if (error) refuse("");
    if (size > MaxFileSize) refuse(": larger than 16 MiB");

    std::ifstream in(path_, std::ios::binary);
    std::string content(static_cast<std::size_t>(size), '\0');
    if (!in || !in.read(content.data(), static_cast<std::streamsize>(content.size()))) refuse("");

    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == npos) end = content.size();
        std::string text = content.substr(start, end - start);
        if (!text.empty() && text.back() == '\r') text.pop_back();
        lines_.push_back(ParseLine(std::move(text)));
        start = end + 1;
    }
}

std::size_t IniDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Kind::Section && SameName(lines_[i].name, section)) return i;
    }
    return npos;
}

std::size_t IniDocument::FindKey(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Line::Kind::Section) {
            inSection = SameName(line.name, section);
        } else if (inSection && line.kind == Line::Kind::Key && SameName(line.name, key)) {
            return i;
        }
    }
    return npos;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
    const std::size_t i = FindKey(section, key);
    return i == npos ? std::string(fallback) : lines_[i].value;
}

std::int32_t IniDocument::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t fallback) const {
    const std::size_t i = FindKey(section, key);
    if (i == npos) return fallback;
    return TryTextToInt(lines_[i].value).value_or(fallback);
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
    if (const std::size_t i = FindKey(section, key); i != npos) {
        Line& line = lines_[i];
        line.value = std::string(value);
        line.text = line.name + "=" + line.value;
        return;
    }
    Line added;
    added.kind = Line::Kind::Key;
    added.name = std::string(key);
    added.value = std::string(value);
    added.text = added.name + "=" + added.value;

    std::size_t header = FindSection(section);
    if (header == npos) {
        Line heading;
        heading.kind = Line::Kind::Section;
        heading.name = std::string(section);
        heading.text = "[" + heading.name + "]";
        lines_.push_back(std::move(heading));
        lines_.push_back(std::move(added));
        return;
    }
    // After the section's last non-blank line, so blank lines before the next section stay there.
    std::size_t insertAt = header + 1;
    for (std::size_t i = header + 1; i < lines_.size() && lines_[i].kind != Line::Kind::Section; ++i) {
        if (!Trim(lines_[i].text).empty()) insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(added));
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
    for (const Line& line : lines_) {
        content += line.text;
        content += "\r\n";
    }

    const auto fail = [this]() { throw FileError("Cannot create file " + path_.string()); };
    const std::filesystem::path folder =
        path_.has_parent_path() ? path_.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + path_.filename().string() + ".XXXXXX")).string();
    // A read-only file stays as it is, as the operator protected it.
    if (::access(path_.c_str(), F_OK) == 0 && ::access(path_.c_str(), W_OK) != 0) fail();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) fail();

    // Keep the old file's permissions; a new file gets the usual ones.
    struct stat old {};
    mode_t mode = 0666;
    if (::stat(path_.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    const bool written = WriteAll(fd, content) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(pattern.c_str(), path_.c_str()) != 0) {
        ::unlink(pattern.c_str());
        fail();
    }
}

}  // namespace kestrova
