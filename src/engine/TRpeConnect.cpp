#include "engine/TRpeConnect.h"

#include "engine/RpeValueText.h"
#include "engine/TRpe.h"

namespace mv {

namespace {

char* FieldOf(RELogOnInfo& info, int field)
{
    switch (field) {
    case 0: return info.ServerName;
    case 1: return info.UserID;
    case 2: return info.Password;
    default: return info.DatabaseName;
    }
}

}  // namespace

void TRpeConnect::SetServerName(const std::string& value)
{
    FServerName = value;
    Apply(TField::ServerName, value, "SetServerName");
}

void TRpeConnect::SetUserID(const std::string& value)
{
    FUserID = value;
    Apply(TField::UserID, value, "SetUserID");
}

void TRpeConnect::SetPassword(const std::string& value)
{
    FPassword = value;
    Apply(TField::Password, value, "SetPassword");
}

void TRpeConnect::SetDatabaseName(const std::string& value)
{
    FDatabaseName = value;
    Apply(TField::DatabaseName, value, "SetDatabaseName");
}

void TRpeConnect::SetPropagate(bool value)
{
    FPropagate = value;
    if (!value || !FOwner.CanOpenJob()) return;
    SetServerName(FServerName);
    SetUserID(FUserID);
    SetPassword(FPassword);
    SetDatabaseName(FDatabaseName);
}

void TRpeConnect::Apply(TField field, const std::string& value, const char* operation)
{
    if (!FOwner.CanOpenJob()) return;
    FOwner.OpenPrintJob();
    const std::string op = std::string("Connect.") + operation;
    RE_JOB job = FOwner.CurrentJob();
    int16_t tables = FOwner.FEngine.GetNTables(job);
    FOwner.Check(tables >= 0, job, op + " <REGetNTables>");
    if (tables == 0) return;
    if (!FPropagate) {
        ApplyToJob(job, field, value, op, false);
        return;
    }

    // Main report and every subreport in turn; the current one is current
    // again afterwards, also when a write fails.
    const int previous = FOwner.FCurrent;
    FOwner.RetrieveSubreports();
    try {
        const int count = static_cast<int>(FOwner.FSubreportNames.size());
        for (int k = 0; k < count; ++k) {
            FOwner.MakeSubreportCurrent(k);
            RE_JOB sub = FOwner.CurrentJob();
            if (k > 0) {
                // A subreport without tables has no logon to set.
                int16_t n = FOwner.FEngine.GetNTables(sub);
                FOwner.Check(n >= 0, sub, op + " <REGetNTables>");
                if (n == 0) continue;
            }
            ApplyToJob(sub, field, value, op, true);
        }
    } catch (...) {
        FOwner.FCurrent = previous;
        throw;
    }
    FOwner.MakeSubreportCurrent(previous);
}

void TRpeConnect::ApplyToJob(RE_JOB job, TField field, const std::string& value, const std::string& operation,
                             bool always)
{
    RELogOnInfo info{};
    info.StructSize = sizeof info;
    FOwner.Check(FOwner.FEngine.GetNthTableLogOnInfo(job, 0, &info) != 0, job,
                 operation + " <REGetNthTableLogOnInfo>");
    char* target = FieldOf(info, static_cast<int>(field));
    if (!always && rpe::FieldText(target, RE_NAME_LEN) == value) return;
    rpe::CopyText(target, RE_NAME_LEN, value);
    FOwner.Check(FOwner.FEngine.SetNthTableLogOnInfo(job, 0, &info, 1) != 0, job,
                 operation + " <RESetNthTableLogOnInfo>");
}

}  // namespace mv
