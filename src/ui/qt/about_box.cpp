#include "ui/qt/about_box.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include "ui/dialog_logic.h"
#include "ui/qt/widgets.h"

namespace kestrova {

namespace {

// The program's picture: a hand wheel.
QPixmap ProgramPicture() {
    QPixmap picture(64, 64);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 5));
    painter.drawEllipse(QPointF(32, 32), 25, 25);
    painter.setPen(QPen(QColor(40, 40, 40), 3));
    for (int spoke = 0; spoke < 3; ++spoke) {
        painter.save();
        painter.translate(32, 32);
        painter.rotate(spoke * 120.0 - 90.0);
        painter.drawLine(QPointF(0, 0), QPointF(24, 0));
        painter.restore();
    }
    painter.setBrush(QColor(0, 128, 0));
    painter.drawEllipse(QPointF(32, 32), 7, 7);
    return picture;
}

QLabel* MakeText(QWidget* parent, const char* name, const QRect& place, Bevel bevel) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setTextFormat(Qt::PlainText);
    SetBevel(label, bevel);
    return label;
}

QLabel* MakeCaption(QWidget* parent, const char* name, QPoint at, const char* caption) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(at);
    label->adjustSize();
    return label;
}

}  // namespace

TAboutBox_KestrovaInterface::TAboutBox_KestrovaInterface(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox_KestrovaInterface"));
    setWindowTitle(QStringLiteral("About Kestrova Interface"));
    setFont(PixelFont(11));
    setFixedSize(298, 213);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(8, 8, 281, 161);
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setMidLineWidth(1);

    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setGeometry(8, 8, 65, 57);
    icon->setScaledContents(true);
    icon->setPixmap(ProgramPicture());

    MakeCaption(panel, "ProductName", QPoint(88, 16), "Product Name:");
    productName_ = MakeText(panel, "StaticText_PruductName", QRect(85, 36, 185, 17), Bevel::Soft);
    MakeCaption(panel, "Version", QPoint(88, 60), "Version: ");
    version_ = MakeText(panel, "StaticText_Version", QRect(130, 59, 140, 17), Bevel::Soft);
    MakeCaption(panel, "Copyright", QPoint(8, 80), "Copyright");
    maker_ = MakeText(panel, "StaticText_Copyright", QRect(68, 80, 203, 17), Bevel::Soft);
    QLabel* comments = MakeCaption(panel, "Comments", QPoint(8, 104), "Comments");
    comments->setWordWrap(true);
    comments_ = MakeText(panel, "StaticText_Comments", QRect(68, 103, 203, 48), Bevel::Soft);
    comments_->setWordWrap(true);
    comments_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(111, 180, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox_KestrovaInterface::showEvent(QShowEvent* event) {
    const AboutTexts texts = AboutBoxTexts(__DATE__, __TIME__);
    version_->setText(QString::fromStdString(texts.version));
    productName_->setText(QString::fromStdString(texts.productName));
    maker_->setText(QString::fromStdString(texts.maker));
    comments_->setText(QString::fromStdString(texts.comments));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

}  // namespace kestrova
