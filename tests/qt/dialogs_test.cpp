// The dialogs, the timers with the configuration check, and the handler boundary.
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>

#include <functional>

#include "qt_fixture.h"
#include "ui/qt/about_box.h"
#include "ui/qt/firmware_update_dialog.h"
#include "ui/qt/restore_preview_dialog.h"
#include "ui/qt/version_error_dialog.h"

namespace kestrova::test {
namespace {

template <typename T = QWidget>
T* FindIn(QWidget* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
}

QColor Background(QWidget* widget) { return widget->palette().color(QPalette::Window); }

TEST(ConfigErrorDialog, NamesOnlyTheWrongFilesInTheirPlaces) {
    FakeInfo info;
    info.tags = 1200;
    TFormVersionErrorDlg dialog(info);
    EXPECT_EQ(dialog.windowTitle(), "Configuration Error");
    EXPECT_EQ(dialog.size(), QSize(312, 313));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(FindIn<QLabel>(&dialog, "StaticTextPreamble1")->text(),
              "The following configuration file(s) are incorrect for Version  1.20.1:-");
    EXPECT_EQ(FindIn<QLabel>(&dialog, "StaticTextErrorRed")->text(),
              "Configuration Error Detected");
    EXPECT_EQ(FindIn(&dialog, "StaticTextErrorRed")->geometry(), QRect(30, 20, 250, 30));
    auto* acknowledge = FindIn<QPushButton>(&dialog, "ButtonErrorAck");
    EXPECT_EQ(acknowledge->text(), "Acknowledge And Exit");
    EXPECT_TRUE(acknowledge->isDefault());
    EXPECT_EQ(acknowledge->geometry(), QRect(80, 280, 170, 25));

    int closes = 0;
    dialog.SetClosedHandler([&] { ++closes; });
    dialog.show();
    auto* ini = FindIn<QLabel>(&dialog, "StaticText_INI_Status");
    auto* cg0 = FindIn<QLabel>(&dialog, "StaticText_CG0_Status");
    auto* tg1 = FindIn<QLabel>(&dialog, "StaticText_TG1_Status");
    EXPECT_TRUE(ini->isHidden());
    EXPECT_TRUE(cg0->isHidden());
    EXPECT_FALSE(tg1->isHidden());
    EXPECT_EQ(tg1->geometry(), QRect(20, 170, 270, 20));
    EXPECT_EQ(tg1->text(), " KESTROVA_001.TG1 is incorrect");
    EXPECT_EQ(Background(tg1), QColor(255, 0, 0));
    EXPECT_EQ(tg1->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(ini->text(), " Kestrova_Interface.INI - OK");

    // Enter presses the default button; the owner hears of it once.
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(closes, 1);

    // Escape and the window's close key act the same.
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    dialog.show();
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(closes, 3);
}

TEST(ConfigErrorDialog, AllThreeFilesMissing) {
    FakeInfo info;
    info.settings = info.project = info.tags = 0;
    TFormVersionErrorDlg dialog(info);
    dialog.show();
    for (const char* name :
         {"StaticText_INI_Status", "StaticText_CG0_Status", "StaticText_TG1_Status"}) {
        EXPECT_FALSE(FindIn(&dialog, name)->isHidden()) << name;
    }
    EXPECT_EQ(FindIn<QLabel>(&dialog, "StaticText_CG0_Status")->text(),
              " KESTROVA_001.CG0 is incorrect");
}

TEST(AboutBox, ShowsItsTextsWithTheBuildDateAndTime) {
    TAboutBox_KestrovaInterface about;
    EXPECT_EQ(about.windowTitle(), "About Kestrova Interface");
    EXPECT_EQ(about.size(), QSize(298, 213));
    about.show();
    EXPECT_EQ(FindIn<QLabel>(&about, "StaticText_Version")->text(), "1.20.1");
    EXPECT_EQ(FindIn<QLabel>(&about, "StaticText_PruductName")->text(),
              "Tessaline Kestrova Wheels Software");
    EXPECT_EQ(FindIn<QLabel>(&about, "StaticText_Copyright")->text(), "Tessaline");
    EXPECT_EQ(FindIn<QLabel>(&about, "ProductName")->text(), "Product Name:");
    const QString comments = FindIn<QLabel>(&about, "StaticText_Comments")->text();
    const QRegularExpression form(
        QStringLiteral("^Utility for use with the Kestrova Control Wheel System\\n"
                       "Compiled: [A-Z][a-z]{2} [ 123]\\d \\d{4}-\\d\\d:\\d\\d:\\d\\d$"));
    EXPECT_TRUE(form.match(comments).hasMatch()) << comments.toStdString();
    EXPECT_EQ(FindIn(&about, "StaticText_Comments")->geometry(), QRect(68, 103, 203, 48));
    EXPECT_EQ(FindIn(&about, "Panel1")->geometry(), QRect(8, 8, 281, 161));
    auto* ok = FindIn<QPushButton>(&about, "OKButton");
    EXPECT_TRUE(ok->isDefault());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(FirmwareUpdateDialog, LayoutAndHide) {
    TFormFirmwareUpdateDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Firmware Update Loader");
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(FindIn<QGroupBox>(&dialog, "GroupBox2")->title(), "Programming");
    EXPECT_EQ(FindIn(&dialog, "GroupBox2")->geometry(), QRect(260, 10, 240, 200));
    EXPECT_EQ(FindIn<QLabel>(&dialog, "StaticText1")->text(), "NOT Connected");
    EXPECT_EQ(Background(FindIn(&dialog, "StaticText1")), QColor(255, 0, 0));
    EXPECT_EQ(FindIn<QPushButton>(&dialog, "Button2")->text(), "Program The Kestrova Firmware");
    auto* progress = FindIn<QProgressBar>(&dialog, "ProgressBarFileTransfer");
    EXPECT_EQ(progress->value(), 45);
    EXPECT_EQ(progress->geometry(), QRect(10, 250, 490, 30));
    auto* memo = FindIn<QPlainTextEdit>(&dialog, "MemoAssistance");
    EXPECT_EQ(memo->parentWidget()->objectName(), "GroupBox3");
    EXPECT_EQ(memo->geometry(), QRect(10, 20, 380, 70));
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_NE(dialog.findChild<QAction*>(QStringLiteral("N1SelectFile")), nullptr);

    dialog.show();
    QTest::mouseClick(FindIn<QPushButton>(&dialog, "ButtonHide"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
}

using DashboardTicks = DashboardFixture;

TEST(RestorePreviewDialog, MarksTheChangedRowsAndGoesOnOnlyWithRestore) {
    RestorePreviewDialog dialog(
        {{"Pan neutral", "1000", "1010"}, {"Pan positive adjust", "150", "150"}});
    EXPECT_EQ(dialog.windowTitle(), "Restore Preview");
    auto* table = FindIn<QTableWidget>(&dialog, "RestorePreviewTable");
    ASSERT_EQ(table->rowCount(), 2);
    const auto text = [table](int row, int column) { return table->item(row, column)->text(); };
    EXPECT_EQ((QStringList{text(0, 0), text(0, 1), text(0, 2), text(0, 3)}),
              (QStringList{"Pan neutral", "1000", "1010", "changed"}));
    EXPECT_EQ((QStringList{text(1, 0), text(1, 1), text(1, 2), text(1, 3)}),
              (QStringList{"Pan positive adjust", "150", "150", ""}));
    EXPECT_TRUE(table->item(0, 2)->font().bold());
    EXPECT_FALSE(table->item(1, 2)->font().bold());
    EXPECT_TRUE(FindIn<QPushButton>(&dialog, "ButtonRestore")->isDefault());

    // Enter presses Restore; Escape and Cancel change nothing.
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    dialog.show();
    QTest::mouseClick(FindIn<QPushButton>(&dialog, "ButtonCancel"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// The platform's boxes as the file menu uses them during a restore: the refusal is an
// information box titled with the application's name; the preview answers Cancel to Escape.
TEST(StandardPrompts, RestoreUnderWayBoxAndPreviewAnswers) {
    StandardPrompts prompts(nullptr);
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(100, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            if (modal) modal->close();
            return;
        }
        title = box->windowTitle();
        icon = box->icon();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    prompts.ShowMessage(MessageKind::InformationOk, "A restore is under way; wait until it ends.");
    EXPECT_EQ(title, "Kestrova Interface");
    EXPECT_EQ(icon, QMessageBox::Information);

    const std::vector<RestorePreviewRow> rows{{"Tilt neutral", std::string(NoComms), "990"}};
    for (const auto& [key, answer] : {std::pair{Qt::Key_Escape, RestorePreviewAnswer::Cancel},
                                      std::pair{Qt::Key_Enter, RestorePreviewAnswer::Restore}}) {
        QTimer::singleShot(100, [key = key] {
            if (QWidget* dialog = QApplication::activeModalWidget()) QTest::keyClick(dialog, key);
        });
        EXPECT_EQ(prompts.ShowRestorePreview(rows), answer) << key;
    }
}

// File text with markup in it shows its characters in every kind of box.
TEST(StandardPrompts, MessageBoxesShowMarkupAsText) {
    StandardPrompts prompts(nullptr);
    const std::string text = "'<h1 style=\"color:green\">Restore verified</h1>' is not valid";
    const std::function<void()> boxes[] = {
        [&] { prompts.ShowMessage(MessageKind::InformationOk, text); },
        [&] { prompts.ShowMessage(MessageKind::QuestionYesCancel, text); },
        [&] { prompts.ErrorBox(text); },
    };
    for (const auto& show : boxes) {
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(100, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* label = modal ? modal->findChild<QLabel*>("qt_msgbox_label") : nullptr) {
                shown = label->text();
                format = label->textFormat();
            }
            if (modal) modal->close();
        });
        show();
        EXPECT_EQ(shown, QString::fromStdString(text));
        EXPECT_EQ(format, Qt::PlainText);
    }
}

TEST_F(DashboardTicks, AFailedConfigCheckShowsTheDialogOnceThenClosesTheWindow) {
    info.tags = 1200;
    core.configOk = false;
    TFormVersionErrorDlg dialog(info, &form);
    form.SetDialogs(nullptr, nullptr, &dialog);
    form.show();

    int shows = 0;
    bool wasVisible = false;
    int systemTicksAtOpen = -1;
    int systemTicksWhileOpen = 0;
    int commsTicksAtOpen = -1;
    int commsTicksWhileOpen = 0;
    QElapsedTimer openFor;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        const bool visible = dialog.isVisible();
        if (visible && !wasVisible) {
            ++shows;
            openFor.start();
            systemTicksAtOpen = core.systemTicks;
            commsTicksAtOpen = core.commsTicks;
        }
        wasVisible = visible;
        if (visible && openFor.elapsed() > 300) {
            systemTicksWhileOpen = core.systemTicks - systemTicksAtOpen;
            commsTicksWhileOpen = core.commsTicks - commsTicksAtOpen;
            QTest::keyClick(&dialog, Qt::Key_Return);
        }
    });
    operatorHand.start(5);
    core.commsWanted = true;
    CommsTimer()->start();
    SysTimer()->start();

    ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }));
    Spin(100);
    EXPECT_EQ(shows, 1);
    // Both timers keep ticking while the dialog is open.
    EXPECT_GT(systemTicksWhileOpen, 5);
    EXPECT_GT(commsTicksWhileOpen, 20);
    EXPECT_EQ(form.Logic()->ConfigCheckState(), DashboardLogic::ConfigCheck::CloseRequested);
    EXPECT_EQ(core.calls, (std::vector<std::string>{"CoreStart", "CoreStop"}));
    EXPECT_FALSE(SysTimer()->isActive());
}

TEST(DashboardTimers, DriveTheCoreFromCreation) {
    FakeCore core;
    FakeInfo info;
    ScriptedPrompts prompts;
    TFormDashboard form;
    core.display = &form.Display();
    form.SetPrompts(&prompts);
    form.Create(core, info);
    EXPECT_TRUE(form.findChild<QTimer*>(QStringLiteral("Comms_Timer"))->isActive());
    EXPECT_TRUE(form.findChild<QTimer*>(QStringLiteral("TimerSysUpdate"))->isActive());
    Spin(200);
    EXPECT_GT(core.systemTicks, 5);
    EXPECT_GT(core.commsTicks, 3 * core.systemTicks) << core.commsTicks << " " << core.systemTicks;
    form.close();
    const int after = core.systemTicks;
    Spin(50);
    EXPECT_EQ(core.systemTicks, after);  // no tick after the window closed
    EXPECT_EQ(core.calls, (std::vector<std::string>{"CoreStart", "CoreStop"}));
}

using HandlerBoundary = DashboardFixture;

TEST_F(HandlerBoundary, AnErrorInAHandlerIsShownAndTheProgramGoesOn) {
    core.throwOn = Pair("ButtonPan", OnClick);
    QTest::mouseClick(form.Control(Element::ButtonPan), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !prompts.errors.empty(); }));
    EXPECT_EQ(prompts.errors, (std::vector<std::string>{"'x' is not a valid integer value"}));

