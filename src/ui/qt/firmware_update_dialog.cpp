#include "ui/qt/firmware_update_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/qt/widgets.h"

namespace kestrova {

namespace {

QLabel* MakeText(QWidget* parent, const char* name, const QRect& place, const char* caption,
                 int pixels) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(PixelFont(pixels, true));
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QRect& place,
                        const char* caption) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TFormFirmwareUpdateDialog::TFormFirmwareUpdateDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinMaxButtonsHint) {
    setObjectName(QStringLiteral("FormFirmwareUpdateDialog"));
    setWindowTitle(QStringLiteral("Firmware Update Loader"));
    setFont(PixelFont(11, true));

    auto* menu = new QMenuBar(this);
    menu->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = menu->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File1"));
    file->addAction(QStringLiteral("&1 Select File"))
        ->setObjectName(QStringLiteral("N1SelectFile"));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menu);
    layout->addWidget(client);

    auto* group1 = new QGroupBox(client);
    group1->setObjectName(QStringLiteral("GroupBox1"));
    group1->setGeometry(10, 10, 240, 200);
    auto* group2 = new QGroupBox(QStringLiteral("Programming"), client);
    group2->setObjectName(QStringLiteral("GroupBox2"));
    group2->setGeometry(260, 10, 240, 200);

    QLabel* status = MakeText(client, "StaticText1", QRect(270, 40, 220, 30), "NOT Connected", 19);
    SetBevel(status, Bevel::Single);
    status->setAutoFillBackground(true);
    SetColours(status, QPalette::Window, QColor(255, 0, 0), QPalette::WindowText, Qt::black);

    MakeButton(client, "Button1", QRect(270, 80, 220, 20), "Connect To The Kestrova");
    MakeButton(client, "Button2", QRect(270, 110, 220, 20), "Program The Kestrova Firmware");
    MakeButton(client, "Button3", QRect(270, 140, 220, 20), "Reset The Kestrova Device");
    MakeText(client, "StaticText3", QRect(270, 170, 220, 30), "Programming Status", 19);
    MakeText(client, "StaticText2", QRect(170, 230, 170, 20), "File Transfer Progress", 13);

    auto* progress = new QProgressBar(client);
    progress->setObjectName(QStringLiteral("ProgressBarFileTransfer"));
    progress->setGeometry(10, 250, 490, 30);
    progress->setRange(0, 100);
    progress->setValue(45);

    auto* group3 = new QGroupBox(QStringLiteral("Assistance"), client);
    group3->setObjectName(QStringLiteral("GroupBox3"));
    group3->setGeometry(10, 290, 400, 100);
    auto* memo = new QPlainTextEdit(group3);
    memo->setObjectName(QStringLiteral("MemoAssistance"));
    memo->setGeometry(10, 20, 380, 70);
    memo->setReadOnly(true);
    memo->setFocusPolicy(Qt::NoFocus);
    memo->setPlainText(QString());

    QPushButton* hide = MakeButton(client, "ButtonHide", QRect(420, 300, 80, 30), "Hide");
    hide->setFont(PixelFont(11, true));
    connect(hide, &QPushButton::clicked, this, &TFormFirmwareUpdateDialog::ButtonHideClick);

    resize(OuterWidth, OuterHeight);
}

void TFormFirmwareUpdateDialog::ButtonHideClick() { accept(); }

void TFormFirmwareUpdateDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QWidget* owner = parentWidget()) {
        const QRect area = owner->frameGeometry();
        move(area.center() - QPoint(OuterWidth / 2, OuterHeight / 2));
    }
    if (!shownOnce_) {
        shownOnce_ = true;
        QTimer::singleShot(100, this, &TFormFirmwareUpdateDialog::FitOuterSize);
    }
}

// The outer size, frame and caption bar included, once the window manager's frame is known.
void TFormFirmwareUpdateDialog::FitOuterSize() {
    if (!windowHandle()) return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull()) return;
    resize(OuterWidth - frame.left() - frame.right(), OuterHeight - frame.top() - frame.bottom());
}

}  // namespace kestrova
