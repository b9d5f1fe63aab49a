// Recording test engine: the engine's C interface over a scripted report,
// logging every call. See RecordingControl.h.
#define RPENG_BUILDING 1
#include <rpeng.h>

#include "RecordingControl.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#define REC_API extern "C" __attribute__((visibility("default")))

namespace {

struct TParam {
    std::string Name, Report;
    uint16_t Type = RE_PF_STRING, Kind = RE_DR_DISCRETE;
    bool Linked = false;
    std::vector<REValueInfo> Values;
    std::optional<std::string> Default;
};

struct TSub {
    std::string Name;
    int16_t Section = 4000;
    int16_t Tables = 1;
};

struct TJob {
    bool Sub = false;
    int SubIndex = -1;
    RE_JOB Parent = 0;
    RELogOnInfo Logon{};
    bool AllowPrompt = true;
    int Output = 0;  // 1 printer, 2 export, 3 window
    std::string ExportFile, ExportFormat;
    uint32_t ExportType = 0;
    int16_t Code = 0;
    std::string Text;
};

struct TFailure {
    std::string Function;
    int Code;
    std::string Text;
    int Skip, Times;
};

struct TState {
    std::recursive_mutex Lock;
    std::string Log;
    std::string Returned;
    int Tables = 1;
    std::vector<TSub> Subs;
    std::vector<TParam> Params;
    std::optional<std::string> Sql;
    RESummaryInfo Summary{};
    uint16_t Copies = 1;
    RELogOnInfo Logon{};
    std::vector<TFailure> Failures;
    std::map<RE_JOB, TJob> Jobs;
    RE_JOB NextJob = 1;
    int EngineOpen = 0;
    int16_t Code0 = 0;  // errors without a job
    std::string Text0;
    std::map<RE_HANDLE, std::string> Handles;
    RE_HANDLE NextHandle = 1;
};

TState& S()
{
    static TState s;
    return s;
}

void Copy(char* dest, size_t size, const std::string& text)
{
    std::snprintf(dest, size, "%s", text.c_str());
}

std::string Q(const char* s) { return s == nullptr ? "NULL" : "\"" + std::string(s) + "\""; }
std::string B(RE_BOOL b) { return b ? "TRUE" : "FALSE"; }

// Independent of the binding's own conversions on purpose.
std::string Format(const REValueInfo& v)
{
    char buf[300];
    switch (v.ValueType) {
    case RE_PF_NUMBER:
    case RE_PF_CURRENCY: std::snprintf(buf, sizeof buf, "%g", v.viNumber); break;
    case RE_PF_BOOLEAN: return v.viBoolean ? "True" : "False";
    case RE_PF_DATE: std::snprintf(buf, sizeof buf, "%04d,%02d,%02d", v.viDate[0], v.viDate[1], v.viDate[2]); break;
    case RE_PF_DATETIME:
        std::snprintf(buf, sizeof buf, "%04d,%02d,%02d %02d:%02d:%02d", v.viDateTime[0], v.viDateTime[1],
                      v.viDateTime[2], v.viDateTime[3], v.viDateTime[4], v.viDateTime[5]);
        break;
    case RE_PF_TIME: std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", v.viTime[0], v.viTime[1], v.viTime[2]); break;
    case RE_PF_INTEGER:
    case RE_PF_LONG:
    case RE_PF_COLOR: std::snprintf(buf, sizeof buf, "%d", v.viInteger); break;
    case RE_PF_CHAR: return std::string(1, v.viChar);
    default: return std::string(v.viString, strnlen(v.viString, sizeof v.viString));
    }
    return buf;
}

std::string TypeName(uint16_t t)
{
    static const char* names[] = {"Number", "Currency", "Boolean", "Date", "String", "DateTime", "Time",
                                  "Integer", "Color", "Char", "Long", "StringHandle", "NoValue"};
    return t < 13 ? names[t] : "Type" + std::to_string(t);
}

std::string Logged(const REValueInfo& v) { return TypeName(v.ValueType) + " " + Format(v); }

bool Parse(const char* text, uint16_t type, REValueInfo& v)
{
    v = REValueInfo{};
    v.StructSize = sizeof v;
    v.ValueType = type;
    int a[6] = {};
    char tail = 0;
    switch (type) {
    case RE_PF_NUMBER:
    case RE_PF_CURRENCY: return std::sscanf(text, "%lf%c", &v.viNumber, &tail) == 1;
    case RE_PF_BOOLEAN: v.viBoolean = std::strcmp(text, "True") == 0; return true;
    case RE_PF_DATE:
        if (std::sscanf(text, "%d,%d,%d", &a[0], &a[1], &a[2]) != 3) return false;
        for (int i = 0; i < 3; ++i) v.viDate[i] = static_cast<int16_t>(a[i]);
        return true;
    case RE_PF_DATETIME:
        if (std::sscanf(text, "%d,%d,%d %d:%d:%d", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5]) != 6) return false;
        for (int i = 0; i < 6; ++i) v.viDateTime[i] = static_cast<int16_t>(a[i]);
        return true;
    case RE_PF_TIME:
        if (std::sscanf(text, "%d:%d:%d", &a[0], &a[1], &a[2]) != 3) return false;
        for (int i = 0; i < 3; ++i) v.viTime[i] = static_cast<int16_t>(a[i]);
        return true;
    case RE_PF_INTEGER:
    case RE_PF_LONG:
    case RE_PF_COLOR: return std::sscanf(text, "%d%c", &v.viInteger, &tail) == 1;
    case RE_PF_CHAR: v.viChar = text[0]; return text[0] != 0;
    default: Copy(v.viString, sizeof v.viString, text); return true;
    }
}

