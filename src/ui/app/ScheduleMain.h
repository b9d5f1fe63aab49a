#pragma once
// The main window: menu, tool bar, status memo, "Next Group"/"Next Time",
// "Detail Level", the two timers, start-up and closing. The scheduling
// itself is behind ISchedulerPort and IDatabasePort (SchedulerPort.h).

#include "core/runtime/StatusLog.h"
#include "ui/app/SchedulerPort.h"

#include <QMainWindow>
#include <QStringList>

#include <chrono>
#include <memory>
#include <string>

class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QTimer;
class QToolBar;

namespace mv {
class TRpe;
class TScheduleFile;
class TVidUduzadevGroups;
}  // namespace mv

namespace mv::ui {

class IReportChooser;
class TMyLoginForm;
class TfrmSelectReports;

inline constexpr const char* kMainCaption = "MV Rededor Izivivari";
inline constexpr const char* kHelpFileName = "MVVidUduzadev.chm";
inline constexpr int kDefaultLeft = 202, kDefaultTop = 95, kDefaultWidth = 465, kDefaultHeight = 377;
inline constexpr std::chrono::milliseconds kRunTimerInterval{1000};
inline constexpr std::chrono::milliseconds kSaveTimerInterval{600000};
inline constexpr std::chrono::milliseconds kExitConfirmTimeout{180000};

struct TMainWindowOptions {
    std::string AppDir;          // the executable's folder with a trailing "/"
    bool Headless = false;       // status lines also to standard error
    bool Debug = false;          // "/debug"
    // Opens the report engine of one of the report selection window's two
    // bindings at start-up; throws when the engine cannot be opened. Empty:
    // the bindings open it on first use.
    std::function<void(TRpe& binding)> OpenReportEngine;
    TSchedulerFactory MakeScheduler;  // empty: a port that schedules nothing
    TDatabaseFactory MakeDatabase;    // empty: never connected
    std::chrono::milliseconds ExitConfirmTimeout = kExitConfirmTimeout;
    // Help: open a file with a viewer; empty uses OpenHelp() (HelpViewer.h).
    std::function<void(const std::string& helpFile, int command)> ShowHelp;
};

class TfrmVidUduzadevrMain : public QMainWindow, private IStatusMemo, private INextGroupView {
    Q_OBJECT
public:
    explicit TfrmVidUduzadevrMain(TMainWindowOptions options, QWidget* parent = nullptr);
    ~TfrmVidUduzadevrMain() override;

    TStatusLog& StatusLog() { return *FStatusLog; }
    TVidUduzadevGroups& ScheduleGroups() { return *FScheduleGroups; }
    TScheduleFile* ScheduleFile() { return FScheduleFile.get(); }
    const std::string& AppDir() const { return FAppDir; }
    const std::string& HelpFileName() const { return FHelpFile; }
    bool StartupFailed() const { return !FStartupError.empty(); }
    // The report selection window, created hidden at start-up; it exists
    // for the window's whole life, also when the engine could not be opened.
    TfrmSelectReports* SelectReports() { return FSelectReports.get(); }
    IReportChooser* ReportChooser();

    // Re-evaluates the enabled state of every action (also done on a timer).
    void UpdateActions();
    // The end of the session from outside (SIGTERM, SIGINT, the desktop
    // logging out): saves the schedule file at once, then closes without
    // asking.
    void ShutdownNow();
    // Restores the window when minimized and brings it to the front.
    void RestoreAndRaise();

    // While the group editor is open the run timer starts no group, since the
    // editor may delete the group held as next. The editor's caller brackets
    // its modal run with these two; EndGroupEdit(true) rebuilds the queue.
    void BeginGroupEdit();
    void EndGroupEdit(bool groupsChanged);
    bool GroupEditOpen() const { return FGroupEditOpen; }

    // The handlers, public for tests and the tool bar.
    void tmrRunReportTimer();
    void tmrINISaverTimer();
    void actExitExecute();
    void actConnectExecute();
    void actDisconnectExecute();
    void actStartProcessNowExecute();
    void actStopProcessExecute();
    void actSetupExecute();
    void actClearMessagesExecute();
    void actLogMessagesExecute();
    void actHelpExecute();
    void actContentsExecute();
    void actAboutExecute();
    void radDetailClick(int index);

    // Controls, for tests.
    QAction* actExit = nullptr;
    QAction* actConnect = nullptr;
    QAction* actDisconnect = nullptr;
    QAction* actStartProcessNow = nullptr;
    QAction* actStopProcess = nullptr;
    QAction* actSetup = nullptr;
    QAction* actClearMessages = nullptr;
    QAction* actLogMessages = nullptr;
    QAction* actHelp = nullptr;
    QAction* actContents = nullptr;
    QAction* actAbout = nullptr;
    QToolBar* tbrMain = nullptr;
    QLabel* lblDataSource = nullptr;
    QPlainTextEdit* memoStatus = nullptr;
    QLabel* lblPollGroup = nullptr;
    QLabel* lblPollTime = nullptr;
    QGroupBox* radDetail = nullptr;
    QButtonGroup* FDetailButtons = nullptr;
    QLabel* pnlStatus0 = nullptr;
    QLabel* pnlStatus1 = nullptr;
    QTimer* tmrRunReport = nullptr;
    QTimer* tmrINISaver = nullptr;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls();
    void CreateActions();
    void ConnectHandlers();
    void LoadStartup();
    void FirstShow();
    void FinishClose();
    // Saves the schedule before an exit the operator confirmed; when that
    // fails, asks whether to exit anyway. False: stay open.
    bool SavedBeforeExit();

    // IStatusMemo
    int LineCount() const override;
    void DeleteLastLines(int count) override;
    void InsertFirstLine(const std::string& line) override;
    void ShowFirstLine() override;
    // INextGroupView
    void ShowNextGroup(std::string_view group, std::string_view time) override;

    class TWaker;
    class TLogDialog;

    TMainWindowOptions FOptions;
    std::string FAppDir;
    std::string FScheduleFileName;
    std::string FHelpFile;
    std::string FStartupError;  // the report engine could not be opened
    bool FFirstShow = true;
    bool FSaving = false;        // re-entrancy guard of the periodic save
    bool FForceClose = false;    // close without asking (shutdown)
    bool FClosed = false;        // the closing steps ran
    bool FGroupEditOpen = false;

    // Declared in the order of their creation; destroyed in reverse, so the
    // ports go first and the status log last.
    std::shared_ptr<TStatusLog> FStatusLog;
    std::unique_ptr<TWaker> FWaker;
    std::unique_ptr<TLogDialog> FLogDialog;
    // Owns the report catalog, which the schedule file reads its groups'
    // reports from.
    std::unique_ptr<TfrmSelectReports> FSelectReports;
    std::unique_ptr<TVidUduzadevGroups> FScheduleGroups;
    std::unique_ptr<TScheduleFile> FScheduleFile;
    std::unique_ptr<TRuntimeContext> FContext;
    std::unique_ptr<IDatabasePort> FDatabase;
    std::unique_ptr<ISchedulerPort> FScheduler;
    TMyLoginForm* FLoginForm = nullptr;  // created by "&Connect", kept after Cancel, gone after OK
};

// The long part of a hint: the text after the first "|", or all of it.
QString LongHint(const QString& hint);
// The short part: the text before the first "|", or all of it.
QString ShortHint(const QString& hint);
// "Caption|pattern|Caption|pattern" as Qt's name filters, "*.*" as "*".
QStringList QtFileFilters(std::string_view filter);

}  // namespace mv::ui
