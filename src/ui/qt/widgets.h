#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QSlider>
#include <QString>
#include <QToolButton>

#include <string_view>

#include "ui/display_state.h"

// Small widgets and helpers shared by the dashboard and its dialogs.
namespace kestrova {

// A text of the display state or the logic (UTF-8) as Qt holds it.
QString ToQString(std::string_view text);

// A tooltip that shows the text's characters as they are. Qt draws a tooltip as rich text when
// it looks like markup, and tooltips carry file, device and network text.
QString PlainToolTip(std::string_view text);

// Tahoma where it is installed, else a close sans-serif (DejaVu Sans, condensed), else the
// default family.
QString DashboardFontFamily();
// A font of the dashboard family, `pixels` high.
QFont PixelFont(int pixels, bool bold = false);

// The colour as the platform draws it: system colours come from the palette.
QColor ToQColor(const Colour& colour, const QPalette& palette);

// Background and text colour of a widget, through its palette (roles Window/WindowText for
// labels, Button/ButtonText for buttons, Base/Text for editors).
void SetColours(QWidget* widget, QPalette::ColorRole backgroundRole, const QColor& background,
                QPalette::ColorRole textRole, const QColor& text);

enum class Bevel { None, Soft, Sunken, Single };
// A label's border: a soft bevel (thin sunken panel), a sunken border, or a single line.
void SetBevel(QLabel* label, Bevel bevel);

// A static text that reports clicks: press and release of the left button over it.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// A vertical track bar: the smallest value at the top, tick marks on both sides, arrow keys
// moving 1 and page keys 10 towards the top or bottom as drawn. The slider (handle) can be hidden
// while the bar stays; a hidden-slider bar still takes clicks like the platform's track bar.
class TrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TrackBar(QWidget* parent = nullptr);

    void SetSliderShown(bool shown);
    bool SliderShown() const { return sliderShown_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // The wheel moves only a bar that holds the focus: an unfocused bar's moves are never
    // reported, so it would leave the bar out of step with the unit.
    void wheelEvent(QWheelEvent* event) override;

private:
    bool sliderShown_ = true;
};

// A flat glyph button with an arrow (the step buttons and their icons).
QToolButton* MakeGlyphButton(QWidget* parent, Qt::ArrowType arrow);

}  // namespace kestrova
