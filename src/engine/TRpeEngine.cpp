#include "engine/TRpeEngine.h"

#include "engine/ERpeError.h"

#include <filesystem>

#include <dlfcn.h>

namespace mv {

TRpeEngine::~TRpeEngine() { Unload(); }

bool TRpeEngine::Load(const std::string& path)
{
    Unload();
    dlerror();
    FHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (FHandle == nullptr) {
        const char* err = dlerror();
        FLastError = err != nullptr ? err : "cannot load " + path;
        return false;
    }
    FPath = path;
    FLastError.clear();
    return true;
}

void TRpeEngine::Unload()
{
    if (FHandle != nullptr) dlclose(FHandle);
    FHandle = nullptr;
    FPath.clear();
}

void* TRpeEngine::Lookup(const char* name)
{
    const std::string file =
        FPath.empty() ? std::string("librpeng32.so") : std::filesystem::path(FPath).filename().string();
    if (FHandle == nullptr) {
        FLastError = std::string(name) + ": the engine library is not loaded";
        throw ERpeError(100, "Error loading library: " + file + " - " + FLastError);
    }
    dlerror();
    void* fn = dlsym(FHandle, name);
    if (fn == nullptr) {
        const char* err = dlerror();
        FLastError = err != nullptr ? err : std::string(name) + ": not found";
        throw ERpeError(100, "Error loading library: " + file + " - " + FLastError);
    }
    return fn;
}

// One operation per engine function, each looked up at the moment of the call.
RE_BOOL TRpeEngine::OpenEngine() { return Call<decltype(::REOpenEngine)>("REOpenEngine"); }
void TRpeEngine::CloseEngine() { return Call<decltype(::RECloseEngine)>("RECloseEngine"); }
RE_BOOL TRpeEngine::SetTempFilePath(const char* path) { return Call<decltype(::RESetTempFilePath)>("RESetTempFilePath", path); }
RE_JOB TRpeEngine::OpenPrintJob(const char* reportFilePath) { return Call<decltype(::REOpenPrintJob)>("REOpenPrintJob", reportFilePath); }
RE_BOOL TRpeEngine::ClosePrintJob(RE_JOB job) { return Call<decltype(::REClosePrintJob)>("REClosePrintJob", job); }
RE_JOB TRpeEngine::OpenSubreport(RE_JOB parentJob, const char* subreportName) { return Call<decltype(::REOpenSubreport)>("REOpenSubreport", parentJob, subreportName); }
RE_BOOL TRpeEngine::CloseSubreport(RE_JOB subreportJob) { return Call<decltype(::RECloseSubreport)>("RECloseSubreport", subreportJob); }
RE_BOOL TRpeEngine::EnableProgressDialog(RE_JOB job, RE_BOOL enable) { return Call<decltype(::REEnableProgressDialog)>("REEnableProgressDialog", job, enable); }
int16_t TRpeEngine::GetErrorCode(RE_JOB job) { return Call<decltype(::REGetErrorCode)>("REGetErrorCode", job); }
RE_BOOL TRpeEngine::GetErrorText(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength) { return Call<decltype(::REGetErrorText)>("REGetErrorText", job, textHandle, textLength); }
RE_BOOL TRpeEngine::GetHandleString(RE_HANDLE textHandle, char* buffer, int32_t bufferSize) { return Call<decltype(::REGetHandleString)>("REGetHandleString", textHandle, buffer, bufferSize); }
int16_t TRpeEngine::GetNTables(RE_JOB job) { return Call<decltype(::REGetNTables)>("REGetNTables", job); }
RE_BOOL TRpeEngine::GetNthTableLogOnInfo(RE_JOB job, int16_t tableN, RELogOnInfo* info) { return Call<decltype(::REGetNthTableLogOnInfo)>("REGetNthTableLogOnInfo", job, tableN, info); }
RE_BOOL TRpeEngine::SetNthTableLogOnInfo(RE_JOB job, int16_t tableN, const RELogOnInfo* info, RE_BOOL propagate) { return Call<decltype(::RESetNthTableLogOnInfo)>("RESetNthTableLogOnInfo", job, tableN, info, propagate); }
int16_t TRpeEngine::GetNSections(RE_JOB job) { return Call<decltype(::REGetNSections)>("REGetNSections", job); }
int16_t TRpeEngine::GetSectionCode(RE_JOB job, int16_t sectionN) { return Call<decltype(::REGetSectionCode)>("REGetSectionCode", job, sectionN); }
int16_t TRpeEngine::GetNSubreportsInSection(RE_JOB job, int16_t sectionCode) { return Call<decltype(::REGetNSubreportsInSection)>("REGetNSubreportsInSection", job, sectionCode); }
uint32_t TRpeEngine::GetNthSubreportInSection(RE_JOB job, int16_t sectionCode, int16_t subreportN) { return Call<decltype(::REGetNthSubreportInSection)>("REGetNthSubreportInSection", job, sectionCode, subreportN); }
RE_BOOL TRpeEngine::GetSubreportInfo(RE_JOB job, uint32_t subreportHandle, RESubreportInfo* info) { return Call<decltype(::REGetSubreportInfo)>("REGetSubreportInfo", job, subreportHandle, info); }
int16_t TRpeEngine::GetNParameterFields(RE_JOB job) { return Call<decltype(::REGetNParameterFields)>("REGetNParameterFields", job); }
RE_BOOL TRpeEngine::GetNthParameterField(RE_JOB job, int16_t parameterN, REParameterFieldInfo* info) { return Call<decltype(::REGetNthParameterField)>("REGetNthParameterField", job, parameterN, info); }
RE_BOOL TRpeEngine::SetNthParameterField(RE_JOB job, int16_t parameterN, const REParameterFieldInfo* info) { return Call<decltype(::RESetNthParameterField)>("RESetNthParameterField", job, parameterN, info); }
int16_t TRpeEngine::GetNthParameterType(RE_JOB job, int16_t parameterN) { return Call<decltype(::REGetNthParameterType)>("REGetNthParameterType", job, parameterN); }
RE_BOOL TRpeEngine::ConvertPFInfoToVInfo(const char* value, uint16_t valueType, REValueInfo* valueInfo) { return Call<decltype(::REConvertPFInfoToVInfo)>("REConvertPFInfoToVInfo", value, valueType, valueInfo); }
RE_BOOL TRpeEngine::ConvertVInfoToPFInfo(const REValueInfo* valueInfo, uint16_t* valueType, char* value) { return Call<decltype(::REConvertVInfoToPFInfo)>("REConvertVInfoToPFInfo", valueInfo, valueType, value); }
RE_BOOL TRpeEngine::GetParameterMinMaxValue(RE_JOB job, const char* name, const char* reportName, REValueInfo* minValue, REValueInfo* maxValue) { return Call<decltype(::REGetParameterMinMaxValue)>("REGetParameterMinMaxValue", job, name, reportName, minValue, maxValue); }
RE_BOOL TRpeEngine::GetParameterValueInfo(RE_JOB job, const char* name, const char* reportName, REParameterValueInfo* info) { return Call<decltype(::REGetParameterValueInfo)>("REGetParameterValueInfo", job, name, reportName, info); }
RE_BOOL TRpeEngine::GetParameterBrowseField(RE_JOB job, const char* name, const char* reportName, char* tableAndField, int32_t bufferSize) { return Call<decltype(::REGetParameterBrowseField)>("REGetParameterBrowseField", job, name, reportName, tableAndField, bufferSize); }
int16_t TRpeEngine::GetNParameterCurrentValues(RE_JOB job, const char* name, const char* reportName) { return Call<decltype(::REGetNParameterCurrentValues)>("REGetNParameterCurrentValues", job, name, reportName); }
RE_BOOL TRpeEngine::GetNthParameterCurrentValue(RE_JOB job, const char* name, const char* reportName, int16_t valueN, REValueInfo* value) { return Call<decltype(::REGetNthParameterCurrentValue)>("REGetNthParameterCurrentValue", job, name, reportName, valueN, value); }
RE_BOOL TRpeEngine::AddParameterCurrentValue(RE_JOB job, const char* name, const char* reportName, const REValueInfo* value) { return Call<decltype(::REAddParameterCurrentValue)>("REAddParameterCurrentValue", job, name, reportName, value); }
RE_BOOL TRpeEngine::ClearParameterCurrentValuesAndRanges(RE_JOB job, const char* name, const char* reportName) { return Call<decltype(::REClearParameterCurrentValuesAndRanges)>("REClearParameterCurrentValuesAndRanges", job, name, reportName); }
RE_BOOL TRpeEngine::GetAllowPromptDialog(RE_JOB job) { return Call<decltype(::REGetAllowPromptDialog)>("REGetAllowPromptDialog", job); }
RE_BOOL TRpeEngine::SetAllowPromptDialog(RE_JOB job, RE_BOOL allow) { return Call<decltype(::RESetAllowPromptDialog)>("RESetAllowPromptDialog", job, allow); }
RE_BOOL TRpeEngine::GetSQLQuery(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength) { return Call<decltype(::REGetSQLQuery)>("REGetSQLQuery", job, textHandle, textLength); }
RE_BOOL TRpeEngine::GetReportSummaryInfo(RE_JOB job, RESummaryInfo* info) { return Call<decltype(::REGetReportSummaryInfo)>("REGetReportSummaryInfo", job, info); }
RE_BOOL TRpeEngine::SelectPrinter(RE_JOB job, const char* driverName, const char* printerName, const char* portName, const REDeviceSettings* settings) { return Call<decltype(::RESelectPrinter)>("RESelectPrinter", job, driverName, printerName, portName, settings); }
RE_BOOL TRpeEngine::GetPrintOptions(RE_JOB job, REPrintOptions* options) { return Call<decltype(::REGetPrintOptions)>("REGetPrintOptions", job, options); }
RE_BOOL TRpeEngine::SetPrintOptions(RE_JOB job, const REPrintOptions* options) { return Call<decltype(::RESetPrintOptions)>("RESetPrintOptions", job, options); }
RE_BOOL TRpeEngine::OutputToPrinter(RE_JOB job, int16_t copies) { return Call<decltype(::REOutputToPrinter)>("REOutputToPrinter", job, copies); }
RE_BOOL TRpeEngine::OutputToWindow(RE_JOB job, const char* title) { return Call<decltype(::REOutputToWindow)>("REOutputToWindow", job, title); }
RE_BOOL TRpeEngine::ExportTo(RE_JOB job, const REExportOptions* options) { return Call<decltype(::REExportTo)>("REExportTo", job, options); }
RE_BOOL TRpeEngine::StartPrintJob(RE_JOB job, RE_BOOL waitUntilDone) { return Call<decltype(::REStartPrintJob)>("REStartPrintJob", job, waitUntilDone); }

}  // namespace mv
