/*
 * Control functions of the recording test engine (librecording_rpeng.so).
 *
 * The library implements the engine's C interface (rpeng.h) for tests: it
 * keeps a scripted report in memory (tables, subreports, parameters with
 * their current values, query text, summary, copies), logs every call with
 * its arguments, one line per call, and fails any call on request. A test
 * loads the same library file the binding loads, so both see one state.
 */
#ifndef RECORDING_CONTROL_H
#define RECORDING_CONTROL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets the report, the log, the failures, the jobs and the open count. */
void RecReset(void);
void RecSetTables(int tables);
/* sectionCode as in rpeng.h (kind * 1000 + index), e.g. 4000 for the first detail section. */
void RecAddSubreport(const char* name, int sectionCode, int tables);
/* type RE_PF_*, kind RE_DR_*; currentValues: value texts separated by "\n"
   (NULL or "" for none); defaultValue NULL for none. Value texts:
   number "12.5", Boolean "True"/"False", date "2024,01,31",
   date-time "2024,01,31 10:00:00", time "10:00:00", integer "7", char "c". */
void RecAddParam(const char* name, const char* reportName, int type, int kind, int linked,
                 const char* currentValues, const char* defaultValue);
void RecSetSQL(const char* sql); /* NULL: the report has no query (error 515) */
void RecSetSummary(const char* title, const char* subject, const char* author, const char* keywords,
                   const char* comments);
/* The logon every table starts with. */
void RecSetLogon(const char* server, const char* database, const char* user, const char* password);
void RecSetCopies(int copies);
/* Makes `function` fail after `skip` successful calls, `times` times (-1:
   always). code 0 fails without an error code; -1 makes REGetErrorCode
   answer -1. */
void RecFail(const char* function, int code, const char* text, int skip, int times);

/* The log since the last reset or clear: one line per call, "REName(args)". */
const char* RecLog(void);
void RecClearLog(void);
int RecEngineOpenCount(void);
int RecOpenJobCount(void);
/* Current values of a parameter as value texts joined by "\n". */
const char* RecParamValues(const char* name, const char* reportName);

#ifdef __cplusplus
}
#endif

#endif
