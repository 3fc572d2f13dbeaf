// DashboardDisplay::DisplayUpdate with any key and value: keys drawn from the real vocabulary
// (every axis key, the window keys, the debug keys) or random, values from the texts the keys
// know, numbers of every size, or random. Focus moves and nested display commands from the
// change and focus notifications (as the window's handlers send them through the core) are
// mixed in.
//
// Checked: only conversion errors leave DisplayUpdate; every track bar keeps
// minimum <= position <= maximum; the memo keeps its line limit; the focus is a real element
// or none.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/errors.h"
#include "core/ui_names.h"
#include "fuzz_support.h"
#include "ui/display_state.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

std::string Key(FuzzedDataProvider& input) {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k = {
            "ModeSelect",        "SoftwareVersionNumber", "ShowNotification", "HideNotification",
            "CommsStatus",       "CommsSelect",           "DebugInfo",        "DebugColour",
            "RestorePreviewRow", "RestoreState"};
        for (const char* axis : {"Pan_", "Tilt", "Roll"}) {
            for (const char* suffix :
                 {"ModeSelect", "NeutralValue", "OutputValue", "PosAdjustValue", "NegAdjustValue",
                  "PosAdjustValueMin", "PosAdjustValueMax", "NegAdjustValueMin",
                  "NegAdjustValueMax"}) {
                k.push_back(std::string(axis) + suffix);
            }
        }
        k.push_back("Pan_");
        k.push_back("Tilt_ModeSelect");
        return k;
    }();
    if (input.ConsumeIntegralInRange<int>(0, 7) == 0) return input.ConsumeRandomLengthString(32);
    return keys[input.ConsumeIntegralInRange<std::size_t>(0, keys.size() - 1)];
}

std::string Value(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) return NumberishText(input);
    if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {  // the restore's texts
        return std::string(input.PickValueInArray<std::string_view>(
            {display_values::RestoreRunning, display_values::RestoreIdle, "Pan neutral|1|2", "|"}));
    }
    using namespace display_values;
    return std::string(input.PickValueInArray<std::string_view>(
        {Normal, Increment, Decrement, Enhanced, Legacy, CommsNone, PortConnected, GoodFlashOn,
         GoodFlashOff, BlackOnRed, BlackOnWhite, Unused, Saved, Restoring, CommsGood, "",
         "normal"}));
}

class Window final : public DisplayListener {
public:
    DashboardDisplay* display = nullptr;
    FuzzedDataProvider* input = nullptr;
    int depth = 0;

    void TrackBarChanged(Element) override { MaybeNested(); }
    void FocusEntered(Element) override { MaybeNested(); }

private:
    // A handler that reports to the core, which answers with a display command before the
    // setter that raised the notification has returned.
    void MaybeNested() {
        if (depth >= 3 || input->ConsumeIntegralInRange<int>(0, 3) != 0) return;
        ++depth;
        try {
            display->DisplayUpdate(Key(*input), Value(*input));
        } catch (const ConversionError&) {
        }
        --depth;
    }
};

void Check(const DashboardDisplay& display) {
    for (std::size_t i = 0; i < ElementCount; ++i) {
        const auto element = static_cast<Element>(i);
        if (KindOf(element) != ElementKind::TrackBar) continue;
        const ElementState& s = display.State(element);
        FUZZ_CHECK(s.minimum <= s.position && s.position <= s.maximum);
    }
    FUZZ_CHECK(display.MemoLines().size() <= DashboardDisplay::MemoLineLimit);
    FUZZ_CHECK(display.Focus() == Element::None || IsElement(display.Focus()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    DashboardDisplay display;
    Window window;
    window.display = &display;
    window.input = &input;
    display.SetListener(&window);

    for (int op = 0; op < 500 && input.remaining_bytes() > 0; ++op) {
        switch (input.ConsumeIntegralInRange<int>(0, 9)) {
            case 0:  // the operator clicks into the window; any element number, real or not
                display.SetFocus(static_cast<Element>(input.ConsumeIntegral<std::uint8_t>()));
                break;
            case 1:  // the window's own track bar setters, as the view moves a bar
                display.SetTrackBarPosition(
                    static_cast<Element>(input.ConsumeIntegral<std::uint8_t>()),
                    input.ConsumeIntegral<std::int32_t>());
                break;
            default: try { display.DisplayUpdate(Key(input), Value(input));
                } catch (const ConversionError&) {
                }
                break;
        }
        Check(display);
    }
    return 0;
}
