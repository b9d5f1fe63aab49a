/*
 * rpeng.h - the C interface of the report engine library librpeng32.so.
 *
 * Callers load the library at run time (dlopen) and look each function up by
 * name (dlsym); nothing here needs to be linked. Every function is
 * `extern "C"`, uses only fixed-size C types, and never throws.
 *
 * Sessions and threads
 *   REOpenEngine opens the engine for the calling thread; calls nest, and the
 *   matching RECloseEngine calls close it again. When a thread's last
 *   RECloseEngine runs, every print job that thread opened and did not close
 *   is closed. Several threads may have the engine open at once; a print job
 *   belongs to the thread that opened it and is used by that thread only.
 *   Nothing is shared between threads without a lock.
 *
 * Print jobs
 *   A print job is one opened report definition file (REOpenPrintJob) or one
 *   of its subreports (REOpenSubreport). Handles are positive; 0 means none.
 *
 * Errors
 *   A failing call returns FALSE (0), or 0 / -1 where it returns a handle or
 *   a count, and leaves an error code and a text on the job it was given.
 *   REGetErrorCode(job) and REGetErrorText(job, ...) read them back. Failures
 *   that have no job (REOpenEngine, REOpenPrintJob) are kept on job 0, per
 *   thread. A successful call does not clear the job's last error. The
 *   codes are listed below; docs/engine-errors.md gives the full table.
 *
 * Texts
 *   All texts are UTF-8, NUL-terminated. Longer texts (error texts, the SQL
 *   query) come back as a text handle and a length in bytes without the NUL;
 *   REGetHandleString copies the text into the caller's buffer and releases
 *   the handle. A handle belongs to the thread that received it.
 *
 * Records
 *   Every record begins with StructSize, which the caller sets to sizeof the
 *   record before passing it in; the engine refuses a record whose size it
 *   does not know (RE_ERR_BADSTRUCTSIZE). Fixed-size text fields are always
 *   NUL-terminated; a text too long for its field is cut at a character
 *   boundary.
 */
#ifndef RPENG_H
#define RPENG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(RPENG_BUILDING)
#define RE_API __attribute__((visibility("default")))
#else
#define RE_API
#endif

typedef int32_t RE_BOOL; /* 0 is FALSE, anything else TRUE */
typedef int16_t RE_JOB;  /* print job handle, > 0; 0 = none */
typedef uint32_t RE_HANDLE; /* text handle, > 0; 0 = none */

/* ---- Error codes -------------------------------------------------------- */
enum {
  RE_ERR_NONE = 0,
  RE_ERR_NOMEMORY = 500,        /* out of memory */
  RE_ERR_BADJOB = 501,          /* no open print job has this handle (or it is another thread's) */
  RE_ERR_NOTOPEN = 502,         /* the engine is not open in this thread */
  RE_ERR_FILEOPEN = 503,        /* the report definition file is missing or unreadable */
  RE_ERR_DEFINITION = 504,      /* the report definition has an error: text names file, line, what */
  RE_ERR_EMPTYSUPPRESSED = 505, /* the query returned no rows and the definition asks that empty reports are not produced */
  RE_ERR_BADINDEX = 506,        /* index out of range (table, section, parameter, value) */
  RE_ERR_BADSTRUCTSIZE = 507,   /* a record's StructSize is not one the engine knows */
  RE_ERR_BADHANDLE = 508,       /* unknown or already released text handle */
  RE_ERR_BADARGUMENT = 509,     /* a null pointer or a value out of its range */
  RE_ERR_TOOMANYJOBS = 510,     /* no print job handle is free (32767 jobs open) */
  RE_ERR_NOSQL = 515,           /* the report (or subreport) has no query text to give */
  RE_ERR_ALREADYSTARTED = 524,  /* the job is already running in this thread; the call did nothing */
  RE_ERR_DBLOGON = 530,         /* cannot connect to the data source (ODBC text follows, password removed) */
  RE_ERR_DBQUERY = 531,         /* the query failed at the data source */
  RE_ERR_DATAVALUE = 532,       /* a value of the result does not fit the report (a total over a non-number) */
  RE_ERR_NOOUTPUT = 535,        /* REStartPrintJob without an output chosen */
  RE_ERR_EXPORTFORMAT = 540,    /* unknown export format library or type */
  RE_ERR_EXPORTDEST = 541,      /* unknown export destination, or no file name */
  RE_ERR_EXPORTWRITE = 542,     /* the export file cannot be written (OS text follows) */
  RE_ERR_PRINTER = 543,         /* the printer cannot be reached or refused the job (CUPS text follows) */
  RE_ERR_NODISPLAY = 544,       /* preview asked for but there is no display to show it on */
  RE_ERR_CANCELLED = 545,       /* the job was cancelled by the user before it finished */
  RE_ERR_NOTAVAILABLE = 547,    /* the output (printer, preview, PDF, Excel, Word, RTF) is not in this build */
  RE_ERR_PARAMUNKNOWN = 650,    /* no parameter of that name in that (sub)report */
  RE_ERR_PARAMTYPE = 651,       /* the value's type is not the parameter's type */
  RE_ERR_PARAMVALUE = 652,      /* the value is outside the parameter's limits */
  RE_ERR_PARAMMISSING = 653,    /* a parameter without a value, and prompting is off */
  RE_ERR_NOTCURRENTVALUES = 656, /* current values do not apply to this parameter (a linked one) */
  RE_ERR_INTERNAL = 699         /* an unexpected failure inside the engine (text says what) */
};

