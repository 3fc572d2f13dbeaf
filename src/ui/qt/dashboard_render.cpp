#include "ui/qt/form_dashboard.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>

#include "ui/qt/widgets.h"

// Drawing the display state: only what changed since the last drawing reaches the widgets.
namespace kestrova {

void TFormDashboard::RenderDisplay() {
    // Drawing can move the platform's focus (a focused control being hidden); such moves are not
    // the operator's and are not reported.
    if (applyingFocus_) return;
    // Every change of the display state (memo lines and focus included) raises its revision.
    if (drawnOnce_ && display_.Revision() == drawnRevision_) return;
    applyingFocus_ = true;
    for (int pass = 0; pass < 4; ++pass) {
        const std::uint64_t revision = display_.Revision();
        for (std::size_t i = 0; i < ElementCount; ++i) {
            const auto element = static_cast<Element>(i);
            const ElementState& state = display_.State(element);
            if (drawnOnce_ && state.revision == shown_[i].revision) continue;
            ApplyElement(element, state, shown_[i], !drawnOnce_);
            shown_[i] = state;
        }
        drawnOnce_ = true;
        RenderMemo();
        RenderPortHints();
        RenderFocus();
        drawnRevision_ = revision;
        if (display_.Revision() == revision) break;
    }
    applyingFocus_ = false;
}

void TFormDashboard::ApplyElement(Element element, const ElementState& state,
                                  const ElementState& shown, bool all) {
    QWidget* widget = controls_[Index(element)];
    if (!widget) return;
    const bool captionChanged = all || state.caption != shown.caption;
    const bool coloursChanged =
        all || state.background != shown.background || state.fontColour != shown.fontColour;
    const QColor background = ToQColor(state.background, palette());
    const QColor text = ToQColor(state.fontColour, palette());

    switch (KindOf(element)) {
        case ElementKind::StaticText: {
            auto* label = static_cast<QLabel*>(widget);
            if (captionChanged) label->setText(ToQString(state.caption));
            if (coloursChanged) {
                SetColours(label, QPalette::Window, background, QPalette::WindowText, text);
            }
            break;
        }
        case ElementKind::PushButton: {
            auto* button = static_cast<QPushButton*>(widget);
            if (captionChanged) button->setText(ToQString(state.caption));
            if (coloursChanged) {
                SetColours(button, QPalette::Button, background, QPalette::ButtonText, text);
            }
            break;
        }
        case ElementKind::TrackBar: {
            auto* bar = static_cast<TrackBar*>(widget);
            // The window's own range and position changes are not the operator's moves: with the
            // signals blocked they never reach the logic's UserMovedTrackBar.
            const QSignalBlocker block(bar);
            bar->setRange(state.minimum, state.maximum);
            bar->setValue(state.position);
            bar->setTickInterval(state.tickSpacing);
            bar->SetSliderShown(state.sliderShown);
            break;
        }
        case ElementKind::ComboBox: {
            if (captionChanged) {
                const QSignalBlocker block(comboBox_);
                comboBox_->setEditText(ToQString(state.caption));
            }
            if (coloursChanged) {
                SetColours(comboBox_, QPalette::Base, background, QPalette::Text, text);
            }
            break;
        }
        case ElementKind::Memo:
            if (coloursChanged) SetColours(memo_, QPalette::Base, background, QPalette::Text, text);
            break;
        case ElementKind::StepButton:
        case ElementKind::StepIcon: break;
    }

    // Only a tooltip the core set replaces the one the layout gave.
    if (state.hint != shown.hint) widget->setToolTip(PlainToolTip(state.hint));
    if (state.placed &&
        (all || !shown.placed || state.left != shown.left || state.top != shown.top)) {
        widget->move(state.left, state.top);
    }
    if (all || state.enabled != shown.enabled) widget->setEnabled(state.enabled);
    if (all || state.visible != shown.visible) {
        widget->setVisible(state.visible);
        // A shown banner lies over everything else.
        if (state.visible && state.placed) widget->raise();
    }
}

// Appends only the lines added since the last look; rebuilds after a clear, or when more lines
// came than the memo keeps. A hidden memo is brought up to date when it is shown.
void TFormDashboard::RenderMemo() {
    if (!display_.State(Element::MemoDebug).visible) {
        memoInStep_ = false;
        return;
    }
    const auto& lines = display_.MemoLines();
    const std::uint64_t added = display_.MemoLinesAdded();
    const std::uint64_t clears = display_.MemoClears();
    if (memoInStep_ && clears == memoClearsShown_ && added == memoLinesShown_) return;

    const std::uint64_t fresh = added - memoLinesShown_;
    if (!memoInStep_ || clears != memoClearsShown_ || fresh > lines.size()) {
        QStringList all;
        all.reserve(static_cast<qsizetype>(lines.size()));
        for (const std::string& line : lines) all << ToQString(line);
        memo_->setPlainText(all.join(QLatin1Char('\n')));
    } else {
        for (std::size_t i = lines.size() - static_cast<std::size_t>(fresh); i < lines.size();
             ++i) {
            memo_->appendPlainText(ToQString(lines[i]));
        }
    }
    memoInStep_ = true;
    memoLinesShown_ = added;
    memoClearsShown_ = clears;
}

void TFormDashboard::RenderPortHints() {
    if (display_.PortHintsRevision() == portHintsShown_) return;
    portHintsShown_ = display_.PortHintsRevision();
    const auto& hints = display_.PortHints();
    const int count = std::min(comboBox_->count(), static_cast<int>(hints.size()));
    for (int i = 0; i < count; ++i) {
        comboBox_->setItemData(i, PlainToolTip(hints[static_cast<std::size_t>(i)]),
                               Qt::ToolTipRole);
    }
}

void TFormDashboard::RenderFocus() {
    const Element focus = display_.Focus();
    if (focus == drawnFocus_) return;
    drawnFocus_ = focus;
    QWidget* widget = Control(focus);
    if (widget && widget->focusPolicy() != Qt::NoFocus) widget->setFocus(Qt::OtherFocusReason);
}

}  // namespace kestrova
