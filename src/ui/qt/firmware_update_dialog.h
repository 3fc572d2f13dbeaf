#pragma once

#include <QDialog>

namespace kestrova {

// The firmware update loader as laid out: its controls and its menu item do nothing; the Hide
// button closes it.
class TFormFirmwareUpdateDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int OuterWidth = 536;
    static constexpr int OuterHeight = 450;

    explicit TFormFirmwareUpdateDialog(QWidget* parent = nullptr);

    void ButtonHideClick();

protected:
    // Centres the dialog on the main window.
    void showEvent(QShowEvent* event) override;

private:
    void FitOuterSize();
    bool shownOnce_ = false;
};

}  // namespace kestrova
