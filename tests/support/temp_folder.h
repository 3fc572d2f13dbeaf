#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrova::test {

// A fresh folder of its own under the temporary folder ($TMPDIR), removed with everything in it
// when it goes (after giving back the write permission a test may have taken away).
class TempFolder {
public:
    explicit TempFolder(std::string_view prefix = "kestrova");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

    // Empties the folder.
    void Clear() const;

private:
    std::filesystem::path path_;
};

// The whole file as bytes (empty when it cannot be read).
std::string ReadText(const std::filesystem::path& path);

// Replaces the file with text, byte for byte; throws when it cannot be written.
void WriteText(const std::filesystem::path& path, std::string_view text);

// The permission bits of what is at the path itself (a symbolic link is not followed).
mode_t ModeOf(const std::filesystem::path& path);

// Sets the process's umask while it lives, and gives the old one back.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask);
    ~ScopedUmask();
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t previous_;
};

}  // namespace kestrova::test
