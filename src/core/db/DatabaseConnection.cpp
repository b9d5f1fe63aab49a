#include "core/db/DatabaseConnection.h"

#include "core/db/Encrypt.h"
#include "core/schedule/ScheduleFile.h"
#include "core/timing/FormatText.h"
#include "platform/registry/Registry.h"

#include <stdexcept>

namespace mv {

namespace {
constexpr const char* kNotConnected = "Database NOT connected.";

bool IsBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }
}  // namespace

TDatabaseConnection::TDatabaseConnection(TConnectionValues& values, TPoster post, TShowDataSource showDataSource)
    : FValues(values), FPost(std::move(post)), FShowDataSource(std::move(showDataSource)) {}

TDatabaseConnection::~TDatabaseConnection() { DisconnectDatabase(); }

void TDatabaseConnection::Post(const std::string& text) const {
    if (FPost) FPost(text);
}

bool TDatabaseConnection::ConnectDatabase() {
    const TConnectionSettings v = FValues.Get();
    if (IsBlank(v.DataSource)) {
        DisconnectDatabase();
        return false;
    }
    if (v.DataSource != FLastDataSource || v.UserName != FLastUserName) {
        FLastDataSource = v.DataSource;
        FLastUserName = v.UserName;
        if (FConnected) DisconnectDatabase();
    }
    if (!FConnected) {
        try {
            auto db = std::make_unique<odbc::TConnection>();
            // No prompt: the driver manager is asked with SQL_DRIVER_NOPROMPT.
            db->Connect(odbc::TLogon{v.DataSource, v.UserName, v.Password, ""});
            FDatabase = std::move(db);
        } catch (...) {
            FDatabase.reset();
            FConnected = false;
            return false;
        }
    }
    FConnected = true;
    return true;
}

void TDatabaseConnection::DisconnectDatabase() {
    if (!FConnected) return;
    if (FDatabase) FDatabase->Disconnect();
    FDatabase.reset();
    FConnected = false;
}

odbc::TConnection& TDatabaseConnection::Database() {
    if (!FConnected || !FDatabase) throw std::logic_error("the database is not connected");
    return *FDatabase;
}

void TDatabaseConnection::ReadRegistryConnection(const TRegistry& registry) {
    TConnectionSettings v;
    FValues.Set(v);
    try {
        if (!registry.KeyExists(kRegistryKey)) return;
        v.DataSource = registry.ReadValue(kRegistryKey, "ODBC_Source").value_or("");
        FValues.Set(v);
        v.UserName = registry.ReadValue(kRegistryKey, "ODBC_User").value_or("");
        FValues.Set(v);
        v.Password = TSettingsEncrypt().UnpackSecret(registry.ReadValue(kRegistryKey, "ODBC_Pass").value_or("")).Secret;
        FValues.Set(v);
    } catch (...) {
    }
}

void TDatabaseConnection::ReadRegistryConnection() {
    ReadRegistryConnection(TRegistry::Load(TRegistry::DefaultFileName(), {kRegistryKey}));
}

void TDatabaseConnection::ReadStoredSettings(TScheduleFile& scheduleFile) {
    TIniFile& ini = scheduleFile.Ini();
    const char* section = TScheduleFile::kDatabaseSection;
    TConnectionSettings v;
    v.DataSource = ini.ReadString(section, kDataSourceKey, "");
    FValues.Set(v);
    v.UserName = ini.ReadString(section, kUserNameKey, "");
    FValues.Set(v);
    // Until it has been unpacked, the password is the stored text itself.
    v.Password = ini.ReadString(section, kPasswordKey, "");
    FValues.Set(v);
    if (!IsBlank(v.DataSource) || !IsBlank(v.UserName)) {
        v.Password = UnpackSecretBase64(v.Password).Secret;
        FValues.Set(v);
    }
}

void TDatabaseConnection::Connected(const std::string& dataSource) {
    if (FShowDataSource) FShowDataSource(dataSource);
    Post(FormatText("Connected to database %p.", {TFormatArg(dataSource)}));
}

bool TDatabaseConnection::StartupConnection(TScheduleFile& scheduleFile) {
    try {
        ReadStoredSettings(scheduleFile);
        const TConnectionSettings v = FValues.Get();
        if (IsBlank(v.DataSource) && IsBlank(v.UserName)) {
            ReadRegistryConnection();
            const TConnectionSettings r = FValues.Get();
            if (IsBlank(r.DataSource) && IsBlank(r.UserName)) {
                Post(kNotConnected);
                return false;
            }
        }
    } catch (...) {
        // What was read so far is tried.
    }
    if (ConnectDatabase()) {
        Connected(FValues.Get().DataSource);
        return true;
    }
    Post(kNotConnected);
    return false;
}

bool TDatabaseConnection::ConnectAction(TScheduleFile& scheduleFile, ILoginDialog& dialog) {
    TConnectionSettings v = FValues.Get();
    if (IsBlank(v.DataSource) && IsBlank(v.UserName)) {
        try {
            ReadStoredSettings(scheduleFile);
        } catch (...) {
        }
    }
    const std::optional<TConnectionSettings> chosen = dialog.Execute(FValues.Get());
    if (!chosen) {
        v = FValues.Get();
        v.DataSource = FFallbackDataSource;
        v.UserName = FFallbackUserName;
        FValues.Set(v);
        return false;
    }
    FValues.Set(*chosen);
    if (!ConnectDatabase()) {
        Post(kNotConnected);
        return false;
    }
    Connected(chosen->DataSource);
    try {
        TIniFile& ini = scheduleFile.Ini();
        const char* section = TScheduleFile::kDatabaseSection;
        ini.WriteString(section, kDataSourceKey, chosen->DataSource);
        ini.WriteString(section, kUserNameKey, chosen->UserName);
        ini.WriteString(section, kPasswordKey, PackSecretBase64(chosen->Password));
        scheduleFile.Flush();
    } catch (...) {
        // The connection stays open; the values are written at the next save.
    }
    return true;
}

void TDatabaseConnection::DisconnectAction() {
    try {
        DisconnectDatabase();
    } catch (...) {
    }
    Post(FormatText("Disconnected from database %p.", {TFormatArg(FValues.Get().DataSource)}));
}

std::vector<std::string> TDatabaseConnection::DataSourceNames() {
    std::vector<std::string> names;
    for (const auto& ds : odbc::DataSources()) names.push_back(ds.Name);
    return names;
}

}  // namespace mv
