#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/errors.h"
#include "points/tag_file.h"
#include "support/internals_probe.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

const char* const PointKeys[] = {
    "RawValue",  "Name",        "Address",   "Mem_Type",  "Internal",    "Pt_Flags",
    "ScaleMult", "ScaleOffset", "ScaleMin",  "ScaleMax",  "ScaledValue", "Msg_Flags",
    "Network_0", "Network_1",   "Network_2", "Network_3", "Read_Idx",    "Write_Idx"};

class TagFileTest : public ::testing::Test {
protected:
    fs::path File() const { return dir_ / "KESTROVA_001.TG1"; }
    void Write(const std::string& text) const { test::WriteText(File(), text); }
    std::string Read() const { return test::ReadText(File()); }
    // Lines of the file, without their CR LF.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(Read());
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    void Load() { tags_.LoadPoints(db_, "KESTROVA_001", dir_); }
    bool Save() { return tags_.SavePoints(db_, "KESTROVA_001"); }
    void Reload() {
        db_ = PointDatabase{};
        tags_ = TagFile{};
        Load();
    }

    test::TempFolder folder_{"kestrova_points"};
    const fs::path dir_ = folder_.Path();
    PointDatabase db_;
    TagFile tags_;
};

TEST_F(TagFileTest, TitleOnlyFileLoadsDefaultsAndSavesEveryPoint) {
    Write("[TITLE]\r\nVersion=1201\r\n");
    Load();
    EXPECT_EQ(tags_.TagFileVersion, 1201);
    EXPECT_EQ(tags_.TagFileName(), "KESTROVA_001.TG1");
    const char* system[] = {"_ZEL_System",   "_ZEL_Simulator", "_ZEL_System02",
                            "_ZEL_System03", "_ZEL_System04",  "_ZEL_HeartBeat"};
    for (int i = 0; i < MaxPoints; ++i) {
        const PointRecord& p = db_.PointTable()[i];
        EXPECT_EQ(db_.PointName(i), i < 6 ? system[i] : "") << i;
        EXPECT_EQ(p.ScaleMult, 1.0);
        EXPECT_EQ(p.ScaleMin, -66000.0);
        EXPECT_EQ(p.Network_2, -1);
        EXPECT_EQ(p.Write_Idx, -1);
    }

    EXPECT_TRUE(Save());
    EXPECT_FALSE(tags_.IsOpen());
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u + 40u * 19u);
    EXPECT_EQ(lines[0], "[TITLE]");
    EXPECT_EQ(lines[1], "Version=1201");
    EXPECT_EQ(lines[2], "Update=2017-03-29");
    for (int n = 0; n < MaxPoints; ++n) {
        const std::size_t at = 3 + static_cast<std::size_t>(n) * 19;
        EXPECT_EQ(lines[at], std::string("[") + TagFile::PointSectionName(n) + "]");
        for (std::size_t k = 0; k < 18; ++k)
            EXPECT_EQ(lines[at + 1 + k].rfind(std::string(PointKeys[k]) + "=", 0), 0u)
                << lines[at + 1 + k];
    }
    EXPECT_EQ(lines[3], "[POINT00000]");
    EXPECT_EQ(lines[5], "Name=_ZEL_System");
    EXPECT_EQ(lines[3 + 39 * 19], "[POINT00039]");
    EXPECT_EQ(lines[3 + 1 + 8], "ScaleMin=-66000");
    EXPECT_EQ(lines[3 + 1 + 6], "ScaleMult=1");
    EXPECT_NE(Read().find("\r\n"), std::string::npos);
}

