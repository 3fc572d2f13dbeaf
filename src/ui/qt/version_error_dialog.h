#pragma once

#include <QDialog>

#include <array>
#include <functional>

#include "ui/dashboard_info.h"

class QLabel;

namespace kestrova {

// The configuration error dialog: names each configuration file whose version is not the
// software's. However it closes (its button, Enter, Escape or the window's close key), it tells
// its owner, after which the program ends.
class TFormVersionErrorDlg final : public QDialog {
    Q_OBJECT
public:
    // Adds the software version to the preamble.
    explicit TFormVersionErrorDlg(const DashboardInfo& info, QWidget* parent = nullptr);

    void SetClosedHandler(std::function<void()> closed) { closed_ = std::move(closed); }
    void ButtonErrorAckClick();
    void done(int result) override;

protected:
    // Marks the wrong files and centres the dialog on the screen.
    void showEvent(QShowEvent* event) override;

private:
    const DashboardInfo& info_;
    std::array<QLabel*, 3> statusTexts_{};
    std::function<void()> closed_;
    bool closeReported_ = false;  // once per showing, however many ways it closes
};

}  // namespace kestrova
