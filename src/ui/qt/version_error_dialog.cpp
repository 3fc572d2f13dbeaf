#include "ui/qt/version_error_dialog.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ui/dialog_logic.h"
#include "ui/qt/widgets.h"

namespace kestrova {

namespace {

QLabel* MakeText(QWidget* parent, const char* name, const QRect& place, const QString& caption,
                 const QFont& font) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}  // namespace

TFormVersionErrorDlg::TFormVersionErrorDlg(const DashboardInfo& info, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), info_(info) {
    setObjectName(QStringLiteral("FormVersionErrorDlg"));
    setWindowTitle(QStringLiteral("Configuration Error"));
    setFont(PixelFont(11));
    setFixedSize(312, 313);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setGeometry(8, 8, 297, 264);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);

    QLabel* red = MakeText(this, "StaticTextErrorRed", QRect(30, 20, 250, 30),
                           QStringLiteral("Configuration Error Detected"), PixelFont(19));
    red->setAlignment(Qt::AlignCenter);
    red->setAutoFillBackground(true);
    SetColours(red, QPalette::Window, QColor(255, 0, 0), QPalette::WindowText, Qt::black);

    MakeText(this, "StaticTextPreamble1", QRect(20, 60, 270, 41),
             ToQString(ConfigErrorPreamble(info_.SoftwareVersion())), PixelFont(13, true));

    const auto statuses = ConfigFileStatuses(info_);
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        const std::string name(statuses[i].control);
        QLabel* status =
            MakeText(this, name.c_str(), QRect(20, 110 + 30 * static_cast<int>(i), 270, 20),
                     ToQString(statuses[i].okText), PixelFont(13, true));
        status->setAutoFillBackground(true);
        SetColours(status, QPalette::Window, QColor(0, 128, 0), QPalette::WindowText, Qt::white);
        status->hide();
        statusTexts_[i] = status;
    }

    MakeText(this, "StaticTextGuidance1", QRect(20, 210, 270, 51),
             QStringLiteral("Note down the above details and then contact Tessaline for "
                            "assistance."),
             PixelFont(13, true));

    auto* acknowledge = new QPushButton(QStringLiteral("Acknowledge And Exit"), this);
    acknowledge->setObjectName(QStringLiteral("ButtonErrorAck"));
    acknowledge->setGeometry(80, 280, 170, 25);
    acknowledge->setDefault(true);
    connect(acknowledge, &QPushButton::clicked, this, &TFormVersionErrorDlg::ButtonErrorAckClick);
}

void TFormVersionErrorDlg::ButtonErrorAckClick() { accept(); }

void TFormVersionErrorDlg::showEvent(QShowEvent* event) {
    closeReported_ = false;
    const auto statuses = ConfigFileStatuses(info_);
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        if (!statuses[i].incorrect) continue;
        QLabel* status = statusTexts_[i];
        status->setText(ToQString(statuses[i].errorText));
        SetColours(status, QPalette::Window, QColor(255, 0, 0), QPalette::WindowText, Qt::black);
        status->show();
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

// Every way of closing the dialog ends here.
void TFormVersionErrorDlg::done(int result) {
    QDialog::done(result);
    if (closeReported_) return;
    closeReported_ = true;
    if (closed_) closed_();
}

}  // namespace kestrova
