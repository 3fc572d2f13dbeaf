#include "support/temp_folder.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <system_error>

#include "common/file_create.h"

namespace kestrova::test {

namespace fs = std::filesystem;

TempFolder::TempFolder(std::string_view prefix) {
    path_ = MakeTemporaryFolder(fs::temp_directory_path(), std::string(prefix) + "_");
    if (path_.empty()) {
        throw fs::filesystem_error("cannot make a temporary folder", fs::temp_directory_path(),
                                   std::make_error_code(std::errc::io_error));
    }
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
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || !fs::exists(status)) return 0;
    return static_cast<mode_t>(status.permissions() & fs::perms::mask);
}

ScopedUmask::ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}

ScopedUmask::~ScopedUmask() { ::umask(previous_); }

}  // namespace kestrova::test