/* ---- Engine and print jobs ---------------------------------------------- */
RE_API RE_BOOL REOpenEngine(void);
RE_API void RECloseEngine(void);
/* Folder for the engine's temporary files (spools, previews); default: $TMPDIR or /tmp. Per thread. */
RE_API RE_BOOL RESetTempFilePath(const char* path);

RE_API RE_JOB REOpenPrintJob(const char* reportFilePath);
RE_API RE_BOOL REClosePrintJob(RE_JOB job);
RE_API RE_JOB REOpenSubreport(RE_JOB parentJob, const char* subreportName);
RE_API RE_BOOL RECloseSubreport(RE_JOB subreportJob);
/* The engine shows no progress dialog; the flag is kept and reported only. */
RE_API RE_BOOL REEnableProgressDialog(RE_JOB job, RE_BOOL enable);

/* ---- Errors and texts --------------------------------------------------- */
RE_API int16_t REGetErrorCode(RE_JOB job); /* 0: no error; -1: job handle unknown */
RE_API RE_BOOL REGetErrorText(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength);
/* Copies at most bufferSize-1 bytes and a NUL; releases the handle. */
RE_API RE_BOOL REGetHandleString(RE_HANDLE textHandle, char* buffer, int32_t bufferSize);

/* ---- Tables and logon ---------------------------------------------------- */
#define RE_NAME_LEN 128
#define RE_TEXT_LEN 256
#define RE_PATH_LEN 4096

typedef struct RELogOnInfo {
  uint16_t StructSize;
  char ServerName[RE_NAME_LEN];   /* ODBC data source name */
  char DatabaseName[RE_NAME_LEN]; /* empty: the data source's own */
  char UserID[RE_NAME_LEN];
  char Password[RE_NAME_LEN];
} RELogOnInfo;

RE_API int16_t REGetNTables(RE_JOB job); /* -1 on error */
RE_API RE_BOOL REGetNthTableLogOnInfo(RE_JOB job, int16_t tableN, RELogOnInfo* info);
/* propagate TRUE: every table of this job's report gets the same logon. */
RE_API RE_BOOL RESetNthTableLogOnInfo(RE_JOB job, int16_t tableN, const RELogOnInfo* info, RE_BOOL propagate);

/* ---- Sections and subreports --------------------------------------------- */
/* Section codes: RE_SECTION_<kind> * 1000 + index within that kind. */
enum {
  RE_SECTION_REPORTHEADER = 1,
  RE_SECTION_PAGEHEADER = 2,
  RE_SECTION_GROUPHEADER = 3,
  RE_SECTION_DETAIL = 4,
  RE_SECTION_GROUPFOOTER = 5,
  RE_SECTION_PAGEFOOTER = 7,
  RE_SECTION_REPORTFOOTER = 8
};

