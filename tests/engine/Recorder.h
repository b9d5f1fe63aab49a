#pragma once
// Test access to the recording engine that the binding loads.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <dlfcn.h>

#include "engine/TRpe.h"
#include "engine/TRpePrinterList.h"

namespace mvtest {

class TRecorder {
public:
    TRecorder()
    {
        FHandle = dlopen(RECORDING_RPENG, RTLD_NOW | RTLD_LOCAL);
        if (FHandle == nullptr) ADD_FAILURE() << dlerror();
    }
    ~TRecorder()
    {
        if (FHandle) dlclose(FHandle);
    }
    TRecorder(const TRecorder&) = delete;
    TRecorder& operator=(const TRecorder&) = delete;

    void Reset() { Fn<void()>("RecReset")(); }
    void SetTables(int n) { Fn<void(int)>("RecSetTables")(n); }
    void AddSubreport(const char* name, int section, int tables)
    {
        Fn<void(const char*, int, int)>("RecAddSubreport")(name, section, tables);
    }
    void AddParam(const char* name, int type, int kind = 0, const char* values = nullptr, bool linked = false,
                  const char* report = "")
    {
        Fn<void(const char*, const char*, int, int, int, const char*, const char*)>("RecAddParam")(
            name, report, type, kind, linked ? 1 : 0, values, nullptr);
    }
    void SetSQL(const char* sql) { Fn<void(const char*)>("RecSetSQL")(sql); }
    void SetSummary(const char* t, const char* s, const char* a, const char* k, const char* c)
    {
        Fn<void(const char*, const char*, const char*, const char*, const char*)>("RecSetSummary")(t, s, a, k, c);
    }
    void SetLogon(const char* server, const char* db, const char* user, const char* pw)
    {
        Fn<void(const char*, const char*, const char*, const char*)>("RecSetLogon")(server, db, user, pw);
    }
    void SetCopies(int n) { Fn<void(int)>("RecSetCopies")(n); }
    void Fail(const char* function, int code, const char* text = "", int skip = 0, int times = 1)
    {
        Fn<void(const char*, int, const char*, int, int)>("RecFail")(function, code, text, skip, times);
    }
    void ClearLog() { Fn<void()>("RecClearLog")(); }
    int EngineOpenCount() { return Fn<int()>("RecEngineOpenCount")(); }
    int OpenJobCount() { return Fn<int()>("RecOpenJobCount")(); }
    std::string ParamValues(const char* name, const char* report = "")
    {
        return Fn<const char*(const char*, const char*)>("RecParamValues")(name, report);
    }

    // Logged calls, without the error reads (REGetErrorCode, REGetErrorText)
    // and, unless asked for, without the reads that find subreports.
    std::vector<std::string> Calls(bool subreportReads = false)
    {
        std::vector<std::string> out;
        std::istringstream in(Fn<const char*()>("RecLog")());
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("REGetErrorCode(", 0) == 0 || line.rfind("REGetErrorText(", 0) == 0) continue;
            if (!subreportReads &&
                (line.rfind("REGetNSections(", 0) == 0 || line.rfind("REGetSectionCode(", 0) == 0 ||
                 line.rfind("REGetNSubreportsInSection(", 0) == 0 || line.rfind("REGetNthSubreportInSection(", 0) == 0 ||
                 line.rfind("REGetSubreportInfo(", 0) == 0))
                continue;
            out.push_back(line);
        }
        return out;
    }
    // Calls whose line starts with `prefix`.
    std::vector<std::string> CallsOf(const std::string& prefix)
    {
        std::vector<std::string> out;
        for (const std::string& c : Calls(true))
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }

private:
    template <class F>
    F* Fn(const char* name)
    {
        void* f = FHandle ? dlsym(FHandle, name) : nullptr;
        if (f == nullptr) throw std::runtime_error(std::string("recording engine lacks ") + name);
        return reinterpret_cast<F*>(f);
    }
    void* FHandle = nullptr;
};

// Points the binding at the recording engine and starts each test from an
// empty script and log.
class TRecordingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("MV_RPENG_LIBRARY", RECORDING_RPENG, 1);
        Rec.Reset();
    }
    void TearDown() override { unsetenv("MV_RPENG_LIBRARY"); }

    // A binding whose job is open on the fixture report, with the log cleared.
    void Open(mv::TRpe& rpe)
    {
        rpe.SetReportName(kReport);
        rpe.SetProgressDialog(false);
        Rec.ClearLog();
    }

    TRecorder Rec;
    const std::string kReport = MV_TEST_DATA_DIR "/engine/recorded_report.rpt";
};

// A fixed list of installed printers.
class TFixedPrinters : public mv::TRpePrinterList {
public:
    explicit TFixedPrinters(std::vector<mv::TRpeInstalledPrinter> printers) : FPrinters(std::move(printers)) {}
    std::vector<mv::TRpeInstalledPrinter> Printers() override { return FPrinters; }

private:
    std::vector<mv::TRpeInstalledPrinter> FPrinters;
};

}  // namespace mvtest
