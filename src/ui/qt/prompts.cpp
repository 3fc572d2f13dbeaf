#include "ui/qt/prompts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>

#include "ui/qt/restore_preview_dialog.h"
#include "ui/qt/widgets.h"

namespace kestrova {

namespace {

// "Parameter File|*.PRM" -> "Parameter File (*.PRM)".
QString NameFilter(std::string_view filter) {
    const QString text = ToQString(filter);
    const qsizetype bar = text.indexOf(QLatin1Char('|'));
    if (bar < 0) return text;
    return text.left(bar) + QStringLiteral(" (") + text.mid(bar + 1) + QStringLiteral(")");
}

void CentreOnScreen(QWidget* box) {
    box->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        box->move(area.center() - QPoint(box->width() / 2, box->height() / 2));
    }
}

}  // namespace

MessageAnswer StandardPrompts::ShowMessage(MessageKind kind, std::string_view text) {
    if (kind == MessageKind::InformationOk) {
        QMessageBox box(QMessageBox::Information, ToQString(ApplicationTitle), ToQString(text),
                        QMessageBox::Ok, parent_);
        box.setTextFormat(Qt::PlainText);  // file and device text, never markup
        CentreOnScreen(&box);
        box.exec();
        return MessageAnswer::Cancel;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), ToQString(text),
                    QMessageBox::NoButton, parent_);
    box.setTextFormat(Qt::PlainText);  // file and device text, never markup
    if (kind == MessageKind::QuestionYesCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Cancel);
    }
    box.setEscapeButton(QMessageBox::Cancel);
    CentreOnScreen(&box);
    return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::Cancel;
}

RestorePreviewAnswer StandardPrompts::ShowRestorePreview(
    const std::vector<RestorePreviewRow>& rows) {
    RestorePreviewDialog dialog(rows, parent_);
    return dialog.exec() == QDialog::Accepted ? RestorePreviewAnswer::Restore
                                              : RestorePreviewAnswer::Cancel;
}

std::optional<std::string> StandardPrompts::RunFileDialog(const FileDialogSettings& settings) {
    QFileDialog dialog(parent_);
    const bool save = settings.kind == FileDialogKind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Neither dialog insists on an existing file or asks before overwriting one: the core
    // reports a file it cannot read, and a save replaces the file chosen.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(NameFilter(settings.filter));
    dialog.setDefaultSuffix(ToQString(settings.defaultExtension));
    dialog.setDirectory(ToQString(settings.initialFolder));
    dialog.selectFile(ToQString(settings.fileName));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

std::string StandardPrompts::InputBox(std::string_view caption, std::string_view prompt,
                                      std::string_view defaultText) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, ToQString(caption), ToQString(prompt),
                                               QLineEdit::Normal, ToQString(defaultText), &ok);
    if (!ok) return std::string(defaultText);
    return text.toStdString();
}

void StandardPrompts::ErrorBox(std::string_view message) {
    QMessageBox box(QMessageBox::Critical, ToQString(ApplicationTitle), ToQString(message),
                    QMessageBox::Ok, parent_);
    box.setTextFormat(Qt::PlainText);  // file and device text, never markup
    box.exec();
}

}  // namespace kestrova