TEST_F(TagFileTest, FieldsRoundTripThroughTheFile) {
    Write(
        "[TITLE]\r\nVersion=1201\r\n"
        "[POINT00001]\r\nName=Anything\r\n"
        "[POINT00003]\r\nScaleMult=0.5\r\nScaleMin=-1E3\r\nRawValue=12x\r\nNetwork_1=abc\r\n"
        "Msg_Flags=3\r\nRead_Idx=4\r\n");
    Load();
    EXPECT_EQ(db_.PointName(1), "_ZEL_Simulator");
    const PointRecord& p3 = db_.PointTable()[3];
    EXPECT_EQ(p3.ScaleMult, 0.5);
    EXPECT_EQ(p3.ScaleMin, -1000.0);
    EXPECT_EQ(p3.RawValue, 0);  // not an integer: default
    EXPECT_EQ(p3.Network_1, -1);
    EXPECT_EQ(p3.Msg_Flags, 3u);  // requests saved standing come back standing
    EXPECT_EQ(p3.Read_Idx, 4);

    PointRecord& p = InternalsProbe::PointTable(db_)[20];
    db_.SetPointName(20, std::string(70, 'z'));
    p.Pt_Flags = 0x81000040;  // raw-changed, network read, type 64
    p.Msg_Flags = 0x80020001;
    p.RawValue = -123456;
    p.ScaledValue = -0.25;
    p.ScaleOffset = 1e-7;
    p.Network_0 = 2;
    EXPECT_TRUE(Save());
    EXPECT_NE(Read().find("Pt_Flags=-2130706368\r\n"), std::string::npos);
    EXPECT_NE(Read().find("ScaleMin=-1000\r\n"), std::string::npos);
    EXPECT_NE(Read().find("Name=_ZEL_Simulator\r\n"), std::string::npos);

    Reload();
    const PointRecord& q = db_.PointTable()[20];
    EXPECT_EQ(q.Pt_Flags, 0x81000040u);
    EXPECT_EQ(q.Msg_Flags, 0x80020001u);
    EXPECT_EQ(q.RawValue, -123456);
    EXPECT_EQ(q.ScaledValue, -0.25);
    EXPECT_EQ(q.ScaleOffset, 1e-7);
    EXPECT_EQ(q.Network_0, 2);
    EXPECT_EQ(db_.PointName(20), std::string(63, 'z'));
    EXPECT_EQ(db_.PointTable()[3].ScaleMult, 0.5);
}

TEST_F(TagFileTest, UnknownContentAndCaseVariantsSurviveLoadAndSave) {
    const std::vector<std::string> original = {
        "; deployment notes",
        "[Vendor]",
        "Colour=blue",
        "",
        "[title]",
        "version=1201",
        "[pOiNt00007]",
        "rawvalue=42",
        "NAME=Pan_PosAdjust",
        "Comment=keep me",
        "scalemult=0.25",
        "",
        "[Trailer]",
        "x=1",
    };
    std::string text;
    for (const auto& line : original) text += line + "\r\n";
    Write(text);
    Load();
    EXPECT_EQ(tags_.TagFileVersion, 1201);
    EXPECT_EQ(db_.PointTable()[7].RawValue, 42);
    EXPECT_EQ(db_.PointName(7), "Pan_PosAdjust");
    EXPECT_EQ(db_.PointTable()[7].ScaleMult, 0.25);

    InternalsProbe::PointTable(db_)[7].RawValue = 43;
    EXPECT_TRUE(Save());
    const std::vector<std::string> lines = Lines();
    // Every original line is still there, in its order, except the one value that changed.
    std::size_t at = 0;
    for (std::string line : original) {
        if (line == "rawvalue=42") line = "rawvalue=43";
        while (at < lines.size() && lines[at] != line) ++at;
        EXPECT_LT(at, lines.size()) << "lost or moved: " << line;
        ++at;
    }
    const auto count = [&](const std::string& wanted) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.rfind(wanted, 0) == 0; });
    };
    EXPECT_EQ(count("[POINT00007]"), 0);  // the existing section was used, not duplicated
    EXPECT_EQ(count("RawValue="), 39);    // point 7 keeps its own spelling
    EXPECT_EQ(count("rawvalue="), 1);
    EXPECT_EQ(count("[TITLE]"), 0);
    EXPECT_EQ(count("Update=2017-03-29"), 1);
    EXPECT_EQ(count("Version="), 0);
    EXPECT_EQ(count("version=1201"), 1);
    // Keys the file lacked were added inside the point 7 section, before the blank line.
    const auto section = std::find(lines.begin(), lines.end(), "[pOiNt00007]");
    const auto trailer = std::find(lines.begin(), lines.end(), "[Trailer]");
    EXPECT_NE(std::find(section, trailer, "Write_Idx=-1"), trailer);
    EXPECT_EQ(*(trailer - 1), "");
}

