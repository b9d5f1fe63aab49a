#include "ui/app/PollForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace mv::ui {

TfrmPoll::TfrmPoll(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Groups"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Arial"), 8));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    auto* label = new QLabel(tr("Select Groups:"), this);
    layout->addWidget(label);
    lbxPollGroups = new QListWidget(this);
    lbxPollGroups->setObjectName(QStringLiteral("lbxPollGroups"));
    lbxPollGroups->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxPollGroups->setToolTip(tr("You can select more than 1 poll group for export."));
    label->setBuddy(lbxPollGroups);
    layout->addWidget(lbxPollGroups, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BtnOK = new QPushButton(tr("OK"), this);
    BtnOK->setDefault(true);
    BtnOK->setToolTip(tr("This will export data for the Poll group/s selected."));
    BtnCancel = new QPushButton(tr("Cancel"), this);
    BtnCancel->setToolTip(tr("This will close the form without exporting data."));
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    layout->addLayout(buttons);

    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(232, 134);
}

void TfrmPoll::SetLines(const std::vector<std::string>& lines) {
    lbxPollGroups->clear();
    for (const auto& line : lines) lbxPollGroups->addItem(QString::fromStdString(line));
}

std::vector<int> TfrmPoll::SelectedIndexes() const {
    std::vector<int> out;
    for (int i = 0; i < lbxPollGroups->count(); ++i)
        if (lbxPollGroups->item(i)->isSelected()) out.push_back(i);
    return out;
}

std::optional<std::vector<int>> TPollChooser::Choose(const std::vector<std::string>& lines) {
    TfrmPoll dialog(FParent);
    dialog.SetLines(lines);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.SelectedIndexes();
}

}  // namespace mv::ui
