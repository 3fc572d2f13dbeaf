// Bad and hostile files as the INI document reads them: binary garbage, broken section headers,
// keys without "=", duplicates, non-ASCII names, very long lines and very many lines. What each
// case does is documented in the README ("Bad and hostile files").

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <filesystem>
#include <sstream>
#include <string>

#include "common/errors.h"
#include "common/ini_document.h"
#include "common/number_text.h"
#include "support/alloc_counter.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

class BadFileTest : public ::testing::Test {
protected:
    fs::path File(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        test::WriteText(path, content);
        return path;
    }
    test::TempFolder folder_{"bad_file_test"};
    const fs::path dir_ = folder_.Path();
};

TEST_F(BadFileTest, BinaryGarbageLoadsKeepsItsBytesAndSavesStably) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) % 256));
    const std::string tail("\n[S]\nk=a\0b\n", 11);
    const auto path = File("garbage.ini", garbage + tail);

    IniDocument ini(path);
    EXPECT_EQ(ini.ReadString("S", "k", "-"), std::string("a\0b", 3));  // a NUL is just a byte
    EXPECT_EQ(ini.ReadInteger("Form", "Top", 100), 100);
    EXPECT_THROW(ini.ReadFloat("S", "k", 1.0), ConversionError);

    // Saved untouched: the bytes come back line by line, each line closed with CR LF (a CR
    // already before an LF is not doubled); a second save changes nothing more.
    ini.Save();
    const std::string once = test::ReadText(path);
    std::string expected;
    std::istringstream lines(garbage + tail);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        expected += line + "\r\n";
    }
    EXPECT_EQ(once, expected);
    IniDocument(path).Save();
    EXPECT_EQ(test::ReadText(path), once);
    EXPECT_EQ(IniDocument(path).ReadString("S", "k", "-"), std::string("a\0b", 3));
}

TEST_F(BadFileTest, BrokenHeadersAndKeysWithoutEqualsAreOrdinaryLines) {
    const auto path = File("broken.ini",
                           "Orphan=1\n"  // before any section: read by no one
                           "[Form]\nTop=5\n"
                           "[Application\nName=X\n"     // no "]": not a header
                           "Left\nLeft 7\n=9\n  = 8\n"  // no "=", or nothing before it
                           "[]\nEmpty=yes\n"            // a section may have an empty name
                           "[Comms] trailing words\nPort=3\n"
                           "; Port=4\n");
    IniDocument ini(path);
    EXPECT_EQ(ini.ReadString("", "Orphan", "-"), "-");
    EXPECT_EQ(ini.ReadString("Application", "Name", "-"), "-");
    EXPECT_EQ(ini.ReadString("Form", "Name", "-"), "X");  // still inside [Form]
    EXPECT_EQ(ini.ReadInteger("Form", "Left", 100), 100);
    EXPECT_EQ(ini.ReadString("Form", "", "-"), "-");
    EXPECT_EQ(ini.ReadString("", "Empty", "-"), "yes");
    EXPECT_EQ(ini.ReadInteger("Comms", "Port", 0), 3);  // text after "]" is ignored

    // Writing a name that stood only as a line without "=" adds a real key; the odd lines stay.
    ini.WriteInteger("Form", "Left", 42);
    ini.WriteString("Application", "Name", "Y");  // a new, real section at the end
    ini.Save();
    EXPECT_EQ(test::ReadText(path),
              "Orphan=1\r\n[Form]\r\nTop=5\r\n[Application\r\nName=X\r\nLeft\r\nLeft 7\r\n=9\r\n"
              "  = 8\r\nLeft=42\r\n[]\r\nEmpty=yes\r\n[Comms] trailing words\r\nPort=3\r\n"
              "; Port=4\r\n[Application]\r\nName=Y\r\n");
    const IniDocument again(path);
    EXPECT_EQ(again.ReadInteger("Form", "Left", 0), 42);
    EXPECT_EQ(again.ReadString("Application", "Name", "-"), "Y");
}

