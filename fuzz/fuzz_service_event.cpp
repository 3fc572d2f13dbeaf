// AppService::ServiceEvent with any pair, on a core started in a scratch folder holding the
// shipped configuration files, with a fake window and a fake serial line.
//
// Object names are drawn from the real vocabulary (every axis control, the mode buttons, the
// port list, the parameter file events and the restore preview's answer, the debug controls) or
// random; event texts are "OnClick", "ForceRefresh", "Restore", "Cancel", numbers of every size
// or random. The parameter file events always name a file
// inside the scratch folder (a fuzzed parameter file, a missing one, a folder, the tag file).
// Ticks, replies from the line, and events sent from inside display commands (as the window's
// handlers do) are mixed in; the core is stopped at the end, writing its files.
//
// Checked: only conversion and file errors leave the core; its state machines stay in their
// ranges; point values and the parameter buffer stay finite numbers.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/errors.h"
#include "core/app_service.h"
#include "core/ui_names.h"
#include "fuzz_support.h"
#include "support/fake_port_catalogue.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

const test::TempFolder& Scratch() {
    static const test::TempFolder folder("kestrova_fuzz");
    return folder;
}

struct ShippedFile {
    const char* name;
    std::string content;
};

std::vector<ShippedFile>& ShippedFiles() {
    static std::vector<ShippedFile> files = [] {
        std::vector<ShippedFile> f;
        for (const char* name :
             {"Kestrova_Interface.INI", "KESTROVA_001.CG0", "KESTROVA_001.TG1"}) {
            f.push_back({name, test::ReadText(std::filesystem::path(KESTROVA_DATA_DIR) / name)});
            FUZZ_CHECK(!f.back().content.empty());
        }
        return f;
    }();
    return files;
}

const std::vector<std::string>& ObjectNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n = {"ButtonModeEnhanced",
                                      "ButtonModeLegacy",
                                      "CommsSelect",
                                      "FileSave_Selected",
                                      "FileOpen_Selected",
                                      "ButtonDebugAppInfo",
                                      "DebugAction",
                                      "DebugPoint",
                                      "ButtonPan_",
                                      "CommsSelectOpened",
                                      "RestorePreview_Selected"};
        for (const AxisEventNames& axis : AxisEventTable) {
            for (std::string_view name :
                 {axis.axisButton, axis.posEntry, axis.negEntry, axis.posInc, axis.posDec,
                  axis.posTrackValue, axis.negInc, axis.negDec, axis.negTrackValue}) {
                n.emplace_back(name);
            }
        }
        return n;
    }();
    return names;
}

struct Pair {
    std::string object;
    std::string event;
};

Pair MakePair(FuzzedDataProvider& input) {
    Pair pair;
    pair.object =
        input.ConsumeIntegralInRange<int>(0, 7) == 0
            ? input.ConsumeRandomLengthString(24)
            : ObjectNames()[input.ConsumeIntegralInRange<std::size_t>(0, ObjectNames().size() - 1)];
    if (pair.object == "FileSave_Selected" || pair.object == "FileOpen_Selected") {
        // Never a path outside the scratch folder, however the name came about.
        const char* file = input.PickValueInArray<const char*>(
            {"a.PRM", "a.PRM", "b.PRM", "missing/c.PRM", "folder.PRM", "KESTROVA_001.TG1"});
        pair.event = (Scratch().Path() / file).string();
        return pair;
    }
    if (pair.object == "RestorePreview_Selected" && input.ConsumeBool()) {
        pair.event = input.ConsumeBool() ? event_texts::Restore : event_texts::Cancel;
        return pair;
    }
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: pair.event = event_texts::OnClick; break;
        case 1: pair.event = input.ConsumeBool() ? event_texts::ForceRefresh : "onclick"; break;
        default: pair.event = NumberishText(input); break;
    }
    return pair;
}

