// The parameter file load: any bytes as a .PRM file given to LoadParameterFile.
//
// Checked: a load leaves the file untouched; it fails with a conversion error only, and a failed
// load has changed nothing past the failing entry; the values of a good load, saved through
// SaveParameterFile into the same file (which keeps everything else it holds) and loaded again,
// come back as written to 15 significant digits.

#include <cstddef>
#include <cstdint>

#include "common/errors.h"
#include "common/number_text.h"
#include "core/app_service.h"
#include "fuzz_support.h"
#include "support/fake_port_catalogue.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

const test::TempFolder& Scratch() {
    static const test::TempFolder folder("kestrova_fuzz");
    return folder;
}

class NullDisplay final : public Display {
public:
    void DisplayUpdate(std::string_view, std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static NullDisplay display;
    static PlainWindowPlacement window;
    static test::FakeSerialLine line;
    static test::FakePortCatalogue catalogue;
    // The core is not started: the load and save need none of its files.
    AppService core(display, window, line, catalogue, Scratch().Path() / "Kestrova_Interface");

    const std::filesystem::path path = Scratch().Path() / "calibration.PRM";
    const std::string content(reinterpret_cast<const char*>(data), size);
    test::WriteText(path, content);

    // A marker in every entry shows which ones a failed load replaced.
    constexpr double Marker = -12345.5;
    for (int n = 0; n < MaxPoints; ++n) core.Points().SetPointScaled(n, Marker);
    core.SaveParameterFile(Scratch().Path() / "marker.PRM");  // fills the buffer with markers
    test::WriteText(path, content);

    bool loaded = true;
    try {
        core.LoadParameterFile(path);
    } catch (const ConversionError&) {
        loaded = false;
    }
    FUZZ_CHECK(test::ReadText(path) == content);
    const auto buffer = core.State().CalibrationBuffer;
    for (double value : buffer) FUZZ_CHECK(std::isfinite(value));
    if (!loaded) {
        // The failing entry and those after it keep their old values.
        FUZZ_CHECK(buffer[MaxPoints - 1] == Marker);
        return 0;
    }

    for (int n = 0; n < MaxPoints; ++n) {
        core.Points().SetPointScaled(n, buffer[n]);
    }
    core.SaveParameterFile(path);
    try {
        core.LoadParameterFile(path);
    } catch (const ConversionError&) {
        FUZZ_CHECK(!"a saved parameter file does not load");
    }
    for (int n = 0; n < MaxPoints; ++n) {
        const double expected = TextToDouble(DoubleToText(buffer[n]));
        FUZZ_CHECK(SameBits(core.State().CalibrationBuffer[n], expected));
    }
    return 0;
}
