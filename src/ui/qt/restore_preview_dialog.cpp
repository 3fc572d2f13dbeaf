#include "ui/qt/restore_preview_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/qt/widgets.h"

namespace kestrova {

namespace {

enum Column { NameColumn, ControllerColumn, FileColumn, MarkColumn, ColumnCount };

QTableWidgetItem* MakeCell(std::string_view text, bool changed, Qt::Alignment alignment) {
    auto* item = new QTableWidgetItem(ToQString(text));
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    QFont font = item->font();
    font.setBold(changed);
    item->setFont(font);
    return item;
}

QTableWidget* MakeTable(const std::vector<RestorePreviewRow>& rows, QWidget* parent) {
    auto* table = new QTableWidget(static_cast<int>(rows.size()), ColumnCount, parent);
    table->setObjectName(QStringLiteral("RestorePreviewTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Calibration value"),
                                      QStringLiteral("Controller now"), QStringLiteral("File"),
                                      QString()});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);  // Enter and Escape go to the buttons
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    for (int r = 0; r < table->rowCount(); ++r) {
        const RestorePreviewRow& row = rows[static_cast<std::size_t>(r)];
        const bool changed = row.Changed();
        table->setItem(r, NameColumn, MakeCell(row.name, changed, Qt::AlignLeft));
        table->setItem(r, ControllerColumn, MakeCell(row.controllerValue, changed, Qt::AlignRight));
        table->setItem(r, FileColumn, MakeCell(row.fileValue, changed, Qt::AlignRight));
        table->setItem(r, MarkColumn, MakeCell(changed ? "changed" : "", changed, Qt::AlignLeft));
    }
    table->resizeColumnsToContents();
    table->resizeRowsToContents();

    // Every row and column in view without scrolling.
    const int frame = 2 * table->frameWidth();
    int width = frame;
    for (int c = 0; c < ColumnCount; ++c) width += table->columnWidth(c);
    int height = frame + table->horizontalHeader()->height();
    for (int r = 0; r < table->rowCount(); ++r) height += table->rowHeight(r);
    table->setFixedSize(width, height);
    return table;
}

}  // namespace

RestorePreviewDialog::RestorePreviewDialog(const std::vector<RestorePreviewRow>& rows,
                                           QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RestorePreviewDialog"));
    setWindowTitle(QStringLiteral("Restore Preview"));

    auto* restore = new QPushButton(QStringLiteral("Restore"), this);
    restore->setObjectName(QStringLiteral("ButtonRestore"));
    restore->setDefault(true);
    connect(restore, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(restore);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeTable(rows, this));
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    restore->setFocus(Qt::OtherFocusReason);
}

}  // namespace kestrova
