#pragma once
// The one database connection of the scheduler and where its three values
// come from: the schedule file's "Database Settings", else the product
// family's registry settings, else the operator at the login dialog.
//
// Main thread only. The values live in a TConnectionValues, which report
// jobs copy under its lock when they start. No message this class posts
// carries the password, and the driver's error texts are never shown.

#include "core/db/ConnectionValues.h"
#include "platform/odbc/Odbc.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mv {

class TRegistry;
class TScheduleFile;

// The window's login dialog "MVReport Database Login". Shown modally with
// the handed-in values; the chosen data source, user name and password on
// OK, nullopt on Cancel.
class ILoginDialog {
public:
    virtual ~ILoginDialog() = default;
    virtual std::optional<TConnectionSettings> Execute(const TConnectionSettings& handedIn) = 0;
};

class TDatabaseConnection {
public:
    using TPoster = std::function<void(const std::string&)>;
    using TShowDataSource = std::function<void(const std::string&)>;

    static constexpr const char* kSessionName = "MVRptSchSession";
    static constexpr const char* kRegistryKey = "\\Software\\Orvane Corporation\\Merivant\\Settings\\";
    static constexpr const char* kDataSourceKey = "ODBC Data Source";
    static constexpr const char* kUserNameKey = "ODBC Username";
    static constexpr const char* kPasswordKey = "ODBC Password";

    // `post` receives the status messages; `showDataSource` sets the
    // window's data source label (may be empty).
    TDatabaseConnection(TConnectionValues& values, TPoster post, TShowDataSource showDataSource = {});
    ~TDatabaseConnection();  // closes the connection

    // Opens the connection for the current values; false, quietly, when it
    // cannot (empty data source, unknown data source, wrong logon...). A
    // change of data source or user reconnects; a change of the password
    // alone does not.
    bool ConnectDatabase();
    void DisconnectDatabase();
    bool IsDatabaseConnected() const { return FConnected; }

    // Empties the three values and reads them from the family's registry
    // settings; missing values read as empty, a failure keeps what was read.
    void ReadRegistryConnection(const TRegistry& registry);
    // The same from TRegistry::DefaultFileName() ($MV_REGISTRY_FILE, Wine's
    // system.reg), loading only the settings key.
    void ReadRegistryConnection();

    // The first connection at start-up: stored settings, else the registry;
    // posts "Connected to database %p." or "Database NOT connected.".
    bool StartupConnection(TScheduleFile& scheduleFile);
    // "&Connect": the login dialog, the connection, and on success the
    // values written back to the schedule file.
    bool ConnectAction(TScheduleFile& scheduleFile, ILoginDialog& dialog);
    // "&Disconnect".
    void DisconnectAction();

    // For the editor's queries while connected.
    const char* SessionName() const { return kSessionName; }
    const std::string& DatabaseName() const { return FLastDataSource; }
    odbc::TConnection& Database();

    // Every data source name the driver manager knows, for the login list.
    static std::vector<std::string> DataSourceNames();

private:
    // Reads the stored values (and, when data source or user is set, the
    // password) into the values. Throws on the first failure; what was read
    // so far stays.
    void ReadStoredSettings(TScheduleFile& scheduleFile);
    void Post(const std::string& text) const;
    void Connected(const std::string& dataSource);

    TConnectionValues& FValues;
    TPoster FPost;
    TShowDataSource FShowDataSource;
    std::string FLastDataSource, FLastUserName;
    bool FConnected = false;
    std::unique_ptr<odbc::TConnection> FDatabase;
    // The login dialog falls back to these on Cancel; nothing sets them.
    std::string FFallbackDataSource, FFallbackUserName;
};

}  // namespace mv