void Record(const std::string& line)
{
    S().Log += line;
    S().Log += '\n';
}

void SetError(RE_JOB job, int code, const std::string& text)
{
    auto it = S().Jobs.find(job);
    if (job != 0 && it != S().Jobs.end()) {
        it->second.Code = static_cast<int16_t>(code);
        it->second.Text = text;
    } else {
        S().Code0 = static_cast<int16_t>(code);
        S().Text0 = text;
    }
}

// An injected failure of `function` on `job`, if one is due.
bool Injected(const char* function, RE_JOB job)
{
    for (TFailure& f : S().Failures) {
        if (f.Function != function || f.Times == 0) continue;
        if (f.Skip > 0) {
            --f.Skip;
            continue;
        }
        if (f.Times > 0) --f.Times;
        if (f.Code != 0) SetError(job, f.Code, f.Text);
        return true;
    }
    return false;
}

bool Fail(RE_JOB job, int code, const std::string& text)
{
    SetError(job, code, text);
    return false;
}

TJob* Job(RE_JOB job)
{
    auto it = S().Jobs.find(job);
    if (it == S().Jobs.end()) {
        SetError(0, RE_ERR_BADJOB, "no open print job " + std::to_string(job));
        return nullptr;
    }
    return &it->second;
}

// Parameters visible from a job: all for the main report, its own for a subreport.
std::vector<TParam*> Visible(const TJob& j)
{
    std::vector<TParam*> out;
    for (TParam& p : S().Params)
        if (!j.Sub || p.Report == S().Subs[static_cast<size_t>(j.SubIndex)].Name) out.push_back(&p);
    return out;
}

TParam* FindParam(const char* name, const char* report)
{
    for (TParam& p : S().Params)
        if (p.Name == (name ? name : "") && p.Report == (report ? report : "")) return &p;
    return nullptr;
}

RE_HANDLE NewHandle(const std::string& text)
{
    RE_HANDLE h = S().NextHandle++;
    S().Handles[h] = text;
    return h;
}

#define LOCK std::lock_guard<std::recursive_mutex> lock(S().Lock)

}  // namespace

// ---- Control ----------------------------------------------------------------------

REC_API void RecReset(void)
{
    LOCK;
    TState& s = S();
    s.Log.clear();
    s.Tables = 1;
    s.Subs.clear();
    s.Params.clear();
    s.Sql.reset();
    s.Summary = RESummaryInfo{};
    s.Copies = 1;
    s.Logon = RELogOnInfo{};
    s.Failures.clear();
    s.Jobs.clear();
    s.EngineOpen = 0;
    s.Code0 = 0;
    s.Text0.clear();
    s.Handles.clear();
    s.NextJob = 1;
    s.NextHandle = 1;
}

REC_API void RecSetTables(int tables) { LOCK; S().Tables = tables; }

REC_API void RecAddSubreport(const char* name, int sectionCode, int tables)
{
    LOCK;
    S().Subs.push_back({name, static_cast<int16_t>(sectionCode), static_cast<int16_t>(tables)});
}

REC_API void RecAddParam(const char* name, const char* reportName, int type, int kind, int linked,
                         const char* currentValues, const char* defaultValue)
{
    LOCK;
    TParam p;
    p.Name = name;
    p.Report = reportName ? reportName : "";
    p.Type = static_cast<uint16_t>(type);
    p.Kind = static_cast<uint16_t>(kind);
    p.Linked = linked != 0;
    if (defaultValue) p.Default = defaultValue;
    std::string values = currentValues ? currentValues : "";
    std::istringstream in(values);
    std::string line;
    while (!values.empty() && std::getline(in, line)) {
        REValueInfo v;
        if (Parse(line.c_str(), p.Type, v)) p.Values.push_back(v);
    }
    S().Params.push_back(p);
}

REC_API void RecSetSQL(const char* sql)
{
    LOCK;
    if (sql) S().Sql = sql;
    else S().Sql.reset();
}

REC_API void RecSetSummary(const char* title, const char* subject, const char* author, const char* keywords,
                           const char* comments)
{
    LOCK;
    RESummaryInfo& i = S().Summary;
    Copy(i.Title, sizeof i.Title, title);
    Copy(i.Subject, sizeof i.Subject, subject);
    Copy(i.Author, sizeof i.Author, author);
    Copy(i.Keywords, sizeof i.Keywords, keywords);
    Copy(i.Comments, sizeof i.Comments, comments);
}