typedef struct RESubreportInfo {
  uint16_t StructSize;
  char Name[RE_NAME_LEN];
  int16_t NLinks; /* parameters of the subreport fed from main-report fields */
} RESubreportInfo;

RE_API int16_t REGetNSections(RE_JOB job);
RE_API int16_t REGetSectionCode(RE_JOB job, int16_t sectionN); /* 0 on error */
RE_API int16_t REGetNSubreportsInSection(RE_JOB job, int16_t sectionCode);
RE_API uint32_t REGetNthSubreportInSection(RE_JOB job, int16_t sectionCode, int16_t subreportN); /* 0 on error */
RE_API RE_BOOL REGetSubreportInfo(RE_JOB job, uint32_t subreportHandle, RESubreportInfo* info);

/* ---- Parameters ------------------------------------------------------------ */
/* Parameter value types. */
enum {
  RE_PF_NUMBER = 0,
  RE_PF_CURRENCY = 1,
  RE_PF_BOOLEAN = 2,
  RE_PF_DATE = 3,
  RE_PF_STRING = 4,
  RE_PF_DATETIME = 5,
  RE_PF_TIME = 6,
  RE_PF_INTEGER = 7,
  RE_PF_COLOR = 8,
  RE_PF_CHAR = 9,
  RE_PF_LONG = 10,
  RE_PF_STRINGHANDLE = 11,
  RE_PF_NOVALUE = 12
};
/* Whether a parameter takes single values, ranges, or both. */
enum { RE_DR_DISCRETE = 0, RE_DR_RANGE = 1, RE_DR_DISCRETEANDRANGE = 2 };
/* Parameter kinds (REGetNthParameterType). */
enum { RE_PT_REPORTPARAMETER = 0, RE_PT_STOREDPROCPARAMETER = 1, RE_PT_QUERYPARAMETER = 2 };

/*
 * A parameter as the report defines it. DefaultValue and CurrentValue hold
 * a value in the engine's value text (see REValueInfo; decode with
 * REConvertPFInfoToVInfo), and are meaningful only when the matching *Set
 * flag is TRUE. CurrentValue is the first current value when there are
 * several.
 */
typedef struct REParameterFieldInfo {
  uint16_t StructSize;
  uint16_t ValueType;          /* RE_PF_* */
  uint16_t DiscreteOrRangeKind; /* RE_DR_* */
  uint16_t AllowMultipleValues;
  uint16_t DefaultValueSet;
  uint16_t CurrentValueSet;
  uint16_t IsLinked;           /* fed by a main-report field into a subreport */
  char Name[RE_NAME_LEN];
  char ReportName[RE_NAME_LEN]; /* owning subreport; empty for the main report */
  char Prompt[RE_TEXT_LEN];
  char DefaultValue[RE_TEXT_LEN];
  char CurrentValue[RE_TEXT_LEN];
} REParameterFieldInfo;

/* A typed value. Only the member for ValueType is meaningful. */
typedef struct REValueInfo {
  uint16_t StructSize;
  uint16_t ValueType;     /* RE_PF_* */
  double viNumber;        /* NUMBER, CURRENCY */
  int32_t viInteger;      /* INTEGER, LONG, COLOR */
  RE_BOOL viBoolean;      /* BOOLEAN */
  int16_t viDate[3];      /* DATE: year, month, day */
  int16_t viDateTime[6];  /* DATETIME: year, month, day, hour, minute, second */
  int16_t viTime[3];      /* TIME: hour, minute, second */
  char viChar;            /* CHAR */
  char viString[RE_TEXT_LEN]; /* STRING, STRINGHANDLE */
} REValueInfo;

typedef struct REParameterValueInfo {
  uint16_t StructSize;
  uint16_t IsNullable;
  uint16_t DisallowEditing;
  uint16_t AllowMultipleValues;
  uint16_t DiscreteOrRangeKind; /* RE_DR_* */
  uint16_t HasLimits;           /* min/max apply (REGetParameterMinMaxValue) */
} REParameterValueInfo;

