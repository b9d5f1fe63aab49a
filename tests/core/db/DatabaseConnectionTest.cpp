// The scheduler's database connection against the demo data sources of the
// test services (SQLite and PostgreSQL).
#include "core/db/DatabaseConnection.h"
#include "core/db/Encrypt.h"
#include "core/schedule/ReportLookup.h"
#include "core/schedule/ScheduleDataDef.h"
#include "core/schedule/ScheduleFile.h"
#include "../../platform/odbc/TestServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace mv {
namespace {

namespace fs = std::filesystem;

struct TNoCatalog : IReportLookup {
    void FindReport(const std::string& key, TReportItem&) const override { throw std::runtime_error(key); }
};

struct TLogin : ILoginDialog {
    std::optional<TConnectionSettings> Execute(const TConnectionSettings& handedIn) override {
        HandedIn.push_back(handedIn);
        return Answer;
    }
    std::optional<TConnectionSettings> Answer;
    std::vector<TConnectionSettings> HandedIn;
};

class Database : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest: the services fixture provides the data sources";
        setenv("MV_REGISTRY_FILE", (FDir.Path() / "no-registry.reg").c_str(), 1);
        FFile = std::make_unique<TScheduleFile>((FDir.Path() / TScheduleFile::kFileName).string(), FGroups,
                                                FCatalog, [](const std::string&) {});
        FFile->Open();
        FDb = std::make_unique<TDatabaseConnection>(
            FValues, [this](const std::string& m) { FMessages.push_back(m); },
            [this](const std::string& ds) { FLabel = ds; });
    }
    void TearDown() override { unsetenv("MV_REGISTRY_FILE"); }

    void Store(const std::string& ds, const std::string& user, const std::string& passwordText) {
        FFile->Ini().WriteString(TScheduleFile::kDatabaseSection, "ODBC Data Source", ds);
        FFile->Ini().WriteString(TScheduleFile::kDatabaseSection, "ODBC Username", user);
        FFile->Ini().WriteString(TScheduleFile::kDatabaseSection, "ODBC Password", passwordText);
    }
    std::string Stored(const char* key) { return FFile->Ini().ReadString(TScheduleFile::kDatabaseSection, key, ""); }
    std::string Ask(const std::string& sql) {
        odbc::TStatement st(FDb->Database());
        st.ExecuteDirect(sql);
        EXPECT_TRUE(st.Fetch());
        return std::string(st.Text(0));
    }
    std::string AllMessages() const {
        std::string s;
        for (const auto& m : FMessages) s += m + "\n";
        return s;
    }

    const test::TServices& S = test::TServices::Get();
    test::TScratchDir FDir;
    TVidUduzadevGroups FGroups;
    TNoCatalog FCatalog;
    std::unique_ptr<TScheduleFile> FFile;
    TConnectionValues FValues;
    std::vector<std::string> FMessages;
    std::string FLabel;
    std::unique_ptr<TDatabaseConnection> FDb;
};

TEST_F(Database, StoredSettings) {
    struct Case {
        std::string ds, user, password;
    };
    for (const Case& c : {Case{"MVDEMO", "", ""}, Case{S["MV_PG_DSN"], S["MV_PG_USER"], S["MV_PG_PASSWORD"]}}) {
        SCOPED_TRACE(c.ds);
        FMessages.clear();
        Store(c.ds, c.user, PackSecretBase64(c.password));
        ASSERT_TRUE(FDb->StartupConnection(*FFile)) << AllMessages();
        EXPECT_EQ(FMessages, std::vector<std::string>{"Connected to database " + c.ds + "."});
        EXPECT_EQ(FLabel, c.ds);
        EXPECT_EQ(FValues.Get().Password, c.password);
        EXPECT_EQ(Ask("SELECT COUNT(*) FROM MV_SITES"), "20");
        FDb->DisconnectAction();
        EXPECT_FALSE(FDb->IsDatabaseConnected());
        EXPECT_EQ(FMessages.back(), "Disconnected from database " + c.ds + ".");
    }
}

// Neither data source nor user in the schedule file: the family's registry
// settings, in both export forms.
TEST_F(Database, RegistryFallback) {
    for (const char* file : {"registry_regedit_pg.reg", "registry_wine_pg.reg"}) {
        SCOPED_TRACE(file);
        FMessages.clear();
        FDb->DisconnectDatabase();
        setenv("MV_REGISTRY_FILE", (std::string(MV_TEST_DATA_DIR) + "/runtime/" + file).c_str(), 1);
        ASSERT_TRUE(FDb->StartupConnection(*FFile)) << AllMessages();
        const TConnectionSettings v = FValues.Get();
        EXPECT_EQ(v.DataSource, "MVDEMO_PG");
        EXPECT_EQ(v.UserName, "mvdemo");
        EXPECT_EQ(v.Password, S["MV_PG_PASSWORD"]);
        EXPECT_EQ(Ask("SELECT current_user"), "mvdemo");
    }
}

