#include "support/temp_folder.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

namespace kestrova::test {

namespace fs = std::filesystem;

TempFolder::TempFolder(std::string_view prefix) {
    std::string pattern = (fs::temp_directory_path() / prefix).string() + "_XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw fs::filesystem_error("cannot make a temporary folder", pattern,
                                   std::error_code(errno, std::generic_category()));
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code error;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path_, error);
}

void TempFolder::Clear() const {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path_, error)) {
        fs::remove_all(entry.path(), error);
    }
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        throw fs::filesystem_error("cannot write", path, std::make_error_code(std::errc::io_error));
    }
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

ScopedUmask::ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}

ScopedUmask::~ScopedUmask() { ::umask(previous_); }

}  // namespace kestrova::test