RE_API int16_t REGetNParameterFields(RE_JOB job); /* main report and subreports; -1 on error */
RE_API RE_BOOL REGetNthParameterField(RE_JOB job, int16_t parameterN, REParameterFieldInfo* info);
RE_API RE_BOOL RESetNthParameterField(RE_JOB job, int16_t parameterN, const REParameterFieldInfo* info);
RE_API int16_t REGetNthParameterType(RE_JOB job, int16_t parameterN); /* RE_PT_*, -1 on error */
RE_API RE_BOOL REConvertPFInfoToVInfo(const char* value, uint16_t valueType, REValueInfo* valueInfo);
RE_API RE_BOOL REConvertVInfoToPFInfo(const REValueInfo* valueInfo, uint16_t* valueType, char* value /* RE_TEXT_LEN */);
RE_API RE_BOOL REGetParameterMinMaxValue(RE_JOB job, const char* name, const char* reportName,
                                         REValueInfo* minValue, REValueInfo* maxValue);
RE_API RE_BOOL REGetParameterValueInfo(RE_JOB job, const char* name, const char* reportName,
                                       REParameterValueInfo* info);
/* The database field whose values a prompt would offer; empty when none. */
RE_API RE_BOOL REGetParameterBrowseField(RE_JOB job, const char* name, const char* reportName,
                                         char* tableAndField, int32_t bufferSize);
RE_API int16_t REGetNParameterCurrentValues(RE_JOB job, const char* name, const char* reportName);
RE_API RE_BOOL REGetNthParameterCurrentValue(RE_JOB job, const char* name, const char* reportName,
                                             int16_t valueN, REValueInfo* value);
RE_API RE_BOOL REAddParameterCurrentValue(RE_JOB job, const char* name, const char* reportName,
                                          const REValueInfo* value);
RE_API RE_BOOL REClearParameterCurrentValuesAndRanges(RE_JOB job, const char* name, const char* reportName);
RE_API RE_BOOL REGetAllowPromptDialog(RE_JOB job);
RE_API RE_BOOL RESetAllowPromptDialog(RE_JOB job, RE_BOOL allow);

/* ---- Query and summary ----------------------------------------------------- */
RE_API RE_BOOL REGetSQLQuery(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength);

typedef struct RESummaryInfo {
  uint16_t StructSize;
  char Title[RE_TEXT_LEN];
  char Subject[RE_TEXT_LEN];
  char Author[RE_TEXT_LEN];
  char Keywords[RE_TEXT_LEN];
  char Comments[2048]; /* lines separated by "\n" */
} RESummaryInfo;
RE_API RE_BOOL REGetReportSummaryInfo(RE_JOB job, RESummaryInfo* info);

/* ---- Printer and output ------------------------------------------------------ */
typedef struct REPrintOptions {
  uint16_t StructSize;
  /* Pages printed, numbered as in the whole report; a first page past the
     report's last fails the run with RE_ERR_BADARGUMENT. */
  uint16_t StartPageN;    /* 0: from the first page */
  uint16_t StopPageN;     /* 0: to the last page */
  uint16_t nReportCopies; /* copies the report asks for; at least 1 */
  uint16_t Collation;
} REPrintOptions;

/* Device settings for RESelectPrinter; NULL keeps the report's own. */
typedef struct REDeviceSettings {
  uint16_t StructSize;
  int16_t Orientation; /* 0 report's own, 1 portrait, 2 landscape */
  char PaperName[RE_NAME_LEN]; /* empty: the report's own */
} REDeviceSettings;

/* printerName is the CUPS destination; driverName (make and model) and
   portName (device URI) are informational. */
RE_API RE_BOOL RESelectPrinter(RE_JOB job, const char* driverName, const char* printerName,
                               const char* portName, const REDeviceSettings* settings);
RE_API RE_BOOL REGetPrintOptions(RE_JOB job, REPrintOptions* options);
RE_API RE_BOOL RESetPrintOptions(RE_JOB job, const REPrintOptions* options);
RE_API RE_BOOL REOutputToPrinter(RE_JOB job, int16_t copies);
/* Preview: renders to a PDF in the temporary folder and opens it with the
   desktop's viewer; RE_ERR_NODISPLAY without a display. */
