#pragma once

#include <string>

#include "engine/RpeTypes.h"

namespace mv {

// Option groups handed to the engine with each export format. The defaults
// are the ones the scheduler always uses.
struct TRpePdfOptions {
    bool UsePageRange = false;  // false: all pages
    int FirstPageNo = 0, LastPageNo = 0;
};

struct TRpeExcelOptions {
    int ColumnWidthType = 0;            // 0: by area
    double ColumnWidthConstant = 720;   // 200 .. 5760; anything else is sent as 720
    bool UseWorksheetFunctions = false;
    bool CreatePageBreaks = false;
    bool ConvertDateToString = false;
    bool UsePageRange = false;
    int FirstPageNo = 0, LastPageNo = 0;
    bool ExportPageHeaderFooter = true;
    bool ChopPageHeader = true;
    bool Extended = false;  // format type 10 instead of 9
};

struct TRpeHtmlOptions {
    bool PageNavigator = true;
    bool SeparatePages = true;
    bool UsePageRange = false;
    int FirstPageNo = 0, LastPageNo = 0;
};

struct TRpeWordOptions {
    bool UsePageRange = false;
    int FirstPageNo = 0, LastPageNo = 0;
};

// Separated values.
struct TRpeTextOptions {
    bool UseReportNumberFormat = false;
    bool UseReportDateFormat = false;
    char StringDelimiter = '"';
    std::string FieldSeparator = ",";
};

struct TRpeXmlOptions {
    bool SeparatePages = true;
};

// Export settings; plain stores that take effect in Execute.
struct TRpeExportOptions {
    std::string FileName;
    TRpExportType FileType = TRpExportType::TextFormat;
    TRpExportDestination Destination = TRpExportDestination::toFile;
    bool PromptForOptions = false;
    bool PromptOnOverwrite = false;
    TRpePdfOptions PDF;
    TRpeExcelOptions Excel;
    TRpeHtmlOptions HTML;
    TRpeWordOptions Word;
    TRpeTextOptions Text;
    TRpeXmlOptions XML;
};

}  // namespace mv
