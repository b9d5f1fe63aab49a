#include "ui/app/RuntimeAdapter.h"

#include "core/db/ConnectionValues.h"
#include "core/db/DatabaseConnection.h"
#include "core/runtime/MainLoop.h"
#include "core/runtime/Scheduler.h"
#include "core/runtime/StatusLog.h"
#include "core/schedule/ScheduleFile.h"

#include <QObject>

#include <utility>

namespace mv::ui {

namespace {

// Queued calls onto the main thread's event loop. Calls still queued when
// this object goes are dropped by Qt with their context object.
class TQtMainLoop final : public IMainLoop {
public:
    void Post(std::function<void()> call) override {
        QMetaObject::invokeMethod(&FContext, std::move(call), Qt::QueuedConnection);
    }

private:
    QObject FContext;
};

class TViewAdapter final : public ISchedulerView {
public:
    explicit TViewAdapter(INextGroupView& view) : FView(view) {}
    void ShowNextGroup(std::string_view group, std::string_view time) override { FView.ShowNextGroup(group, time); }

private:
    INextGroupView& FView;
};

class TChooserAdapter final : public IStartNowDialog {
public:
    explicit TChooserAdapter(IGroupChooser& chooser) : FChooser(chooser) {}
    std::optional<std::vector<int>> Execute(const std::vector<std::string>& lines) override {
        return FChooser.Choose(lines);
    }

private:
    IGroupChooser& FChooser;
};

class TLoginAdapter final : public mv::ILoginDialog {
public:
    explicit TLoginAdapter(ui::ILoginDialog& dialog) : FDialog(dialog) {}
    std::optional<TConnectionSettings> Execute(const TConnectionSettings& handedIn) override {
        TLoginValues values{handedIn.DataSource, handedIn.UserName, handedIn.Password};
        if (!FDialog.Execute(values)) return std::nullopt;
        return TConnectionSettings{values.DataSource, values.UserName, values.Password};
    }

private:
    ui::ILoginDialog& FDialog;
};

class TSchedulerPort final : public ISchedulerPort {
public:
    TSchedulerPort(TRuntimeContext& c, std::shared_ptr<TConnectionValues> values)
        : FValues(std::move(values)),
          FView(c.View),
          FScheduler(c.Groups, c.ScheduleFile, c.Log, *FValues, FLoop, &FView,
                     TSchedulerOptions{c.AppDir, c.Debug}) {}
    void RebuildRunQueue() override { FScheduler.RebuildRunQueue(); }
    void RunTimerTick() override { FScheduler.tmrRunReportTimer(); }
    void StartProcessNow(IGroupChooser& chooser) override {
        TChooserAdapter dialog(chooser);
        FScheduler.StartProcessNow(dialog);
    }
    void StopProcess() override { FScheduler.StopProcess(); }
    void RemoveGroup(const TVidUduzadevGroupItem& group) override { FScheduler.RemoveGroup(group); }
    void Shutdown() override { FScheduler.Shutdown(); }

private:
    std::shared_ptr<TConnectionValues> FValues;
    TQtMainLoop FLoop;
    TViewAdapter FView;
    TScheduler FScheduler;  // last: destroyed first, while the loop and view still exist
};

class TDatabasePort final : public IDatabasePort {
public:
    TDatabasePort(TRuntimeContext& c, std::shared_ptr<TConnectionValues> values)
        : FValues(std::move(values)),
          FScheduleFile(c.ScheduleFile),
          FLog(c.Log),
          FConnection(*FValues, [log = &c.Log](const std::string& text) { log->PostStatus(text); }) {}
    bool IsDatabaseConnected() const override { return FConnection.IsDatabaseConnected(); }
    bool StartupConnect() override {
        if (!FScheduleFile) {
            FLog.PostStatus("Database NOT connected.");
            return false;
        }
        return FConnection.StartupConnection(*FScheduleFile);
    }
    bool Connect(ui::ILoginDialog& dialog) override {
        if (!FScheduleFile) return false;
        TLoginAdapter login(dialog);
        return FConnection.ConnectAction(*FScheduleFile, login);
    }
    void Disconnect() override { FConnection.DisconnectAction(); }
    std::string DataSource() const override { return FValues->Get().DataSource; }
    odbc::TConnection* Connection() override {
        return FConnection.IsDatabaseConnected() ? &FConnection.Database() : nullptr;
    }

private:
    std::shared_ptr<TConnectionValues> FValues;
    TScheduleFile* FScheduleFile;
    TStatusLog& FLog;
    TDatabaseConnection FConnection;
};

}  // namespace

void UseSchedulerRuntime(TMainWindowOptions& options) {
    auto values = std::make_shared<TConnectionValues>();
    options.MakeDatabase = [values](TRuntimeContext& c) -> std::unique_ptr<IDatabasePort> {
        return std::make_unique<TDatabasePort>(c, values);
    };
    options.MakeScheduler = [values](TRuntimeContext& c) -> std::unique_ptr<ISchedulerPort> {
        return std::make_unique<TSchedulerPort>(c, values);
    };
}

}  // namespace mv::ui