    // The window still works.
    QTest::mouseClick(form.Control(Element::ButtonTilt), Qt::LeftButton);
    EXPECT_EQ(core.pairs.back(), Pair("ButtonTilt", OnClick));

    // A display command with a bad number, sent from a tick, is shown the same way.
    core.reactions[Pair("ButtonRoll", OnClick)] = {{"Pan_PosAdjustValue", "1x"}};
    QTest::mouseClick(form.Control(Element::ButtonRoll), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return prompts.errors.size() == 2; }));
    EXPECT_EQ(prompts.errors[1], "'1x' is not a valid integer value");
    EXPECT_EQ(form.ErrorBoxesShown(), 2);
}

TEST_F(HandlerBoundary, ErrorsOfNestedTicksDoNotStackBoxes) {
    core.throwOnSystemTick = true;
    std::size_t boxesSeenInside = 0;
    int systemTicksInside = 0;
    int commsTicksInside = 0;
    prompts.whileErrorBoxOpen = [&] {
        // The box's own event loop: the timers keep running and keep failing.
        const int system = core.systemTicks;
        const int comms = core.commsTicks;
        Spin(200);
        systemTicksInside = core.systemTicks - system;
        commsTicksInside = core.commsTicks - comms;
        boxesSeenInside = prompts.errors.size();
        core.throwOnSystemTick = false;
    };
    core.commsWanted = true;
    CommsTimer()->start();
    SysTimer()->start();
    ASSERT_TRUE(WaitFor([&] { return systemTicksInside > 0; }));
    Spin(50);
    CommsTimer()->stop();
    SysTimer()->stop();

    EXPECT_EQ(boxesSeenInside, 1u);
    EXPECT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], "Cannot create file /nowhere/x");
    EXPECT_GT(systemTicksInside, 5);
    EXPECT_GT(commsTicksInside, 20);
    EXPECT_GT(form.ErrorsMerged(), 5);
}

