// One operator step on an adjust value, from the window's click through the real core and
// protocol to the simulated controller on a pseudo-terminal: the window and the core together
// put exactly one write on the wire, whatever display commands and focus moves follow it.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../core/core_fixture.h"
#include "ui/dashboard_logic.h"
#include "ui/display_state.h"

namespace kestrova::test {
namespace {

class NoDialogs final : public WindowHost {
public:
    void ShowConfigErrorDialog() override {}
    void CloseWindow() override {}
    std::string InputBox(std::string_view, std::string_view, std::string_view text) override {
        return std::string(text);
    }
};

struct WrittenFrame {
    std::int32_t address;
    std::int32_t firstByte;
};

class OperatorStep : public CoreFixture {
protected:
    // The real display state and window logic over the core, the port picked from the list as
    // the operator does, and every write frame on the line recorded.
    void SetUp() override {
        CoreFixture::SetUp();
        display_.hook = [this](std::string_view key, std::string_view value) {
            dashboard_.DisplayUpdate(key, value);
        };
        line_.responder = [this](FakeSerialLine&, const std::uint8_t* frame, int length) {
            if (length < 11 || frame[1] != WriteCommandChar) return;
            const std::int32_t address =
                frame[2] | (frame[3] << 8) | (frame[4] << 16) | (frame[5] << 24);
            writes_.push_back({address, frame[8]});
        };
        StartSimulator();
        StartCore();
        logic_ = std::make_unique<DashboardLogic>(dashboard_, Core(), host_);
        logic_->UserFocused(Element::ComboBoxCommsSelect);  // the window became active
        logic_->UserSelectedPort(0);
        ASSERT_GE(RunUntil([this] { return dashboard_.CommsGood(); }, 5000), 0);
        RunMs(1000);  // every value read and shown
    }

    // The write frames of the next two seconds after the click on the element.
    std::vector<WrittenFrame> WritesAfterClicking(Element element) {
        writes_.clear();
        logic_->UserClicked(element);
        RunMs(2000);
        return writes_;
    }
    std::int32_t AddressOf(int point) { return Points().PointTable()[point].Address; }

    DashboardDisplay dashboard_;
    NoDialogs host_;
    std::unique_ptr<DashboardLogic> logic_;
    std::vector<WrittenFrame> writes_;
};

// The step button of the active side: the adjust value one up, shown again on the bar, which
// holds the focus.
TEST_F(OperatorStep, AStepButtonClickPutsOneWriteOnTheWire) {
    WritesAfterClicking(Element::StaticTextPan_PosValue);  // the positive adjust mode
    ASSERT_EQ(dashboard_.Focus(), Element::TrackBarPan_PosAdjust);
    const double before = Scaled(10);
    const std::vector<WrittenFrame> writes =
        WritesAfterClicking(Element::SpeedButtonPan_PosValueInc);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, AddressOf(10));
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).posAdjust, before + 1.0);
    EXPECT_EQ(dashboard_.State(Element::StaticTextPan_PosValue).caption,
              std::to_string(static_cast<int>(before) + 1));
}

// The positive adjust look moves the focus to the bar, whose entry pair comes again: the mode the
// axis already has is not written a second time.
TEST_F(OperatorStep, AValueTextClickPutsOneWriteOnTheWire) {
    const std::vector<WrittenFrame> writes = WritesAfterClicking(Element::StaticTextPan_PosValue);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, AddressOf(17));
    EXPECT_EQ(writes[0].firstByte, 1);  // Increment
}

}  // namespace
}  // namespace kestrova::test