REC_API void RecSetLogon(const char* server, const char* database, const char* user, const char* password)
{
    LOCK;
    RELogOnInfo& l = S().Logon;
    Copy(l.ServerName, sizeof l.ServerName, server);
    Copy(l.DatabaseName, sizeof l.DatabaseName, database);
    Copy(l.UserID, sizeof l.UserID, user);
    Copy(l.Password, sizeof l.Password, password);
}

REC_API void RecSetCopies(int copies) { LOCK; S().Copies = static_cast<uint16_t>(copies); }

REC_API void RecFail(const char* function, int code, const char* text, int skip, int times)
{
    LOCK;
    S().Failures.push_back({function, code, text ? text : "", skip, times});
}

REC_API const char* RecLog(void)
{
    LOCK;
    S().Returned = S().Log;
    return S().Returned.c_str();
}

REC_API void RecClearLog(void) { LOCK; S().Log.clear(); }
REC_API int RecEngineOpenCount(void) { LOCK; return S().EngineOpen; }
REC_API int RecOpenJobCount(void) { LOCK; return static_cast<int>(S().Jobs.size()); }

REC_API const char* RecParamValues(const char* name, const char* reportName)
{
    LOCK;
    S().Returned.clear();
    if (TParam* p = FindParam(name, reportName)) {
        for (size_t i = 0; i < p->Values.size(); ++i) {
            if (i) S().Returned += '\n';
            S().Returned += Format(p->Values[i]);
        }
    }
    return S().Returned.c_str();
}

// ---- Engine and jobs -------------------------------------------------------------------

RE_API RE_BOOL REOpenEngine(void)
{
    LOCK;
    Record("REOpenEngine()");
    if (Injected("REOpenEngine", 0)) return 0;
    ++S().EngineOpen;
    return 1;
}

RE_API void RECloseEngine(void)
{
    LOCK;
    Record("RECloseEngine()");
    if (S().EngineOpen > 0 && --S().EngineOpen == 0) S().Jobs.clear();
}

RE_API RE_BOOL RESetTempFilePath(const char* path)
{
    LOCK;
    Record("RESetTempFilePath(" + Q(path) + ")");
    return !Injected("RESetTempFilePath", 0);
}

RE_API RE_JOB REOpenPrintJob(const char* reportFilePath)
{
    LOCK;
    Record("REOpenPrintJob(" + Q(reportFilePath) + ")");
    if (Injected("REOpenPrintJob", 0)) return 0;
    if (S().EngineOpen == 0) return Fail(0, RE_ERR_NOTOPEN, "the engine is not open");
    if (reportFilePath == nullptr || access(reportFilePath, R_OK) != 0)
        return Fail(0, RE_ERR_FILEOPEN, std::string("cannot open ") + (reportFilePath ? reportFilePath : ""));
    RE_JOB h = S().NextJob++;
    TJob j;
    j.Logon = S().Logon;
    S().Jobs[h] = j;
    return h;
}

RE_API RE_BOOL REClosePrintJob(RE_JOB job)
{
    LOCK;
    Record("REClosePrintJob(" + std::to_string(job) + ")");
    if (Injected("REClosePrintJob", job)) return 0;
    if (!Job(job)) return 0;
    for (auto it = S().Jobs.begin(); it != S().Jobs.end();)
        it = (it->first == job || it->second.Parent == job) ? S().Jobs.erase(it) : std::next(it);
    return 1;
}

RE_API RE_JOB REOpenSubreport(RE_JOB parentJob, const char* subreportName)
{
    LOCK;
    Record("REOpenSubreport(" + std::to_string(parentJob) + ", " + Q(subreportName) + ")");
    if (Injected("REOpenSubreport", parentJob)) return 0;
    if (!Job(parentJob)) return 0;
    for (size_t i = 0; i < S().Subs.size(); ++i) {
        if (S().Subs[i].Name != subreportName) continue;
        RE_JOB h = S().NextJob++;
        TJob j;
        j.Sub = true;
        j.SubIndex = static_cast<int>(i);
        j.Parent = parentJob;
        j.Logon = S().Logon;
        S().Jobs[h] = j;
        return h;
    }
    return Fail(parentJob, RE_ERR_BADINDEX, "no subreport " + std::string(subreportName));
}

RE_API RE_BOOL RECloseSubreport(RE_JOB subreportJob)
{
    LOCK;
    Record("RECloseSubreport(" + std::to_string(subreportJob) + ")");
    if (Injected("RECloseSubreport", subreportJob)) return 0;
    if (!Job(subreportJob)) return 0;
    S().Jobs.erase(subreportJob);
    return 1;
}

RE_API RE_BOOL REEnableProgressDialog(RE_JOB job, RE_BOOL enable)
{
    LOCK;
    Record("REEnableProgressDialog(" + std::to_string(job) + ", " + B(enable) + ")");
    if (Injected("REEnableProgressDialog", job)) return 0;
    return Job(job) != nullptr;
}

// ---- Errors and texts ------------------------------------------------------------------

RE_API int16_t REGetErrorCode(RE_JOB job)
{
    LOCK;
    Record("REGetErrorCode(" + std::to_string(job) + ")");
    if (job == 0) return S().Code0;
    auto it = S().Jobs.find(job);
    return it == S().Jobs.end() ? -1 : it->second.Code;
}