// Messages raised together, or while a box is open, each get a box in turn; a repeated one is
// shown once.
TEST_F(HandlerBoundary, EveryMessageIsShownInTurn) {
    core.reactions[Pair("ButtonPan", OnClick)] = {{"MessageBox", "Restore NOT verified"},
                                                  {"MessageBox", "Permission denied"},
                                                  {"MessageBox", "Restore NOT verified"}};
    prompts.whileErrorBoxOpen = [&] {
        prompts.whileErrorBoxOpen = nullptr;
        core.reactions[Pair("ButtonTilt", OnClick)] = {{"MessageBox", "Comms Lost"}};
        QTest::mouseClick(form.Control(Element::ButtonTilt), Qt::LeftButton);
    };
    QTest::mouseClick(form.Control(Element::ButtonPan), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return prompts.errors.size() == 3; }));
    Spin(50);
    EXPECT_EQ(prompts.errors, (std::vector<std::string>{"Restore NOT verified", "Permission denied",
                                                        "Comms Lost"}));
    EXPECT_EQ(form.ErrorBoxesShown(), 3);
    EXPECT_EQ(form.ErrorsMerged(), 1);
}

// Distinct messages past the queue's limit go to stderr only.
TEST_F(HandlerBoundary, AFloodOfMessagesKeepsToTheQueuesLimit) {
    std::vector<Pair>& flood = core.reactions[Pair("ButtonPan", OnClick)];
    for (std::size_t i = 0; i < ErrorBoxQueue::Limit + 8; ++i) {
        flood.emplace_back("MessageBox", "error " + std::to_string(i));
    }
    QTest::mouseClick(form.Control(Element::ButtonPan), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return prompts.errors.size() == ErrorBoxQueue::Limit; }));
    Spin(50);
    EXPECT_EQ(prompts.errors.size(), ErrorBoxQueue::Limit);
    EXPECT_EQ(prompts.errors.back(), "error " + std::to_string(ErrorBoxQueue::Limit - 1));
}

