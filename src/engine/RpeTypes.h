#pragma once

namespace mv {

// Where Execute sends the report.
enum class TRpOutput { toWindow = 0, toPrinter = 1, toExport = 2 };

enum class TRpExportType {
    AdobeAcrobatPDF = 0,
    NativeReport = 1,
    HTML32 = 2,
    HTML40 = 3,
    MSExcel = 4,
    MSWord = 5,
    ODBCTable = 6,
    Records = 7,
    ReportDefinition = 8,
    RichText = 9,
    SeparatedValues = 10,
    TabSeparatedText = 11,
    TextFormat = 12,
    XML1 = 13
};

enum class TRpExportDestination {
    toFile = 0,
    toEmailViaMapi,
    toEmailViaVIM,
    toMSExchange,
    toLotusNotes,
    toApplication
};

// A report parameter's value type; the numbers are the engine's.
enum class TRpParamFieldType {
    pfNumber = 0,
    pfCurrency = 1,
    pfBoolean = 2,
    pfDate = 3,
    pfString = 4,
    pfDateTime = 5,
    pfTime = 6,
    pfInteger = 7,
    pfColor = 8,
    pfChar = 9,
    pfLong = 10,
    pfStringHandle = 11,
    pfNoValue = 12
};

// Whether a parameter takes single values, ranges or both.
enum class TRpParamInfoValueType { vtRange, vtDiscrete, vtDiscreteAndRange };

enum class TRpOrientation { orDefault, orPortrait, orLandscape };

// Report settings kept when a printer is selected.
enum class TRpPreserveRptSetting { prOrientation, prPaperSize, prPaperSource };

}  // namespace mv