TEST_F(Database, NoAttemptOrAFailedOne) {
    // Nowhere a data source: no attempt.
    EXPECT_FALSE(FDb->StartupConnection(*FFile));
    EXPECT_EQ(FMessages, std::vector<std::string>{"Database NOT connected."});

    // A user but no data source: the registry is not asked, the attempt fails at once.
    setenv("MV_REGISTRY_FILE", MV_TEST_DATA_DIR "/runtime/registry_regedit_pg.reg", 1);
    FMessages.clear();
    Store("", "mvdemo", PackSecretBase64("x"));
    EXPECT_FALSE(FDb->StartupConnection(*FFile));
    EXPECT_EQ(FValues.Get().DataSource, "");
    EXPECT_EQ(FMessages, std::vector<std::string>{"Database NOT connected."});

    // A wrong password: the driver's text, which may quote it, is not shown.
    const std::string secret = "Wrong-Secret-42";
    FMessages.clear();
    Store(S["MV_PG_DSN"], S["MV_PG_USER"], PackSecretBase64(secret));
    EXPECT_FALSE(FDb->StartupConnection(*FFile));
    EXPECT_FALSE(FDb->IsDatabaseConnected());
    EXPECT_EQ(FMessages, std::vector<std::string>{"Database NOT connected."});
    EXPECT_THROW(FDb->Database(), std::logic_error);

    // A stored password that is not Base64 is tried as it stands (SQLite takes any).
    FMessages.clear();
    Store("MVDEMO", "someone", "not base64!");
    EXPECT_TRUE(FDb->StartupConnection(*FFile));
    EXPECT_EQ(FValues.Get().Password, "not base64!");
}

TEST_F(Database, ConnectDialogAndReconnect) {
    Store("MVDEMO", "", PackSecretBase64(""));
    TLogin login;

    // Cancel empties data source and user; the password stays.
    FValues.Set({"", "", "kept"});
    login.Answer.reset();
    EXPECT_FALSE(FDb->ConnectAction(*FFile, login));
    ASSERT_EQ(login.HandedIn.size(), 1u);
    EXPECT_EQ(login.HandedIn[0].DataSource, "MVDEMO");  // read again from the file
    EXPECT_EQ(FValues.Get().DataSource, "");
    EXPECT_EQ(FValues.Get().Password, "");  // the file's (empty) password was read before the dialog

    // OK: connected, and the three values go to the schedule file on disk.
    login.Answer = TConnectionSettings{S["MV_PG_DSN"], S["MV_PG_USER"], S["MV_PG_PASSWORD"]};
    ASSERT_TRUE(FDb->ConnectAction(*FFile, login)) << AllMessages();
    EXPECT_EQ(FMessages.back(), "Connected to database " + S["MV_PG_DSN"] + ".");
    EXPECT_EQ(Ask("SELECT current_user"), S["MV_PG_USER"]);
    const std::string packed = Stored("ODBC Password");
    EXPECT_EQ(packed.size(), 40u);
    EXPECT_EQ(UnpackSecretBase64(packed).Secret, S["MV_PG_PASSWORD"]);
    TScheduleFile reread(FFile->FileName(), FGroups, FCatalog, [](const std::string&) {});
    reread.Open();
    EXPECT_EQ(reread.Ini().ReadString(TScheduleFile::kDatabaseSection, "ODBC Username", ""), S["MV_PG_USER"]);

    // The same data source with another user: a new connection as that user.
    FValues.Set({S["MV_PG_DSN"], S["MV_PG_USER2"], S["MV_PG_PASSWORD2"]});
    ASSERT_TRUE(FDb->ConnectDatabase());
    EXPECT_EQ(Ask("SELECT current_user"), S["MV_PG_USER2"]);
    // A changed password alone keeps the open connection.
    FValues.Set({S["MV_PG_DSN"], S["MV_PG_USER2"], "whatever"});
    EXPECT_TRUE(FDb->ConnectDatabase());
    // An empty data source closes it.
    FValues.Set({"  ", S["MV_PG_USER2"], ""});
    EXPECT_FALSE(FDb->ConnectDatabase());
    EXPECT_FALSE(FDb->IsDatabaseConnected());

    // A failed login writes nothing.
    login.Answer = TConnectionSettings{"NO_SUCH_DSN", "a", "b"};
    EXPECT_FALSE(FDb->ConnectAction(*FFile, login));
    EXPECT_EQ(FMessages.back(), "Database NOT connected.");
    EXPECT_EQ(Stored("ODBC Data Source"), S["MV_PG_DSN"]);

    const auto names = TDatabaseConnection::DataSourceNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "MVDEMO"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "MVDEMO_PG"), names.end());
}

}  // namespace
}  // namespace mv
