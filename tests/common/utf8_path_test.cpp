#include "common/utf8_path.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace kestrova {
namespace {

namespace fs = std::filesystem;

// What the system is handed for a name: its UTF-8 bytes on Linux, UTF-16 on Windows.
template <typename Native>
Native NativeName(const char* utf8, const wchar_t* wide) {
    if constexpr (std::is_same_v<Native, std::string>) {
        return utf8;
    } else {
        return wide;
    }
}

TEST(Utf8Path, NamesReachTheSystemWhole) {
    const struct {
        const char* utf8;
        const wchar_t* wide;
    } rows[] = {
        {"Backups/a.PRM", L"Backups/a.PRM"},
        {"\xC3\xA9t\xC3\xA9.PRM", L"\u00e9t\u00e9.PRM"},            // Latin-1
        {"Kalibrierung-\xCE\xA9.PRM", L"Kalibrierung-\u03a9.PRM"},  // Greek
        {"\xE6\xA0\xA1\xE5\x87\x86.PRM", L"\u6821\u51c6.PRM"},      // CJK
        {"wheel-\xF0\x9F\x8E\xA5.PRM", L"wheel-\U0001F3A5.PRM"},    // emoji (a pair)
    };
    for (const auto& row : rows) {
        const fs::path path = PathFromUtf8(row.utf8);
        EXPECT_EQ(path.native(), NativeName<fs::path::string_type>(row.utf8, row.wide)) << row.utf8;
        EXPECT_EQ(Utf8Of(path), row.utf8);
    }
}

TEST(Utf8Path, TextThatIsNoUtf8IsReadAsBefore) {
    const std::string ansi = "\xE9t\xE9.PRM";  // "été" in the Windows Latin code page
    EXPECT_EQ(PathFromUtf8(ansi), fs::path(ansi));
}

}  // namespace
}  // namespace kestrova
