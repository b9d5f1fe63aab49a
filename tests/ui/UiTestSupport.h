#pragma once
// Helpers of the window tests: answering message boxes and modal dialogs,
// and small stand-ins for the scheduler and database ports.

#include "ui/app/MessageBoxes.h"
#include "ui/app/SchedulerPort.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mv::ui::test {

// Records every message box and answers it with Ok; restores real boxes
// when it goes.
class TMessageRecorder {
public:
    TMessageRecorder() {
        FOld = SetMessageHandler([this](const TMessageRequest& r) {
            Requests.push_back(r);
            if (OnMessage) OnMessage(r);
            return QMessageBox::Ok;
        });
    }
    ~TMessageRecorder() { SetMessageHandler(FOld); }
    std::vector<TMessageRequest> Requests;
    std::function<void(const TMessageRequest&)> OnMessage;

private:
    TMessageHandler FOld;
};

// Runs `action` on the next modal dialog once it is shown (checked every
// 10 ms). The timer belongs to qApp, so it outlives the calling test only
// until it fired.
inline void WhenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* w = QApplication::activeModalWidget(); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        }
    });
    timer->start();
}

struct TFakeScheduler final : ISchedulerPort {
    explicit TFakeScheduler(INextGroupView& view) : View(view) {}
    void RebuildRunQueue() override {
        ++Rebuilds;
        View.ShowNextGroup(NextGroup, NextTime);
    }
    void RunTimerTick() override { ++Ticks; }
    void StartProcessNow(IGroupChooser& chooser) override { Chosen = chooser.Choose(Lines); }
    void StopProcess() override { ++Stops; }
    void RemoveGroup(const TVidUduzadevGroupItem& group) override { Removed.push_back(&group); }
    void Shutdown() override {
        ++Shutdowns;
        if (OnShutdown) OnShutdown();
    }

    INextGroupView& View;
    std::string NextGroup = "3";
    std::string NextTime = "03/11/2024 06:00:00";
    std::vector<std::string> Lines{"1", "2", "3"};
    std::optional<std::vector<int>> Chosen;
    std::vector<const TVidUduzadevGroupItem*> Removed;
    int Rebuilds = 0, Ticks = 0, Stops = 0, Shutdowns = 0;
    // The window destroys its port when it closes; this outlives it.
    std::function<void()> OnShutdown;
};

struct TFakeDatabase final : IDatabasePort {
    bool IsDatabaseConnected() const override { return Connected; }
    bool StartupConnect() override {
        Connected = ConnectsAtStart;
        return Connected;
    }
    // With AskLogin the dialog is shown first, and its answer decides.
    bool Connect(ILoginDialog& dialog) override {
        if (!AskLogin) return Connected = true;
        TLoginValues values;
        return Connected = dialog.Execute(values);
    }
    bool AskLogin = false;
    void Disconnect() override { Connected = false; }
    std::string DataSource() const override { return "DemoSQLite"; }

    bool ConnectsAtStart = false;
    bool Connected = false;
};

}  // namespace mv::ui::test
