#include "ui/qt/widgets.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QStyleOptionSlider>
#include <QStylePainter>
#include <QTextDocument>

namespace kestrova {

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString PlainToolTip(std::string_view text) {
    if (text.empty()) return {};
    return Qt::convertFromPlainText(ToQString(text), Qt::WhiteSpaceNormal);
}

QString DashboardFontFamily() {
    static const QString family = [] {
        for (const char* candidate : {"Tahoma", "DejaVu Sans"}) {
            if (QFontDatabase::hasFamily(QString::fromLatin1(candidate))) {
                return QString::fromLatin1(candidate);
            }
        }
        return QFont().family();
    }();
    return family;
}

QFont PixelFont(int pixels, bool bold) {
    const QString family = DashboardFontFamily();
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    // DejaVu Sans runs about a quarter wider than Tahoma; its condensed face keeps the captions
    // inside the places laid out for Tahoma.
    if (family == QLatin1String("DejaVu Sans")) font.setStretch(QFont::Condensed);
    return font;
}

QColor ToQColor(const Colour& colour, const QPalette& palette) {
    switch (colour.kind) {
        case Colour::Kind::ButtonFace: return palette.color(QPalette::Button);
        case Colour::Kind::ButtonShadow: return palette.color(QPalette::Dark);
        case Colour::Kind::Rgb: break;
    }
    return QColor(colour.red, colour.green, colour.blue);
}

void SetColours(QWidget* widget, QPalette::ColorRole backgroundRole, const QColor& background,
                QPalette::ColorRole textRole, const QColor& text) {
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, backgroundRole, background);
        palette.setColor(group, textRole, text);
    }
    palette.setColor(QPalette::Disabled, backgroundRole, background);
    widget->setPalette(palette);
}

void SetBevel(QLabel* label, Bevel bevel) {
    switch (bevel) {
        case Bevel::None: label->setFrameStyle(QFrame::NoFrame); break;
        case Bevel::Soft:
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setLineWidth(1);
            break;
        case Bevel::Sunken:
            label->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
            label->setLineWidth(2);
            break;
        case Bevel::Single:
            label->setFrameStyle(QFrame::Box | QFrame::Plain);
            label->setLineWidth(1);
            break;
    }
}

ClickableLabel::ClickableLabel(QWidget* parent) : QLabel(parent) {
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) emit clicked();
}

TrackBar::TrackBar(QWidget* parent) : QSlider(Qt::Vertical, parent) {
    setInvertedAppearance(true);  // minimum at the top
    setInvertedControls(true);    // up arrow and page up move towards the top
    setTickPosition(QSlider::TicksBothSides);
    setSingleStep(1);
    setPageStep(10);
    setFocusPolicy(Qt::StrongFocus);
}

void TrackBar::SetSliderShown(bool shown) {
    if (sliderShown_ == shown) return;
    sliderShown_ = shown;
    update();
}

// The groove is drawn here as a plain channel, the same at every position: styles that fill the
// groove up to the handle would fill the upside-down positive bars more the smaller their value.
void TrackBar::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRect(groove.adjusted(0, 0, -1, -1));

    option.subControls = QStyle::SC_SliderTickmarks;
    if (sliderShown_) option.subControls |= QStyle::SC_SliderHandle;
    painter.drawComplexControl(QStyle::CC_Slider, option);
}

void TrackBar::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}

QToolButton* MakeGlyphButton(QWidget* parent, Qt::ArrowType arrow) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setArrowType(arrow);
    button->setIconSize(QSize(24, 24));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace kestrova