class Window final : public Display {
public:
    AppService* core = nullptr;
    FuzzedDataProvider* input = nullptr;
    int depth = 0;
    std::size_t calls = 0;

    void DisplayUpdate(std::string_view key, std::string_view value) override {
        ++calls;
        FUZZ_CHECK(!key.empty());
        (void)value;
        // A display command that moves the focus or a track bar raises a window handler that
        // reports to the core before the command returns. Its errors travel out through here.
        if (core == nullptr || depth >= 2 || input->ConsumeIntegralInRange<int>(0, 15) != 0) return;
        ++depth;
        struct Leave {
            int& d;
            ~Leave() { --d; }
        } leave{depth};
        const Pair pair = MakePair(*input);
        core->ServiceEvent(pair.object, pair.event);
    }
};

void Check(const AppService& core) {
    const CoreState& s = core.State();
    FUZZ_CHECK(s.Comms >= CommsState::None && s.Comms <= CommsState::Good);
    FUZZ_CHECK(s.RestoreStepNumber <= RestoreLastStep);
    FUZZ_CHECK(s.RestoreStepNumber == 0 || !s.Verification.active);
    for (double v : s.CalibrationBuffer) FUZZ_CHECK(std::isfinite(v));
    for (const PointRecord& p : core.Points().PointTable())
        FUZZ_CHECK(std::isfinite(p.ScaledValue));
}

template <class Action>
void Expected(Action&& action) {
    try {
        action();
    } catch (const ConversionError&) {
    } catch (const FileError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Scratch().Clear();
    for (const ShippedFile& f : ShippedFiles())
        test::WriteText(Scratch().Path() / f.name, f.content);
    std::filesystem::create_directory(Scratch().Path() / "folder.PRM");

    test::FakeSerialLine line;
    AnswerFrom(input, line);
    Window window;
    window.input = &input;
    PlainWindowPlacement placement;
    test::FakePortCatalogue catalogue;
    catalogue.present.push_back({"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_X-if00-port0", "0403",
                                 "6001", "FTDI", "FT232R USB UART", "X", "ftdi_sio"});
    auto core = std::make_unique<AppService>(window, placement, line, catalogue,
                                             Scratch().Path() / "Kestrova_Interface");
    core->CoreStart();
    FUZZ_CHECK(core->StartupError().empty());
    window.core = core.get();

    int ticksLeft = 5000;
    for (int op = 0; op < 300 && ticksLeft > 0 && input.remaining_bytes() > 0; ++op) {
        switch (input.ConsumeIntegralInRange<int>(0, 9)) {
            case 0: {
                const int ticks = input.ConsumeIntegralInRange<int>(1, 50);
                Expected([&] {
                    for (int t = 0; t < ticks; ++t) core->SystemTick();
                });
                ticksLeft -= ticks;
                break;
            }
            case 1: {
                const int ticks = input.ConsumeIntegralInRange<int>(1, 50);
                Expected([&] {
                    for (int t = 0; t < ticks; ++t) core->CommsTick();
                });
                ticksLeft -= ticks;
                break;
            }
            case 2: ArriveReply(input, line, input.ConsumeIntegralInRange<int>(0, 7) == 0); break;
            case 3: ArriveBytes(input, line, 64); break;
            case 4:  // a parameter file of any content for the restore to read
                test::WriteText(Scratch().Path() / "a.PRM", input.ConsumeRandomLengthString(2048));
                break;
            case 5:  // the device goes away, or the system reports devices coming and going
                if (input.ConsumeBool()) line.pendingErrors |= CE_DEVICE_GONE;
                catalogue.changed = input.ConsumeBool();
                break;
            default: {
                const Pair pair = MakePair(input);
                Expected([&] { core->ServiceEvent(pair.object, pair.event); });
                break;
            }
        }
        Check(*core);
    }

    window.core = nullptr;
    Expected([&] { core->CoreStop(); });
    return 0;
}
