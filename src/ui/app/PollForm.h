#pragma once
// "&Start Process Now...": the dialog "Groups", in which the operator picks
// the groups to run at once.

#include "ui/app/SchedulerPort.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace mv::ui {

class TfrmPoll : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPoll(QWidget* parent = nullptr);

    // One line per group, in container order.
    void SetLines(const std::vector<std::string>& lines);
    // The indexes of the selected lines, ascending.
    std::vector<int> SelectedIndexes() const;

    QListWidget* lbxPollGroups = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
};

// The start-now dialog as the scheduler port sees it: shown modally over
// `parent`.
class TPollChooser final : public IGroupChooser {
public:
    explicit TPollChooser(QWidget* parent) : FParent(parent) {}
    std::optional<std::vector<int>> Choose(const std::vector<std::string>& lines) override;

private:
    QWidget* FParent;
};

}  // namespace mv::ui
