#include "common/utf8_path.h"

#include <type_traits>

namespace kestrova {

namespace fs = std::filesystem;

// Systems whose paths are bytes take the text as it is.
constexpr bool PathsAreBytes = std::is_same_v<fs::path::value_type, char>;

fs::path PathFromUtf8(std::string_view text) {
    if constexpr (PathsAreBytes) {
        return fs::path(text);
    } else {
        try {
            return fs::path(std::u8string(text.begin(), text.end()));
        } catch (const fs::filesystem_error&) {
            // Not UTF-8: a name typed into a settings file in the ANSI code page, read as
            // Windows programs always read such text.
            return fs::path(text);
        }
    }
}

std::string Utf8Of(const fs::path& path) {
    if constexpr (PathsAreBytes) {
        return path.string();
    } else {
        const std::u8string text = path.u8string();
        return {text.begin(), text.end()};
    }
}

}  // namespace kestrova