TEST_F(TagFileTest, BadFloatStopsTheLoadAndTheFileIsNeverWrittenBack) {
    std::string text = "[TITLE]\r\nVersion=1201\r\n";
    for (int n = 0; n < MaxPoints; ++n) {
        text += "[" + TagFile::PointSectionName(n) + "]\r\nRawValue=" + std::to_string(100 + n) +
                "\r\nName=P" + std::to_string(n) + "\r\nScaleMult=" + (n == 7 ? "abc" : "2") +
                "\r\nNetwork_0=2\r\n";
    }
    Write(text);
    const std::string before = Read();

    try {
        Load();
        ADD_FAILURE() << "the bad value was accepted";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
    }
    EXPECT_TRUE(tags_.LoadFailed());
    EXPECT_EQ(tags_.LoadError(), "'abc' is not a valid floating point value");
    EXPECT_EQ(tags_.TagFileVersion, 1201);
    for (int n = 0; n < 7; ++n) {
        EXPECT_EQ(db_.PointTable()[n].RawValue, 100 + n);
        EXPECT_EQ(db_.PointTable()[n].ScaleMult, 2.0);
        EXPECT_EQ(db_.PointTable()[n].Network_0, 2);
    }
    // Point 7 took the keys read before the bad one; everything after it stays cleared.
    EXPECT_EQ(db_.PointTable()[7].RawValue, 107);
    EXPECT_EQ(db_.PointTable()[7].ScaleMult, 1.0);
    EXPECT_EQ(db_.PointTable()[7].Network_0, -1);
    for (int n = 8; n < MaxPoints; ++n) {
        EXPECT_EQ(db_.PointTable()[n].RawValue, 0);
        EXPECT_EQ(db_.PointName(n), "");
        EXPECT_EQ(db_.PointTable()[n].Network_0, -1);
    }

    EXPECT_FALSE(Save());
    EXPECT_FALSE(tags_.IsOpen());
    EXPECT_EQ(Read(), before);

    // An empty value is not a number either; a good file afterwards loads and saves again.
    Write("[TITLE]\r\nVersion=1201\r\n[POINT00000]\r\nScaleMax=\r\n");
    EXPECT_THROW(Load(), ConversionError);
    Write("[TITLE]\r\nVersion=1201\r\n");
    Load();
    EXPECT_FALSE(tags_.LoadFailed());
    EXPECT_TRUE(Save());
    EXPECT_NE(Read().find("[POINT00039]"), std::string::npos);
}

TEST_F(TagFileTest, ApplicationSelectionNamesAndMissingFiles) {
    // No application: the table is cleared, nothing is opened or written.
    InternalsProbe::PointTable(db_)[3].RawValue = 9;
    tags_.LoadPoints(db_, "NoApplicationSelected", dir_);
    EXPECT_EQ(db_.PointTable()[3].RawValue, 0);
    EXPECT_EQ(db_.PointTable()[3].ScaleMult, 1.0);
    EXPECT_FALSE(tags_.IsOpen());
    EXPECT_FALSE(tags_.SavePoints(db_, "NoApplicationSelected"));
    EXPECT_TRUE(fs::is_empty(dir_));

    // The comparison is exact: another spelling is an application name like any other.
    tags_.LoadPoints(db_, "noapplicationselected", dir_);
    EXPECT_EQ(tags_.TagFileName(), "noapplicationselected.TG1");
    EXPECT_TRUE(tags_.IsOpen());

    EXPECT_EQ(TagFile::MakeTagFileName("KESTROVA_001.CG0"), "KESTROVA_001.TG1");
    EXPECT_EQ(TagFile::MakeTagFileName("a.b.c"), "a.b.TG1");
    EXPECT_EQ(TagFile::PointSectionName(39), "POINT00039");

    // Missing file: defaults and version 0; loading creates nothing. A folder given with its
    // trailing separator names the same file.
    tags_ = TagFile{};
    tags_.LoadPoints(db_, "KESTROVA_001", dir_.string() + "/");
    EXPECT_EQ(tags_.TagFileVersion, 0);
    EXPECT_EQ(db_.PointName(5), "_ZEL_HeartBeat");
    EXPECT_FALSE(fs::exists(File()));
    EXPECT_EQ(tags_.Document()->Path(), File());

    // A file that cannot be written is reported, and the document is released all the same.
    tags_.LoadPoints(db_, "KESTROVA_001", dir_ / "missing_folder");
    EXPECT_THROW(tags_.SavePoints(db_, "KESTROVA_001"), FileError);
    EXPECT_FALSE(tags_.IsOpen());
}

}  // namespace
}  // namespace kestrova
