#pragma once

#include <QDialog>

#include <vector>

#include "ui/restore_preview.h"

namespace kestrova {

// The preview shown before a restore: each calibration value the restore sets, the value the
// controller holds now and the value in the file, the rows the restore changes in bold and
// marked "changed". "Restore" is the default button, so Enter goes on (accepted); "Cancel",
// Escape and the window's close key change nothing (rejected).
class RestorePreviewDialog final : public QDialog {
    Q_OBJECT
public:
    explicit RestorePreviewDialog(const std::vector<RestorePreviewRow>& rows,
                                  QWidget* parent = nullptr);
};

}  // namespace kestrova