TEST_F(HandlerBoundary, TheStartUpErrorIsShownOnceTheWindowIsUp) {
    info.startupError = "KESTROVA_001.TG1: 'abc' is not a valid floating point value";
    form.ShowWindow();
    EXPECT_TRUE(prompts.errors.empty());
    ASSERT_TRUE(WaitFor([&] { return !prompts.errors.empty(); }));
    EXPECT_EQ(prompts.errors[0], info.startupError);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(HandlerBoundary, AboutAndFirmwareDialogsAreShownModally) {
    TAboutBox_KestrovaInterface about(&form);
    TFormFirmwareUpdateDialog firmware(&form);
    form.SetDialogs(&about, &firmware, nullptr);
    bool aboutSeen = false;
    QTimer::singleShot(100, [&] {
        aboutSeen = about.isVisible() && about.isModal();
        QTest::mouseClick(FindIn<QPushButton>(&about, "OKButton"), Qt::LeftButton);
    });
    form.findChild<QAction*>(QStringLiteral("N2About1"))->trigger();
    EXPECT_TRUE(aboutSeen);

    bool firmwareSeen = false;
    QTimer::singleShot(100, [&] {
        firmwareSeen = firmware.isVisible();
        QTest::mouseClick(FindIn<QPushButton>(&firmware, "ButtonHide"), Qt::LeftButton);
    });
    form.UpdateFirmWare1Click();
    EXPECT_TRUE(firmwareSeen);
    EXPECT_FALSE(firmware.isVisible());
}

}  // namespace
}  // namespace kestrova::test
