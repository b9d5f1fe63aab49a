#pragma once
// The question asked before the program closes. It is not modal: while it is
// open the main window's timers keep running, so due reports still start.
// An unanswered question goes away after three minutes and the program keeps
// running.

#include <QDialog>

#include <chrono>

class QLabel;
class QPushButton;
class QTimer;

namespace mv::ui {

class TfrmExitConfirm : public QDialog {
    Q_OBJECT
public:
    enum TResult { crNone = 0, crOK = 1, crCancel = 2, crTimeOut = 3 };

    explicit TfrmExitConfirm(QWidget* parent = nullptr);
    TResult Result() const { return FResult; }
    void Finish(TResult result);

    QLabel* Image1 = nullptr;
    QLabel* lblConfirm = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QTimer* tmTimeOut = nullptr;

protected:
    void reject() override;  // Escape counts as Cancel

private:
    TResult FResult = crNone;
};

// True when the program may close: "&OK" within `timeout`. Cancel and the
// time-out answer false, and so does a second call while a question is open
// (the second close is refused at once). A failure while asking answers true.
bool ConfirmExit(std::chrono::milliseconds timeout = std::chrono::milliseconds(180000));

// The question now open, or null.
TfrmExitConfirm* PendingExitConfirm();

// Ends an open question as Cancel (the program is being shut down from
// outside and closes without it).
void AbortExitConfirm();

}  // namespace mv::ui
