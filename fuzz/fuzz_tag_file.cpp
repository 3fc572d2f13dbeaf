// The tag file: any bytes as KESTROVA_001.TG1, loaded into a point table, saved and loaded again.
//
// Checked: a load that fails does so with a conversion error only, and is then never written
// back; a load that succeeds, saved and loaded again, gives a table that saves and loads to the
// very same table (the first save normalizes numbers to 15 significant digits and names to 63
// characters); the points keep their system names and zero-terminated names.

#include <cstddef>
#include <cstdint>

#include "common/errors.h"
#include "fuzz_support.h"
#include "points/point_database.h"
#include "points/tag_file.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

constexpr std::string_view Application = "KESTROVA_001";

const test::TempFolder& Scratch() {
    static const test::TempFolder folder("kestrova_fuzz");
    return folder;
}

void CheckSame(const PointDatabase& a, const PointDatabase& b) {
    for (int n = 0; n < MaxPoints; ++n) {
        const PointRecord& p = a.PointTable()[n];
        const PointRecord& q = b.PointTable()[n];
        FUZZ_CHECK(p.RawValue == q.RawValue);
        FUZZ_CHECK(a.PointName(n) == b.PointName(n));
        FUZZ_CHECK(p.Address == q.Address && p.Mem_Type == q.Mem_Type && p.Internal == q.Internal);
        FUZZ_CHECK(p.Pt_Flags == q.Pt_Flags && p.Msg_Flags == q.Msg_Flags);
        FUZZ_CHECK(SameBits(p.ScaleMult, q.ScaleMult) && SameBits(p.ScaleOffset, q.ScaleOffset));
        FUZZ_CHECK(SameBits(p.ScaleMin, q.ScaleMin) && SameBits(p.ScaleMax, q.ScaleMax));
        FUZZ_CHECK(SameBits(p.ScaledValue, q.ScaledValue));
        FUZZ_CHECK(p.Network_0 == q.Network_0 && p.Network_1 == q.Network_1 &&
                   p.Network_2 == q.Network_2 && p.Network_3 == q.Network_3);
        FUZZ_CHECK(p.Read_Idx == q.Read_Idx && p.Write_Idx == q.Write_Idx);
    }
}

void CheckLoaded(const PointDatabase& db) {
    for (int n = 0; n < MaxPoints; ++n) {
        FUZZ_CHECK(db.PointName(n).size() < PointNameSize);
        if (!TagFile::SystemPointName(n).empty())
            FUZZ_CHECK(db.PointName(n) == TagFile::SystemPointName(n));
        FUZZ_CHECK(std::isfinite(db.PointTable()[n].ScaleMult) &&
                   std::isfinite(db.PointTable()[n].ScaledValue));
    }
}

// Loads the tag file into db; false when the load stopped at a conversion error.
bool Load(TagFile& tags, PointDatabase& db) {
    try {
        tags.LoadPoints(db, Application, Scratch().Path());
    } catch (const ConversionError&) {
        FUZZ_CHECK(tags.LoadFailed());
        return false;
    }
    FUZZ_CHECK(!tags.LoadFailed() && tags.IsOpen());
    CheckLoaded(db);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path path = Scratch().Path() / TagFile::MakeTagFileName(Application);
    const std::string content(reinterpret_cast<const char*>(data), size);
    test::WriteText(path, content);

    TagFile tags;
    PointDatabase first;
    if (!Load(tags, first)) {
        // A half-loaded table is never written over the file.
        FUZZ_CHECK(!tags.SavePoints(first, Application));
        FUZZ_CHECK(test::ReadText(path) == content);
        return 0;
    }
    FUZZ_CHECK(tags.SavePoints(first, Application));
    FUZZ_CHECK(!tags.IsOpen());

    TagFile tags2;
    PointDatabase second;
    // The program's own file must load again.
    FUZZ_CHECK(Load(tags2, second));
    FUZZ_CHECK(tags2.TagFileVersion == tags.TagFileVersion);
    FUZZ_CHECK(tags2.SavePoints(second, Application));
    const std::string saved = test::ReadText(path);

    TagFile tags3;
    PointDatabase third;
    FUZZ_CHECK(Load(tags3, third));
    CheckSame(second, third);
    FUZZ_CHECK(tags3.SavePoints(third, Application));
    FUZZ_CHECK(test::ReadText(path) == saved);
    return 0;
}