RE_API RE_BOOL REGetErrorText(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength)
{
    LOCK;
    Record("REGetErrorText(" + std::to_string(job) + ")");
    std::string text;
    if (job == 0) {
        text = S().Text0;
    } else {
        auto it = S().Jobs.find(job);
        if (it == S().Jobs.end()) return 0;
        text = it->second.Text;
    }
    *textHandle = NewHandle(text);
    *textLength = static_cast<int32_t>(text.size());
    return 1;
}

RE_API RE_BOOL REGetHandleString(RE_HANDLE textHandle, char* buffer, int32_t bufferSize)
{
    LOCK;
    Record("REGetHandleString(" + std::to_string(textHandle) + ", " + std::to_string(bufferSize) + ")");
    auto it = S().Handles.find(textHandle);
    if (it == S().Handles.end() || buffer == nullptr || bufferSize <= 0) return 0;
    Copy(buffer, static_cast<size_t>(bufferSize), it->second);
    S().Handles.erase(it);
    return 1;
}

// ---- Tables and logon ----------------------------------------------------------------

RE_API int16_t REGetNTables(RE_JOB job)
{
    LOCK;
    Record("REGetNTables(" + std::to_string(job) + ")");
    if (Injected("REGetNTables", job)) return -1;
    TJob* j = Job(job);
    if (!j) return -1;
    return static_cast<int16_t>(j->Sub ? S().Subs[static_cast<size_t>(j->SubIndex)].Tables : S().Tables);
}

