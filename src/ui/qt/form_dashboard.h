#pragma once

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/window_placement.h"
#include "ui/dashboard_info.h"
#include "ui/dashboard_logic.h"
#include "ui/display_state.h"
#include "ui/file_menu.h"
#include "ui/qt/error_box_queue.h"
#include "ui/qt/prompts.h"

class QComboBox;
class QPlainTextEdit;
class QTimer;

namespace kestrova {

class LinkStatisticsWindow;
class TrendWindow;
class TAboutBox_KestrovaInterface;
class TFormFirmwareUpdateDialog;
class TFormVersionErrorDlg;

// The dashboard window. It owns the display state, draws it with Qt widgets (one widget per
// element, named as the element) and passes every operator action to the window logic by the
// element it happened on (UserClicked, UserFocused, UserMovedTrackBar, UserSelectedPort), which
// turns it into event pairs for the core. The two timers drive the core.
//
// Every handler and timer tick runs inside one boundary that catches the errors the core and the
// display raise (ConversionError, FileError, any other std::exception) and shows the message in
// an error box; the next tick runs normally. The core's messages for the operator take the same
// box. After each handler the 1 ms timer is started or stopped as the window logic wants it. The
// boxes wait in an ErrorBoxQueue and open one after the other from the event loop, so both
// timers keep running while one is open and no message is lost behind another.
//
// The window is also the placement the settings file reads and writes (position, maximised
// state, caption).
class TFormDashboard final : public QMainWindow,
                             public WindowPlacement,
                             private WindowHost,
                             private FileMenuHost {
    Q_OBJECT
public:
    static constexpr int OuterWidth = 1000;
    static constexpr int OuterHeight = 600;

    explicit TFormDashboard(QWidget* parent = nullptr);
    ~TFormDashboard() override;

    // The display state the core's display commands act on.
    DashboardDisplay& Display() { return display_; }
    const DashboardDisplay& Display() const { return display_; }

    // The second half of the window's creation, once the core exists: the window logic and the
    // file menu over the core, FormCreate (which starts the core), then the two timers. An error
    // raised by the core's start goes to the caller.
    void Create(Core& core, const DashboardInfo& info);
    // The Link Statistics and Trend windows over what the core lets views read; until this is
    // called their View menu entries do nothing.
    void SetMonitor(const CoreMonitor& monitor);
    LinkStatisticsWindow* LinkStatistics() const { return linkStatistics_; }
    TrendWindow* Trend() const { return trend_; }

    // The three dialogs, created after the window; the window shows them modally.
    void SetDialogs(TAboutBox_KestrovaInterface* about, TFormFirmwareUpdateDialog* firmware,
                    TFormVersionErrorDlg* versionError);
    // Boxes and dialogs to use instead of the platform's (tests); nullptr restores them.
    void SetPrompts(Prompts* prompts);

    // Shows the window for the first time: centred on the screen, maximised when the settings
    // asked for it; then shows the core's start-up error, if any, once the window is up.
    void ShowWindow();

    DashboardLogic* Logic() { return logic_.get(); }
    QWidget* Control(Element element) const;
    // Error boxes shown so far, and errors merged into an identical box open or waiting.
    int ErrorBoxesShown() const { return errorBoxes_.Shown(); }
    int ErrorsMerged() const { return errorBoxes_.Merged(); }

    // Draws what changed in the display state since the last call. Runs after every handler and
    // tick.
    void RenderDisplay();

    // ---- WindowPlacement
    std::int32_t Top() const override;
    std::int32_t Left() const override;
    bool Maximized() const override;
    std::string Caption() const override;
    void SetTop(std::int32_t top) override;
    void SetLeft(std::int32_t left) override;
    void SetMaximized(bool maximized) override;

    // Not offered by any menu entry.
    void UpdateFirmWare1Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- WindowHost
    void ShowConfigErrorDialog() override;
    void CloseWindow() override;
    std::string InputBox(std::string_view caption, std::string_view prompt,
                         std::string_view defaultText) override;
    // ---- FileMenuHost
    MessageAnswer ShowMessage(MessageKind kind, std::string_view text) override;
    std::optional<std::string> RunFileDialog(const FileDialogSettings& settings) override;
    RestorePreviewAnswer ShowRestorePreview(const std::vector<RestorePreviewRow>& rows) override;

    // ---- The error boundary: every handler, tick and operator input runs inside it.
    template <typename Work>
    void Guard(Work&& work);
    // Runs one of the window logic's own handlers (timers, menu items, dialogs).
    void Run(void (DashboardLogic::*handler)());
    // Queues the error box.
    void ReportError(std::string_view message);
    // Shows the core's messages for the operator in the error box, after the handler returned.
    void ShowMessages();
    // Runs the 1 ms timer only while the window logic wants it.
    void SyncCommsTimer();
    Prompts& ActivePrompts();

    // ---- Operator input: every control reaches the logic through its element.
    void ConnectInput(Element element, QWidget* widget);
    void PortTextChanged(const QString& text);

    // ---- Menu items, closing and placement.
    void Open1Click();
    void SaveAs1Click();
    void N2About1Click();
    void LinkStatistics1Click();
    void Trend1Click();
    void SaveProtocolTrace1Click();
    void FormClose();
    void AdjustToOuterSize();
    void CreateTimers();

    // ---- Layout (dashboard_layout.cpp).
    void CreateControls();
    void CreateAxisColumn(Axis axis, int dx);
    void CreateLeftColumn();
    void CreateBottomRow();
    void CreateMenus();
    void Register(Element element, QWidget* widget);

    // ---- Drawing (dashboard_render.cpp).
    void ApplyElement(Element element, const ElementState& state, const ElementState& shown,
                      bool all);
    void RenderMemo();
    void RenderFocus();
    void RenderPortHints();

    DashboardDisplay display_;
    std::unique_ptr<DashboardLogic> logic_;
    std::unique_ptr<FileMenu> fileMenu_;
    const DashboardInfo* info_ = nullptr;
    Core* core_ = nullptr;
    LinkStatisticsWindow* linkStatistics_ = nullptr;
    TrendWindow* trend_ = nullptr;

    std::unique_ptr<StandardPrompts> standardPrompts_;
    Prompts* prompts_ = nullptr;
    TAboutBox_KestrovaInterface* about_ = nullptr;
    TFormFirmwareUpdateDialog* firmware_ = nullptr;
    TFormVersionErrorDlg* versionError_ = nullptr;

    QWidget* client_ = nullptr;
    QComboBox* comboBox_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QTimer* commsTimer_ = nullptr;
    QTimer* sysUpdateTimer_ = nullptr;

    std::array<QWidget*, ElementCount> controls_{};
    std::array<ElementState, ElementCount> shown_{};  // the state last drawn
    bool drawnOnce_ = false;
    std::uint64_t drawnRevision_ = 0;
    Element drawnFocus_ = Element::None;
    bool applyingFocus_ = false;
    bool memoInStep_ = false;
    std::uint64_t memoLinesShown_ = 0;
    std::uint64_t memoClearsShown_ = 0;
    std::uint64_t portHintsShown_ = 0;

    ErrorBoxQueue errorBoxes_;

    bool maximizeOnShow_ = false;
    bool shownOnce_ = false;
};

}  // namespace kestrova