TEST_F(BadFileTest, DuplicateSectionsAndKeysFirstWinsAndNewKeysJoinTheFirstSection) {
    const auto path = File("dup.ini", "[S]\nk=1\nK=2\n\n[T]\nx=0\n[s]\nk=3\nj=4\n[S]\nm=5\n");
    IniDocument ini(path);
    EXPECT_EQ(ini.ReadInteger("S", "k", 0), 1);
    EXPECT_EQ(ini.ReadInteger("S", "j", 0), 4);  // the first [s] that holds it
    EXPECT_EQ(ini.ReadInteger("S", "m", 0), 5);
    ini.WriteInteger("S", "j", 40);   // replaced where it stands
    ini.WriteInteger("S", "new", 6);  // after the first section's last line, before its blank line
    ini.Save();
    EXPECT_EQ(
        test::ReadText(path),
        "[S]\r\nk=1\r\nK=2\r\nnew=6\r\n\r\n[T]\r\nx=0\r\n[s]\r\nk=3\r\nj=40\r\n[S]\r\nm=5\r\n");
}

TEST_F(BadFileTest, NonAsciiNamesMatchByteForByteWithOnlyAsciiCaseFolded) {
    const std::string latin1Section = "[F\xF4rm]";  // not valid UTF-8
    const auto path = File("names.ini", "[Fôrm]\nTöp=1\nΩ=omega\n" + latin1Section +
                                            "\nTop=2\n[FÔRM]\nTöp=3\n[\xC3]\n\xFF=\xFE\n");
    IniDocument ini(path);
    EXPECT_EQ(ini.ReadInteger("Fôrm", "Töp", 0), 1);
    EXPECT_EQ(ini.ReadInteger("FôRM", "TöP", 0), 1);  // only A to Z fold
    EXPECT_EQ(ini.ReadInteger("FÔRM", "Töp", 0), 3);  // Ô is not ô
    EXPECT_EQ(ini.ReadString("Fôrm", "Ω", "-"), "omega");
    EXPECT_EQ(ini.ReadInteger("F\xF4rm", "top", 0), 2);
    EXPECT_EQ(ini.ReadString("\xC3", "\xFF", "-"), "\xFE");
    ini.WriteString("Fôrm", "Töp", "é");
    ini.Save();
    EXPECT_EQ(IniDocument(path).ReadString("fôrm", "töp", "-"), "é");
}

TEST_F(BadFileTest, VeryLongLinesAreReadWholeUpToTheSizeLimit) {
    const std::string value(IniDocument::MaxFileSize - 16, 'x');
    const auto path = File("long.ini", "[S]\nk=" + value + "\nn=1\n");
    ASSERT_LE(fs::file_size(path), IniDocument::MaxFileSize);
    IniDocument ini(path);
    EXPECT_EQ(ini.ReadString("S", "k", "").size(), value.size());
    EXPECT_EQ(ini.ReadInteger("S", "n", 0), 1);
    EXPECT_EQ(ini.ReadInteger("S", "k", -1), -1);  // not a number: the default

    // One byte over the limit: refused as a whole, with the path in the message.
    const auto big = File("big.ini", "[S]\nk=" + std::string(IniDocument::MaxFileSize - 5, 'x'));
    ASSERT_EQ(fs::file_size(big), IniDocument::MaxFileSize + 1);
    try {
        IniDocument refused(big);
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file " + big.string() + ": larger than 16 MiB");
    }
}