RE_API RE_BOOL REGetNthTableLogOnInfo(RE_JOB job, int16_t tableN, RELogOnInfo* info)
{
    LOCK;
    Record("REGetNthTableLogOnInfo(" + std::to_string(job) + ", " + std::to_string(tableN) + ")");
    if (Injected("REGetNthTableLogOnInfo", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    int tables = j->Sub ? S().Subs[static_cast<size_t>(j->SubIndex)].Tables : S().Tables;
    if (tableN < 0 || tableN >= tables) return Fail(job, RE_ERR_BADINDEX, "no table " + std::to_string(tableN));
    if (info == nullptr || info->StructSize != sizeof(RELogOnInfo))
        return Fail(job, RE_ERR_BADSTRUCTSIZE, "RELogOnInfo");
    *info = j->Logon;
    info->StructSize = sizeof(RELogOnInfo);
    return 1;
}

RE_API RE_BOOL RESetNthTableLogOnInfo(RE_JOB job, int16_t tableN, const RELogOnInfo* info, RE_BOOL propagate)
{
    LOCK;
    Record("RESetNthTableLogOnInfo(" + std::to_string(job) + ", " + std::to_string(tableN) +
           ", server=" + Q(info->ServerName) + ", database=" + Q(info->DatabaseName) + ", user=" +
           Q(info->UserID) + ", password=" + Q(info->Password) + ", " + B(propagate) + ")");
    if (Injected("RESetNthTableLogOnInfo", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    if (info->StructSize != sizeof(RELogOnInfo)) return Fail(job, RE_ERR_BADSTRUCTSIZE, "RELogOnInfo");
    j->Logon = *info;
    return 1;
}

// ---- Sections and subreports -----------------------------------------------------------

namespace {
const int16_t kSections[] = {1000, 4000, 8000};
}

RE_API int16_t REGetNSections(RE_JOB job)
{
    LOCK;
    Record("REGetNSections(" + std::to_string(job) + ")");
    if (Injected("REGetNSections", job)) return -1;
    return Job(job) ? 3 : -1;
}

RE_API int16_t REGetSectionCode(RE_JOB job, int16_t sectionN)
{
    LOCK;
    Record("REGetSectionCode(" + std::to_string(job) + ", " + std::to_string(sectionN) + ")");
    if (!Job(job)) return 0;
    if (sectionN < 0 || sectionN > 2) return static_cast<int16_t>(Fail(job, RE_ERR_BADINDEX, "section"));
    return kSections[sectionN];
}

RE_API int16_t REGetNSubreportsInSection(RE_JOB job, int16_t sectionCode)
{
    LOCK;
    Record("REGetNSubreportsInSection(" + std::to_string(job) + ", " + std::to_string(sectionCode) + ")");
    TJob* j = Job(job);
    if (!j) return -1;
    if (j->Sub) return 0;
    int16_t n = 0;
    for (const TSub& s : S().Subs) n = static_cast<int16_t>(n + (s.Section == sectionCode));
    return n;
}

RE_API uint32_t REGetNthSubreportInSection(RE_JOB job, int16_t sectionCode, int16_t subreportN)
{
    LOCK;
    Record("REGetNthSubreportInSection(" + std::to_string(job) + ", " + std::to_string(sectionCode) + ", " +
           std::to_string(subreportN) + ")");
    if (!Job(job)) return 0;
    int n = 0;
    for (size_t i = 0; i < S().Subs.size(); ++i)
        if (S().Subs[i].Section == sectionCode && n++ == subreportN) return static_cast<uint32_t>(100 + i);
    return static_cast<uint32_t>(Fail(job, RE_ERR_BADINDEX, "subreport"));
}

RE_API RE_BOOL REGetSubreportInfo(RE_JOB job, uint32_t subreportHandle, RESubreportInfo* info)
{
    LOCK;
    Record("REGetSubreportInfo(" + std::to_string(job) + ", " + std::to_string(subreportHandle) + ")");
    if (!Job(job)) return 0;
    size_t i = subreportHandle - 100;
    if (i >= S().Subs.size()) return Fail(job, RE_ERR_BADINDEX, "subreport handle");
    if (info->StructSize != sizeof(RESubreportInfo)) return Fail(job, RE_ERR_BADSTRUCTSIZE, "RESubreportInfo");
    Copy(info->Name, sizeof info->Name, S().Subs[i].Name);
    info->NLinks = 0;
    return 1;
}

// ---- Parameters ------------------------------------------------------------------------

RE_API int16_t REGetNParameterFields(RE_JOB job)
{
    LOCK;
    Record("REGetNParameterFields(" + std::to_string(job) + ")");
    if (Injected("REGetNParameterFields", job)) return -1;
    TJob* j = Job(job);
    return j ? static_cast<int16_t>(Visible(*j).size()) : -1;
}

RE_API RE_BOOL REGetNthParameterField(RE_JOB job, int16_t parameterN, REParameterFieldInfo* info)
{
    LOCK;
    Record("REGetNthParameterField(" + std::to_string(job) + ", " + std::to_string(parameterN) + ")");
    if (Injected("REGetNthParameterField", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    std::vector<TParam*> ps = Visible(*j);
    if (parameterN < 0 || static_cast<size_t>(parameterN) >= ps.size())
        return Fail(job, RE_ERR_BADINDEX, "no parameter " + std::to_string(parameterN));
    if (info->StructSize != sizeof(REParameterFieldInfo)) return Fail(job, RE_ERR_BADSTRUCTSIZE, "REParameterFieldInfo");
    const TParam& p = *ps[static_cast<size_t>(parameterN)];
    *info = REParameterFieldInfo{};
    info->StructSize = sizeof(REParameterFieldInfo);
    info->ValueType = p.Type;
    info->DiscreteOrRangeKind = p.Kind;
    info->AllowMultipleValues = 1;
    info->DefaultValueSet = p.Default.has_value();
    info->CurrentValueSet = !p.Values.empty();
    info->IsLinked = p.Linked;
    Copy(info->Name, sizeof info->Name, p.Name);
    Copy(info->ReportName, sizeof info->ReportName, p.Report);
    Copy(info->Prompt, sizeof info->Prompt, "Enter " + p.Name);
    if (p.Default) Copy(info->DefaultValue, sizeof info->DefaultValue, *p.Default);
    if (!p.Values.empty()) Copy(info->CurrentValue, sizeof info->CurrentValue, Format(p.Values[0]));
    return 1;
}

RE_API RE_BOOL RESetNthParameterField(RE_JOB job, int16_t parameterN, const REParameterFieldInfo* info)
{
    LOCK;
    Record("RESetNthParameterField(" + std::to_string(job) + ", " + std::to_string(parameterN) + ", " +
           Q(info->Name) + ", current=" + Q(info->CurrentValue) + ", set=" + std::to_string(info->CurrentValueSet) +
           ")");
    if (Injected("RESetNthParameterField", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    std::vector<TParam*> ps = Visible(*j);
    if (parameterN < 0 || static_cast<size_t>(parameterN) >= ps.size()) return Fail(job, RE_ERR_BADINDEX, "parameter");
    TParam& p = *ps[static_cast<size_t>(parameterN)];
    p.Values.clear();
    if (info->CurrentValueSet) {
        REValueInfo v;
        if (!Parse(info->CurrentValue, p.Type, v)) return Fail(job, RE_ERR_PARAMTYPE, "bad value text");
        p.Values.push_back(v);
    }
    return 1;
}

RE_API int16_t REGetNthParameterType(RE_JOB job, int16_t parameterN)
{
    LOCK;
    Record("REGetNthParameterType(" + std::to_string(job) + ", " + std::to_string(parameterN) + ")");
    if (Injected("REGetNthParameterType", job)) return -1;
    return Job(job) ? RE_PT_REPORTPARAMETER : -1;
}

RE_API RE_BOOL REConvertPFInfoToVInfo(const char* value, uint16_t valueType, REValueInfo* valueInfo)
{
    LOCK;
    Record("REConvertPFInfoToVInfo(" + Q(value) + ", " + TypeName(valueType) + ")");
    if (Injected("REConvertPFInfoToVInfo", 0)) return 0;
    if (valueInfo->StructSize != sizeof(REValueInfo)) return Fail(0, RE_ERR_BADSTRUCTSIZE, "REValueInfo");
    if (!Parse(value, valueType, *valueInfo)) return Fail(0, RE_ERR_BADARGUMENT, "bad value text");
    return 1;
}

RE_API RE_BOOL REConvertVInfoToPFInfo(const REValueInfo* valueInfo, uint16_t* valueType, char* value)
{
    LOCK;
    Record("REConvertVInfoToPFInfo(" + Logged(*valueInfo) + ")");
    if (Injected("REConvertVInfoToPFInfo", 0)) return 0;
    if (valueInfo->StructSize != sizeof(REValueInfo)) return Fail(0, RE_ERR_BADSTRUCTSIZE, "REValueInfo");
    *valueType = valueInfo->ValueType;
    Copy(value, RE_TEXT_LEN, Format(*valueInfo));
    return 1;
}

RE_API RE_BOOL REGetParameterMinMaxValue(RE_JOB job, const char* name, const char* reportName,
                                         REValueInfo* minValue, REValueInfo* maxValue)
{
    LOCK;
    Record("REGetParameterMinMaxValue(" + std::to_string(job) + ", " + Q(name) + ", " + Q(reportName) + ")");
    if (Injected("REGetParameterMinMaxValue", job)) return 0;
    if (!Job(job)) return 0;
    if (!FindParam(name, reportName)) return Fail(job, RE_ERR_PARAMUNKNOWN, "no parameter " + std::string(name));
    minValue->ValueType = maxValue->ValueType = FindParam(name, reportName)->Type;
    return 1;
}

RE_API RE_BOOL REGetParameterValueInfo(RE_JOB job, const char* name, const char* reportName,
                                       REParameterValueInfo* info)
{
    LOCK;
    Record("REGetParameterValueInfo(" + std::to_string(job) + ", " + Q(name) + ", " + Q(reportName) + ")");
    if (Injected("REGetParameterValueInfo", job)) return 0;
    if (!Job(job)) return 0;
    TParam* p = FindParam(name, reportName);
    if (!p) return Fail(job, RE_ERR_PARAMUNKNOWN, "no parameter");
    if (info->StructSize != sizeof(REParameterValueInfo)) return Fail(job, RE_ERR_BADSTRUCTSIZE, "REParameterValueInfo");
    info->DiscreteOrRangeKind = p->Kind;
    info->AllowMultipleValues = 1;
    info->HasLimits = 0;
    return 1;
}

RE_API RE_BOOL REGetParameterBrowseField(RE_JOB job, const char* name, const char* reportName, char* tableAndField,
                                         int32_t bufferSize)
{
    LOCK;
    Record("REGetParameterBrowseField(" + std::to_string(job) + ", " + Q(name) + ", " + Q(reportName) + ")");
    if (Injected("REGetParameterBrowseField", job)) return 0;
    if (!Job(job)) return 0;
    if (bufferSize > 0) tableAndField[0] = 0;
    return FindParam(name, reportName) ? 1 : Fail(job, RE_ERR_PARAMUNKNOWN, "no parameter");
}

RE_API int16_t REGetNParameterCurrentValues(RE_JOB job, const char* name, const char* reportName)
{
    LOCK;
    Record("REGetNParameterCurrentValues(" + std::to_string(job) + ", " + Q(name) + ", " + Q(reportName) + ")");
    if (Injected("REGetNParameterCurrentValues", job)) return -1;
    if (!Job(job)) return -1;
    TParam* p = FindParam(name, reportName);
    if (!p) return static_cast<int16_t>(Fail(job, RE_ERR_PARAMUNKNOWN, "no parameter") - 1);
    if (p->Linked) return static_cast<int16_t>(Fail(job, RE_ERR_NOTCURRENTVALUES, "linked parameter") - 1);
    return static_cast<int16_t>(p->Values.size());
}

RE_API RE_BOOL REGetNthParameterCurrentValue(RE_JOB job, const char* name, const char* reportName, int16_t valueN,
                                             REValueInfo* value)
{
    LOCK;
    Record("REGetNthParameterCurrentValue(" + std::to_string(job) + ", " + Q(name) + ", " + Q(reportName) + ", " +
           std::to_string(valueN) + ")");
    if (Injected("REGetNthParameterCurrentValue", job)) return 0;
    if (!Job(job)) return 0;
    TParam* p = FindParam(name, reportName);
    if (!p) return Fail(job, RE_ERR_PARAMUNKNOWN, "no parameter");
    if (valueN < 0 || static_cast<size_t>(valueN) >= p->Values.size()) return Fail(job, RE_ERR_BADINDEX, "value");
    *value = p->Values[static_cast<size_t>(valueN)];
    return 1;
}

RE_API RE_BOOL REAddParameterCurrentValue(RE_JOB job, const char* name, const char* reportName,
                                          const REValueInfo* value)
{
    LOCK;
    Record("REAddParameterCurrentValue(" + std::to_string(job) + ", " + Q(name) + ", " + Q(reportName) + ", " +
           Logged(*value) + ")");
    if (Injected("REAddParameterCurrentValue", job)) return 0;
    if (!Job(job)) return 0;
    TParam* p = FindParam(name, reportName);
    if (!p) return Fail(job, RE_ERR_PARAMUNKNOWN, "no parameter");
    if (p->Linked) return Fail(job, RE_ERR_NOTCURRENTVALUES, "linked parameter");
    if (value->StructSize != sizeof(REValueInfo)) return Fail(job, RE_ERR_BADSTRUCTSIZE, "REValueInfo");
    if (value->ValueType != p->Type) return Fail(job, RE_ERR_PARAMTYPE, "value type");
    p->Values.push_back(*value);
    return 1;
}

RE_API RE_BOOL REClearParameterCurrentValuesAndRanges(RE_JOB job, const char* name, const char* reportName)
{
    LOCK;
    Record("REClearParameterCurrentValuesAndRanges(" + std::to_string(job) + ", " + Q(name) + ", " +
           Q(reportName) + ")");
    if (Injected("REClearParameterCurrentValuesAndRanges", job)) return 0;
    if (!Job(job)) return 0;
    TParam* p = FindParam(name, reportName);
    if (!p) return Fail(job, RE_ERR_PARAMUNKNOWN, "no parameter");
    if (p->Linked) return Fail(job, RE_ERR_NOTCURRENTVALUES, "linked parameter");
    p->Values.clear();
    return 1;
}

RE_API RE_BOOL REGetAllowPromptDialog(RE_JOB job)
{
    LOCK;
    Record("REGetAllowPromptDialog(" + std::to_string(job) + ")");
    TJob* j = Job(job);
    return j && j->AllowPrompt;
}

RE_API RE_BOOL RESetAllowPromptDialog(RE_JOB job, RE_BOOL allow)
{
    LOCK;
    Record("RESetAllowPromptDialog(" + std::to_string(job) + ", " + B(allow) + ")");
    if (Injected("RESetAllowPromptDialog", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    j->AllowPrompt = allow != 0;
    return 1;
}

// ---- Query and summary ------------------------------------------------------------------

RE_API RE_BOOL REGetSQLQuery(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength)
{
    LOCK;
    Record("REGetSQLQuery(" + std::to_string(job) + ")");
    if (Injected("REGetSQLQuery", job)) return 0;
    if (!Job(job)) return 0;
    if (!S().Sql) return Fail(job, RE_ERR_NOSQL, "the report has no query");
    *textHandle = NewHandle(*S().Sql);
    *textLength = static_cast<int32_t>(S().Sql->size());
    return 1;
}

RE_API RE_BOOL REGetReportSummaryInfo(RE_JOB job, RESummaryInfo* info)
{
    LOCK;
    Record("REGetReportSummaryInfo(" + std::to_string(job) + ")");
    if (Injected("REGetReportSummaryInfo", job)) return 0;
    if (!Job(job)) return 0;
    if (info->StructSize != sizeof(RESummaryInfo)) return Fail(job, RE_ERR_BADSTRUCTSIZE, "RESummaryInfo");
    *info = S().Summary;
    info->StructSize = sizeof(RESummaryInfo);
    return 1;
}

// ---- Printer and output ---------------------------------------------------------------------

RE_API RE_BOOL RESelectPrinter(RE_JOB job, const char* driverName, const char* printerName, const char* portName,
                               const REDeviceSettings* settings)
{
    LOCK;
    std::string s = settings ? "orientation=" + std::to_string(settings->Orientation) + ", paper=" +
                                   Q(settings->PaperName)
                             : std::string("settings=NULL");
    Record("RESelectPrinter(" + std::to_string(job) + ", " + Q(driverName) + ", " + Q(printerName) + ", " +
           Q(portName) + ", " + s + ")");
    if (Injected("RESelectPrinter", job)) return 0;
    if (settings && settings->StructSize != sizeof(REDeviceSettings))
        return Fail(job, RE_ERR_BADSTRUCTSIZE, "REDeviceSettings");
    return Job(job) != nullptr;
}

RE_API RE_BOOL REGetPrintOptions(RE_JOB job, REPrintOptions* options)
{
    LOCK;
    Record("REGetPrintOptions(" + std::to_string(job) + ")");
    if (Injected("REGetPrintOptions", job)) return 0;
    if (!Job(job)) return 0;
    if (options->StructSize != sizeof(REPrintOptions)) return Fail(job, RE_ERR_BADSTRUCTSIZE, "REPrintOptions");
    options->nReportCopies = S().Copies;
    return 1;
}

RE_API RE_BOOL RESetPrintOptions(RE_JOB job, const REPrintOptions* options)
{
    LOCK;
    Record("RESetPrintOptions(" + std::to_string(job) + ", copies=" + std::to_string(options->nReportCopies) + ")");
    if (Injected("RESetPrintOptions", job)) return 0;
    if (!Job(job)) return 0;
    S().Copies = options->nReportCopies;
    return 1;
}

RE_API RE_BOOL REOutputToPrinter(RE_JOB job, int16_t copies)
{
    LOCK;
    Record("REOutputToPrinter(" + std::to_string(job) + ", " + std::to_string(copies) + ")");
    if (Injected("REOutputToPrinter", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    j->Output = 1;
    return 1;
}

RE_API RE_BOOL REOutputToWindow(RE_JOB job, const char* title)
{
    LOCK;
    Record("REOutputToWindow(" + std::to_string(job) + ", " + Q(title) + ")");
    if (Injected("REOutputToWindow", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    j->Output = 3;
    return 1;
}

namespace {

std::string FormatOptions(const REExportOptions& o)
{
    std::string f = o.FormatDLLName;
    if (o.FormatOptions == nullptr) return "options=NULL";
    char buf[RE_PATH_LEN + 512];
    if (f == RE_FMT_PDF) {
        auto* p = static_cast<const REPdfOptions*>(o.FormatOptions);
        std::snprintf(buf, sizeof buf, "pdf(size=%d, range=%d)", p->StructSize == sizeof *p, p->UsePageRange);
    } else if (f == RE_FMT_XLS) {
        auto* p = static_cast<const REExcelOptions*>(o.FormatOptions);
        std::snprintf(buf, sizeof buf,
                      "xls(size=%d, widthType=%d, width=%g, functions=%d, breaks=%d, dateText=%d, range=%d, "
                      "headerFooter=%d, chop=%d)",
                      p->StructSize == sizeof *p, p->ColumnWidthType, p->ColumnWidthConstant, p->UseWorksheetFunctions,
                      p->CreatePageBreaks, p->ConvertDateToString, p->UsePageRange, p->ExportPageHeaderFooter,
                      p->ChopPageHeader);
    } else if (f == RE_FMT_HTML) {
        auto* p = static_cast<const REHtmlOptions*>(o.FormatOptions);
        std::snprintf(buf, sizeof buf, "html(size=%d, file=\"%s\", navigator=%d, pages=%d, range=%d)",
                      p->StructSize == sizeof *p, p->FileName, p->PageNavigator, p->SeparatePages, p->UsePageRange);
    } else if (f == RE_FMT_WORD) {
        auto* p = static_cast<const REWordOptions*>(o.FormatOptions);
        std::snprintf(buf, sizeof buf, "word(size=%d, range=%d)", p->StructSize == sizeof *p, p->UsePageRange);
    } else if (f == RE_FMT_SEPV) {
        auto* p = static_cast<const RESepValOptions*>(o.FormatOptions);
        std::snprintf(buf, sizeof buf, "sepv(size=%d, numbers=%d, dates=%d, quote=%c, separator=\"%s\")",
                      p->StructSize == sizeof *p, p->UseReportNumberFormat, p->UseReportDateFormat,
                      p->StringDelimiter, p->FieldDelimiter);
    } else if (f == RE_FMT_XML) {
        auto* p = static_cast<const REXmlOptions*>(o.FormatOptions);
        std::snprintf(buf, sizeof buf, "xml(size=%d, file=\"%s\", pages=%d)", p->StructSize == sizeof *p, p->FileName,
                      p->SeparatePages);
    } else {
        return "options=?";
    }
    return buf;
}

}  // namespace

RE_API RE_BOOL REExportTo(RE_JOB job, const REExportOptions* options)
{
    LOCK;
    const REExportOptions& o = *options;
    const auto* disk = static_cast<const REDiskOptions*>(o.DestinationOptions);
    Record("REExportTo(" + std::to_string(job) + ", " + Q(o.FormatDLLName) + ", " + std::to_string(o.FormatType) +
           ", " + FormatOptions(o) + ", " + Q(o.DestinationDLLName) + ", " + std::to_string(o.DestinationType) +
           ", file=" + (disk ? Q(disk->FileName) : "NULL") + ")");
    if (Injected("REExportTo", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    if (o.StructSize != sizeof(REExportOptions)) return Fail(job, RE_ERR_BADSTRUCTSIZE, "REExportOptions");
    static const char* formats[] = {RE_FMT_PDF, RE_FMT_XLS, RE_FMT_HTML, RE_FMT_WORD,
                                    RE_FMT_RTF, RE_FMT_SEPV, RE_FMT_TEXT, RE_FMT_XML};
    bool known = false;
    for (const char* f : formats) known = known || std::strcmp(f, o.FormatDLLName) == 0;
    if (!known) return Fail(job, RE_ERR_EXPORTFORMAT, "unknown export format \"" + std::string(o.FormatDLLName) + "\"");
    if (std::strcmp(o.DestinationDLLName, RE_DEST_DISK) != 0 || disk == nullptr || disk->FileName[0] == 0)
        return Fail(job, RE_ERR_EXPORTDEST, "unknown export destination or no file name");
    j->Output = 2;
    j->ExportFile = disk->FileName;
    j->ExportFormat = o.FormatDLLName;
    j->ExportType = o.FormatType;
    return 1;
}

RE_API RE_BOOL REStartPrintJob(RE_JOB job, RE_BOOL waitUntilDone)
{
    LOCK;
    Record("REStartPrintJob(" + std::to_string(job) + ", " + B(waitUntilDone) + ")");
    if (Injected("REStartPrintJob", job)) return 0;
    TJob* j = Job(job);
    if (!j) return 0;
    if (j->Output == 0) return Fail(job, RE_ERR_NOOUTPUT, "no output chosen");
    if (j->Output == 2) {
        std::ofstream out(j->ExportFile, std::ios::trunc);
        out << "recorded export " << j->ExportFormat << " type " << j->ExportType << "\n";
        if (!out) return Fail(job, RE_ERR_EXPORTWRITE, "cannot write " + j->ExportFile);
    }
    return 1;
}
