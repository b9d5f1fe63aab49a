#pragma once

#include <string>

#include <rpeng.h>

namespace mv {

// The loaded engine library. Each operation looks its engine function up by
// name at the moment of the call (nothing is cached) and calls it; a library
// that lacks the function raises ERpeError 100. One object per binding.
class TRpeEngine {
public:
    TRpeEngine() = default;
    TRpeEngine(const TRpeEngine&) = delete;
    TRpeEngine& operator=(const TRpeEngine&) = delete;
    ~TRpeEngine();  // releases the library

    // Loads the library at `path` with every symbol resolved now, so that a
    // library with an unresolved reference fails here and not in mid-report.
    // Returns false and keeps the loader's text in LastError() on failure.
    bool Load(const std::string& path);
    void Unload();
    bool IsLoaded() const { return FHandle != nullptr; }
    const std::string& LibraryPath() const { return FPath; }
    // The loader's text for the last failed load or look-up; empty if none.
    const std::string& LastError() const { return FLastError; }

    RE_BOOL OpenEngine();
    void CloseEngine();
    RE_BOOL SetTempFilePath(const char* path);
    RE_JOB OpenPrintJob(const char* reportFilePath);
    RE_BOOL ClosePrintJob(RE_JOB job);
    RE_JOB OpenSubreport(RE_JOB parentJob, const char* subreportName);
    RE_BOOL CloseSubreport(RE_JOB subreportJob);
    RE_BOOL EnableProgressDialog(RE_JOB job, RE_BOOL enable);

    int16_t GetErrorCode(RE_JOB job);
    RE_BOOL GetErrorText(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength);
    RE_BOOL GetHandleString(RE_HANDLE textHandle, char* buffer, int32_t bufferSize);

    int16_t GetNTables(RE_JOB job);
    RE_BOOL GetNthTableLogOnInfo(RE_JOB job, int16_t tableN, RELogOnInfo* info);
    RE_BOOL SetNthTableLogOnInfo(RE_JOB job, int16_t tableN, const RELogOnInfo* info, RE_BOOL propagate);

    int16_t GetNSections(RE_JOB job);
    int16_t GetSectionCode(RE_JOB job, int16_t sectionN);
    int16_t GetNSubreportsInSection(RE_JOB job, int16_t sectionCode);
    uint32_t GetNthSubreportInSection(RE_JOB job, int16_t sectionCode, int16_t subreportN);
    RE_BOOL GetSubreportInfo(RE_JOB job, uint32_t subreportHandle, RESubreportInfo* info);

    int16_t GetNParameterFields(RE_JOB job);
    RE_BOOL GetNthParameterField(RE_JOB job, int16_t parameterN, REParameterFieldInfo* info);
    RE_BOOL SetNthParameterField(RE_JOB job, int16_t parameterN, const REParameterFieldInfo* info);
    int16_t GetNthParameterType(RE_JOB job, int16_t parameterN);
    RE_BOOL ConvertPFInfoToVInfo(const char* value, uint16_t valueType, REValueInfo* valueInfo);
    RE_BOOL ConvertVInfoToPFInfo(const REValueInfo* valueInfo, uint16_t* valueType, char* value);
    RE_BOOL GetParameterMinMaxValue(RE_JOB job, const char* name, const char* reportName,
                                    REValueInfo* minValue, REValueInfo* maxValue);
    RE_BOOL GetParameterValueInfo(RE_JOB job, const char* name, const char* reportName,
                                  REParameterValueInfo* info);
    RE_BOOL GetParameterBrowseField(RE_JOB job, const char* name, const char* reportName,
                                    char* tableAndField, int32_t bufferSize);
    int16_t GetNParameterCurrentValues(RE_JOB job, const char* name, const char* reportName);
    RE_BOOL GetNthParameterCurrentValue(RE_JOB job, const char* name, const char* reportName,
                                        int16_t valueN, REValueInfo* value);
    RE_BOOL AddParameterCurrentValue(RE_JOB job, const char* name, const char* reportName,
                                     const REValueInfo* value);
    RE_BOOL ClearParameterCurrentValuesAndRanges(RE_JOB job, const char* name, const char* reportName);
    RE_BOOL GetAllowPromptDialog(RE_JOB job);
    RE_BOOL SetAllowPromptDialog(RE_JOB job, RE_BOOL allow);

    RE_BOOL GetSQLQuery(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength);
    RE_BOOL GetReportSummaryInfo(RE_JOB job, RESummaryInfo* info);

    RE_BOOL SelectPrinter(RE_JOB job, const char* driverName, const char* printerName,
                          const char* portName, const REDeviceSettings* settings);
    RE_BOOL GetPrintOptions(RE_JOB job, REPrintOptions* options);
    RE_BOOL SetPrintOptions(RE_JOB job, const REPrintOptions* options);
    RE_BOOL OutputToPrinter(RE_JOB job, int16_t copies);
    RE_BOOL OutputToWindow(RE_JOB job, const char* title);
    RE_BOOL ExportTo(RE_JOB job, const REExportOptions* options);
    RE_BOOL StartPrintJob(RE_JOB job, RE_BOOL waitUntilDone);

private:
    void* Lookup(const char* name);
    template <class TFunction, class... TArgs>
    auto Call(const char* name, TArgs... args)
    {
        return reinterpret_cast<TFunction*>(Lookup(name))(args...);
    }

    void* FHandle = nullptr;
    std::string FPath;
    std::string FLastError;
};

}  // namespace mv
