#pragma once

#include <string>

#include <rpeng.h>

namespace mv {

class TRpe;

// The database logon of a report's tables. Each value is stored and, when
// the report is named and its file exists, written into the opened report:
// to table 0 of the current (sub)report with propagation to all its tables,
// only when it differs from what the report holds; with Propagate set, to
// the main report and every subreport in turn, always.
class TRpeConnect {
public:
    explicit TRpeConnect(TRpe& owner) : FOwner(owner) {}

    const std::string& ServerName() const { return FServerName; }  // ODBC data source name
    const std::string& UserID() const { return FUserID; }
    const std::string& Password() const { return FPassword; }
    const std::string& DatabaseName() const { return FDatabaseName; }  // empty: the data source's own
    bool Propagate() const { return FPropagate; }

    void SetServerName(const std::string& value);
    void SetUserID(const std::string& value);
    void SetPassword(const std::string& value);
    void SetDatabaseName(const std::string& value);
    // True writes all four values again into the main report and every
    // subreport.
    void SetPropagate(bool value);

private:
    enum class TField { ServerName, UserID, Password, DatabaseName };
    void Apply(TField field, const std::string& value, const char* operation);
    void ApplyToJob(RE_JOB job, TField field, const std::string& value, const std::string& operation,
                    bool always);

    TRpe& FOwner;
    std::string FServerName, FUserID, FPassword, FDatabaseName;
    bool FPropagate = false;
};

}  // namespace mv
