#pragma once

#include <QDialog>

class QLabel;

namespace kestrova {

// The About box: product, version, maker and the build's date and time, set each time it is
// shown.
class TAboutBox_KestrovaInterface final : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox_KestrovaInterface(QWidget* parent = nullptr);

protected:
    // Sets the texts and centres the box on the screen.
    void showEvent(QShowEvent* event) override;

private:
    QLabel* version_ = nullptr;
    QLabel* productName_ = nullptr;
    QLabel* maker_ = nullptr;
    QLabel* comments_ = nullptr;
};

}  // namespace kestrova