RE_API RE_BOOL REOutputToWindow(RE_JOB job, const char* title);

/* Export format libraries and types (REExportOptions.FormatDLLName / FormatType). */
#define RE_FMT_PDF "rxf_pdf.dll"    /* type 0 */
#define RE_FMT_XLS "rxf_xls.dll"    /* type 9; 10 (extended) is written the same way */
#define RE_FMT_HTML "rxf_html.dll"  /* type 3: HTML 4.0; 2: HTML 3.2 (written as 4.0) */
#define RE_FMT_WORD "rxf_word.dll"  /* type 0 */
#define RE_FMT_RTF "rxf_rtf.dll"    /* type 0 */
#define RE_FMT_SEPV "rxf_sepv.dll"  /* type 3: separated values; 4: tab-separated text */
#define RE_FMT_TEXT "rxf_text.dll"  /* type 0: paginated plain text */
#define RE_FMT_XML "rxf_xml.dll"    /* type 0 */
#define RE_DEST_DISK "rxd_disk.dll" /* type 0: a disk file */

typedef struct REPdfOptions {
  uint16_t StructSize;
  /* Only the pages FirstPageNo (0: the first) to LastPageNo (0: the last),
     numbered as in the whole report. The other formats refuse a page range
     (RE_ERR_BADARGUMENT) rather than write the whole report. */
  uint16_t UsePageRange;
  uint16_t FirstPageNo, LastPageNo;
} REPdfOptions;

typedef struct REExcelOptions {
  uint16_t StructSize;
  uint16_t ColumnWidthType;     /* 0: by area */
  double ColumnWidthConstant;   /* 200 .. 5760; anything else means 720 */
  uint16_t UseWorksheetFunctions;
  uint16_t CreatePageBreaks;
  uint16_t ConvertDateToString;
  uint16_t UsePageRange;
  uint16_t FirstPageNo, LastPageNo;
  uint16_t ExportPageHeaderFooter;
  uint16_t ChopPageHeader;
} REExcelOptions;

typedef struct REHtmlOptions {
  uint16_t StructSize;
  char FileName[RE_PATH_LEN]; /* empty: the destination's file */
  uint16_t PageNavigator;
  uint16_t SeparatePages;
  uint16_t UsePageRange;
  uint16_t FirstPageNo, LastPageNo;
} REHtmlOptions;

typedef struct REWordOptions {
  uint16_t StructSize;
  uint16_t UsePageRange;
  uint16_t FirstPageNo, LastPageNo;
} REWordOptions;

typedef struct RESepValOptions {
  uint16_t StructSize;
  uint16_t UseReportNumberFormat;
  uint16_t UseReportDateFormat;
  char StringDelimiter;    /* '"' */
  char FieldDelimiter[16]; /* "," */
} RESepValOptions;

typedef struct REXmlOptions {
  uint16_t StructSize;
  char FileName[RE_PATH_LEN]; /* empty: the destination's file */
  uint16_t SeparatePages;
} REXmlOptions;

typedef struct REDiskOptions {
  uint16_t StructSize;
  char FileName[RE_PATH_LEN];
} REDiskOptions;

/* FormatOptions points at the record for the format (NULL: its defaults);
   DestinationOptions at an REDiskOptions. */
typedef struct REExportOptions {
  uint16_t StructSize;
  char FormatDLLName[64];
  uint32_t FormatType;
  const void* FormatOptions;
  char DestinationDLLName[64];
  uint32_t DestinationType;
  const void* DestinationOptions;
} REExportOptions;

RE_API RE_BOOL REExportTo(RE_JOB job, const REExportOptions* options);

/* Runs the query and produces the chosen output. With waitUntilDone TRUE it
   returns when the file is written or the job handed to the printer; this
   engine always works that way. An export file is written under a temporary
   name in its folder and renamed at the end, so a failed run never leaves a
   half-written file under the final name. */
RE_API RE_BOOL REStartPrintJob(RE_JOB job, RE_BOOL waitUntilDone);

#ifdef __cplusplus
}
#endif

#endif /* RPENG_H */
