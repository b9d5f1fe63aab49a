#pragma once
// What the main window asks of the scheduler runtime and of the database
// connection. The window only forwards timer ticks and menu actions and
// shows what it is told; the logic lives behind these two interfaces, so
// the window can be tested with small stand-ins and the runtime without a
// window. main() plugs in the real ones (see RuntimeAdapter.h).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mv {
namespace odbc {
class TConnection;
}
class TScheduleFile;
class TStatusLog;
class TVidUduzadevGroupItem;
class TVidUduzadevGroups;
}  // namespace mv

namespace mv::ui {

// The labels "Next Group" and "Next Time".
class INextGroupView {
public:
    virtual ~INextGroupView() = default;
    virtual void ShowNextGroup(std::string_view group, std::string_view time) = 0;
};

// The start-now dialog "Groups": one line per group; the indexes of the
// selected lines in ascending order on OK, nullopt on Cancel.
class IGroupChooser {
public:
    virtual ~IGroupChooser() = default;
    virtual std::optional<std::vector<int>> Choose(const std::vector<std::string>& lines) = 0;
};

class ISchedulerPort {
public:
    virtual ~ISchedulerPort() = default;
    // Build the run queue, take its head as next group, show it: at start
    // and after the group editor changed groups.
    virtual void RebuildRunQueue() = 0;
    // The run timer's tick (1000 ms).
    virtual void RunTimerTick() = 0;
    // "&Start Process Now...".
    virtual void StartProcessNow(IGroupChooser& chooser) = 0;
    // "Stop &Process": running jobs are asked to stop, no waiting.
    virtual void StopProcess() = 0;
    // The group editor is about to delete `group`: the port lets go of it
    // (queue, next group, the run state of a job still running for it).
    virtual void RemoveGroup(const TVidUduzadevGroupItem& group) = 0;
    // At exit: stop the jobs, wait for them a bounded time, keep their run
    // state; nothing calls the port afterwards.
    virtual void Shutdown() = 0;
};

// The three connection values as the login dialog edits them.
struct TLoginValues {
    std::string DataSource;
    std::string UserName;
    std::string Password;
};

// The login dialog: shows `values`, and on OK replaces them and answers true.
class ILoginDialog {
public:
    virtual ~ILoginDialog() = default;
    virtual bool Execute(TLoginValues& values) = 0;
};

class IDatabasePort {
public:
    virtual ~IDatabasePort() = default;
    virtual bool IsDatabaseConnected() const = 0;
    // The connection with the stored settings at the window's first showing;
    // posts its own status messages. True when connected.
    virtual bool StartupConnect() = 0;
    // "&Connect" through the login dialog; true when connected.
    virtual bool Connect(ILoginDialog& dialog) = 0;
    // "&Disconnect".
    virtual void Disconnect() = 0;
    // The data source of the open (or last) connection, for "Data Source:".
    virtual std::string DataSource() const = 0;
    // The open connection, for the group editor's station and filter
    // queries on the main thread; null while not connected.
    virtual odbc::TConnection* Connection() { return nullptr; }
};

// What a port is built from: objects the main window owns and keeps alive
// for the port's whole life.
struct TRuntimeContext {
    TVidUduzadevGroups& Groups;
    TScheduleFile* ScheduleFile;  // null when it could not be opened
    TStatusLog& Log;
    INextGroupView& View;
    std::string AppDir;
    bool Debug = false;
};

using TSchedulerFactory = std::function<std::unique_ptr<ISchedulerPort>(TRuntimeContext&)>;
using TDatabaseFactory = std::function<std::unique_ptr<IDatabasePort>(TRuntimeContext&)>;

}  // namespace mv::ui