TEST_F(BadFileTest, LinesBeyondTheLimitAreRefusedAndMemoryStaysNearTheFileSize) {
    // Key lines of 1 KiB ("k00001=vvv...") fill 16 MiB with the most lines allowed.
    constexpr std::size_t Width = IniDocument::MaxFileSize / IniDocument::MaxLines;
    std::string keys = "[S]\n";
    for (int i = 100001; keys.size() + Width <= IniDocument::MaxFileSize; ++i) {
        keys += "k" + IntToText(i).substr(1) + "=" + std::string(Width - 8, 'v') + "\n";
    }
    ASSERT_EQ(std::count(keys.begin(), keys.end(), '\n'), IniDocument::MaxLines);
    struct Row {
        const char* what;
        std::string content;
        bool refused;
        std::string first;  // the value of [S] k00001 when loaded
    };
    const Row rows[] = {
        {"16 MiB of line ends", std::string(IniDocument::MaxFileSize, '\n'), true, ""},
        {"one line too many", std::string(IniDocument::MaxLines, '\n') + "[S]", true, ""},
        {"the most lines, the last without its end",
         std::string(IniDocument::MaxLines - 2, '\n') + "[S]\nk00001=1", false, "1"},
        {"16 MiB of keys", keys, false, std::string(Width - 8, 'v')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto path = File("lines.ini", row.content);
        const std::size_t before = test::AllocatedBytes();
        try {
            IniDocument ini(path);
            EXPECT_FALSE(row.refused);
            EXPECT_EQ(ini.ReadString("s", "K00001", "-"), row.first);
        } catch (const FileError& e) {
            EXPECT_TRUE(row.refused);
            EXPECT_EQ(std::string(e.what()),
                      "Cannot open file " + path.string() + ": more than 16384 lines");
        }
        EXPECT_LT(test::AllocatedBytes() - before, 4 * row.content.size() + 16 * 1024 * 1024);
    }
}

TEST_F(BadFileTest, BlanksCommentsAndLineEnds) {
    const auto path = File("ends.ini",
                           "  [ Form ]  \r\n\tTop\t=\t12\t\r\n;Left=1\r\n"
                           "Mid=a\rb=2\n"  // a lone CR ends no line
                           "Cr=v\r\r\n"    // only one CR is taken off before the LF
                           "Vt=\v5\n"      // only blanks and tabs are trimmed
                           "Last=9");      // no line end at the end of the file
    IniDocument ini(path);
    EXPECT_EQ(ini.ReadInteger("form", "top", 0), 12);
    EXPECT_EQ(ini.ReadInteger("Form", "Left", 0), 0);
    EXPECT_EQ(ini.ReadString("Form", "Mid", "-"), "a\rb=2");
    EXPECT_EQ(ini.ReadString("Form", "Cr", "-"), "v\r");
    EXPECT_EQ(ini.ReadInteger("Form", "Vt", -1), -1);
    EXPECT_EQ(ini.ReadInteger("Form", "Last", 0), 9);
    ini.Save();
    EXPECT_EQ(test::ReadText(path),
              "  [ Form ]  \r\n\tTop\t=\t12\t\r\n;Left=1\r\nMid=a\rb=2\r\nCr=v\r\r\nVt=\v5\r\n"
              "Last=9\r\n");
}

TEST_F(BadFileTest, TheLargestNumbersAreWrittenSoTheyReadBack) {
    // 15 significant digits would round the largest double up to a text out of range, and a
    // file the program saved would then refuse to load.
    const auto path = dir_ / "max.ini";
    IniDocument ini(path);
    ini.WriteFloat("S", "max", DBL_MAX);
    ini.WriteFloat("S", "min", -DBL_MAX);
    ini.WriteFloat("S", "tiny", 4.9406564584124654e-324);
    ini.WriteFloat("S", "usual", 66000.0);
    ini.Save();
    const IniDocument again(path);
    EXPECT_EQ(again.ReadFloat("S", "max", 0.0), DBL_MAX);
    EXPECT_EQ(again.ReadFloat("S", "min", 0.0), -DBL_MAX);
    EXPECT_EQ(again.ReadFloat("S", "tiny", 0.0), 4.9406564584124654e-324);
    EXPECT_EQ(again.ReadString("S", "usual", ""), "66000");  // ordinary values keep 15 digits
    EXPECT_EQ(DoubleToText(1.7976931348623e308), "1.7976931348623e+308");
}

}  // namespace
}  // namespace kestrova
