// mvreport: report definitions from the command line, through the engine's
// C interface (linked against librpeng32.so like any other caller).
//
//   mvreport info REPORT
//   mvreport params REPORT
//   mvreport sql REPORT [--subreport NAME]
//   mvreport run REPORT --dsn NAME [--user U] [--password P] [--database D]
//                [--param NAME=VALUE ...] --format csv|tsv|txt|html|xml|pdf|xls|doc|rtf --out FILE
//                [--pages FIRST-LAST]
//
// Exit status: 0 done; 1 the engine failed (its error number and text are
// printed); 2 wrong usage; 3 nothing written because the report is empty
// and its definition suppresses empty reports.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "rpeng.h"

namespace {

const char* kUsage =
    "usage: mvreport info REPORT\n"
    "       mvreport params REPORT\n"
    "       mvreport sql REPORT [--subreport NAME]\n"
    "       mvreport run REPORT --dsn NAME [--user U] [--password P] [--database D]\n"
    "                    [--param NAME=VALUE ...] --format csv|tsv|txt|html|xml|pdf|xls|doc|rtf --out FILE\n"
    "                    [--pages FIRST-LAST]\n"
    "A parameter that takes several values gets one --param per value; NAME= with nothing\n"
    "after it gives it no values (for SiteList and SensorList: all stations or sensors).\n"
    "A subreport's parameter is found by its name when the main report has none of that name.\n"
    "Date-times are written yyyy-mm-dd hh:nn:ss (or yyyy,mm,dd hh:nn:ss).\n";

struct TEngineError {
  int Code;
  std::string Text;
};

std::string HandleText(RE_HANDLE h, int32_t length) {
  std::string s(static_cast<std::size_t>(length) + 1, '\0');
  if (!REGetHandleString(h, s.data(), length + 1)) return {};
  s.resize(std::strlen(s.c_str()));
  return s;
}

// The engine's error for a failed call on `job` (or on job 0).
TEngineError LastError(RE_JOB job) {
  RE_JOB from = job;
  int code = job ? REGetErrorCode(job) : 0;
  if (code <= 0) {
    from = 0;
    code = REGetErrorCode(0);
  }
  RE_HANDLE h = 0;
  int32_t len = 0;
  std::string text;
  if (REGetErrorText(from, &h, &len)) text = HandleText(h, len);
  return {code, text};
}

[[noreturn]] void Fail(RE_JOB job, const char* what) {
  TEngineError e = LastError(job);
  std::fprintf(stderr, "mvreport: %s failed: error %d: %s\n", what, e.Code, e.Text.c_str());
  RECloseEngine();
  std::exit(e.Code == RE_ERR_EMPTYSUPPRESSED ? 3 : 1);
}

[[noreturn]] void Usage(const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "mvreport: %s\n", why.c_str());
  std::fputs(kUsage, stderr);
  std::exit(2);
}

const char* TypeName(uint16_t t) {
  static const char* names[] = {"number", "currency", "boolean", "date", "string", "datetime", "time",
                                "integer", "color", "char", "long", "stringhandle", "novalue"};
  return t < 13 ? names[t] : "?";
}

const char* KindName(uint16_t k) {
  return k == RE_DR_RANGE ? "range" : k == RE_DR_DISCRETEANDRANGE ? "discrete-and-range" : "discrete";
}

std::string SectionName(int code) {
  int kind = code / 1000, index = code % 1000;
  switch (kind) {
    case RE_SECTION_REPORTHEADER: return "report header";
    case RE_SECTION_PAGEHEADER: return "page header";
    case RE_SECTION_GROUPHEADER: return "group " + std::to_string(index + 1) + " header";
    case RE_SECTION_DETAIL: return "detail";
    case RE_SECTION_GROUPFOOTER: return "group " + std::to_string(index + 1) + " footer";
    case RE_SECTION_PAGEFOOTER: return "page footer";
    case RE_SECTION_REPORTFOOTER: return "report footer";
    default: return "section " + std::to_string(code);
  }
}

struct TSubreport {
  std::string Name;
  int Section;
  int Links;
};

std::vector<TSubreport> Subreports(RE_JOB job) {
  std::vector<TSubreport> out;
  int n = REGetNSections(job);
  if (n < 0) Fail(job, "REGetNSections");
  for (int s = 0; s < n; ++s) {
    int code = REGetSectionCode(job, static_cast<int16_t>(s));
    int k = REGetNSubreportsInSection(job, static_cast<int16_t>(code));
    for (int i = 0; i < k; ++i) {
      uint32_t h = REGetNthSubreportInSection(job, static_cast<int16_t>(code), static_cast<int16_t>(i));
      RESubreportInfo info{};
      info.StructSize = sizeof info;
      if (!REGetSubreportInfo(job, h, &info)) Fail(job, "REGetSubreportInfo");
      out.push_back({info.Name, code, info.NLinks});
    }
  }
  return out;
}

void Info(RE_JOB job, const char* path) {
  RESummaryInfo s{};
  s.StructSize = sizeof s;
  if (!REGetReportSummaryInfo(job, &s)) Fail(job, "REGetReportSummaryInfo");
  std::printf("File:      %s\nTitle:     %s\nSubject:   %s\nAuthor:    %s\nKeywords:  %s\n", path, s.Title, s.Subject,
              s.Author, s.Keywords);
  if (*s.Comments) {
    std::printf("Comments:\n");
    std::string c = s.Comments;
    std::size_t pos = 0;
    while (pos <= c.size()) {
      std::size_t nl = c.find('\n', pos);
      std::printf("  %s\n", c.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos).c_str());
      if (nl == std::string::npos) break;
      pos = nl + 1;
    }
  }
  int tables = REGetNTables(job);
  if (tables < 0) Fail(job, "REGetNTables");
  std::printf("Tables:    %d\n", tables);
  for (int t = 0; t < tables; ++t) {
    RELogOnInfo l{};
    l.StructSize = sizeof l;
    if (!REGetNthTableLogOnInfo(job, static_cast<int16_t>(t), &l)) Fail(job, "REGetNthTableLogOnInfo");
    std::printf("  %d: data source \"%s\"%s%s%s%s\n", t, l.ServerName, *l.DatabaseName ? " database " : "",
                l.DatabaseName, *l.UserID ? " user " : "", l.UserID);
  }
  int params = REGetNParameterFields(job);
  std::printf("Parameters: %d\n", params);
  RE_HANDLE h = 0;
  int32_t len = 0;
  std::printf("Query:     %s\n", REGetSQLQuery(job, &h, &len) ? (HandleText(h, len), "yes") : "none");
  int sections = REGetNSections(job);
  std::printf("Sections:  ");
  for (int i = 0; i < sections; ++i)
    std::printf("%s%d (%s)", i ? ", " : "", REGetSectionCode(job, static_cast<int16_t>(i)),
                SectionName(REGetSectionCode(job, static_cast<int16_t>(i))).c_str());
  std::printf("\n");
  for (const TSubreport& sub : Subreports(job))
    std::printf("Subreport: \"%s\" in the %s, %d linked parameter%s\n", sub.Name.c_str(), SectionName(sub.Section).c_str(),
                sub.Links, sub.Links == 1 ? "" : "s");
}

void Params(RE_JOB job) {
  int n = REGetNParameterFields(job);
  if (n < 0) Fail(job, "REGetNParameterFields");
  if (n == 0) std::printf("The report has no parameters.\n");
  for (int i = 0; i < n; ++i) {
    REParameterFieldInfo p{};
    p.StructSize = sizeof p;
    if (!REGetNthParameterField(job, static_cast<int16_t>(i), &p)) Fail(job, "REGetNthParameterField");
    std::string name = p.Name;
    if (*p.ReportName) name += std::string(" (subreport ") + p.ReportName + ")";
    std::printf("%s  %s, %s%s", name.c_str(), TypeName(p.ValueType), KindName(p.DiscreteOrRangeKind),
                p.AllowMultipleValues ? ", several values" : "");
    if (p.IsLinked) std::printf(", linked from the main report");
    if (p.DefaultValueSet) std::printf(", default \"%s\"", p.DefaultValue);
    if (*p.Prompt) std::printf("\n    %s", p.Prompt);
    std::printf("\n");
  }
}

void Sql(RE_JOB job, const std::string& subreport) {
  RE_JOB target = job;
  if (!subreport.empty()) {
    target = REOpenSubreport(job, subreport.c_str());
    if (!target) Fail(job, "REOpenSubreport");
  }
  RE_HANDLE h = 0;
  int32_t len = 0;
  if (!REGetSQLQuery(target, &h, &len)) Fail(target, "REGetSQLQuery");
  std::printf("%s\n", HandleText(h, len).c_str());
}

void SetLogon(RE_JOB job, const RELogOnInfo& logon, const char* what) {
  int tables = REGetNTables(job);
  if (tables < 0) Fail(job, "REGetNTables");
  if (tables == 0) return;
  if (!RESetNthTableLogOnInfo(job, 0, &logon, 1)) Fail(job, what);
}

// A parameter of the main report, else the first unlinked one of that name
// in a subreport.
void SetParam(RE_JOB job, const std::string& name, const std::vector<std::string>& values) {
  int n = REGetNParameterFields(job);
  REParameterFieldInfo p{};
  p.StructSize = sizeof p;
  int index = -1;
  for (int i = 0; i < n; ++i) {
    REParameterFieldInfo q{};
    q.StructSize = sizeof q;
    if (!REGetNthParameterField(job, static_cast<int16_t>(i), &q)) Fail(job, "REGetNthParameterField");
    if (name != q.Name || q.IsLinked) continue;
    if (!*q.ReportName) {
      p = q;
      index = i;
      break;
    }
    if (index < 0) {
      p = q;
      index = i;
    }
  }
  if (index < 0) {
    std::fprintf(stderr, "mvreport: the report has no parameter \"%s\" that takes values (see mvreport params)\n",
                 name.c_str());
    RECloseEngine();
    std::exit(2);
  }
  if (p.ValueType == RE_PF_BOOLEAN) {
    if (values.size() != 1) Usage("parameter \"" + name + "\" is a Boolean and takes one value");
    REValueInfo v{};
    v.StructSize = sizeof v;
    if (!REConvertPFInfoToVInfo(values[0].c_str(), p.ValueType, &v)) Fail(0, ("the value of " + name).c_str());
    uint16_t type = 0;
    if (!REConvertVInfoToPFInfo(&v, &type, p.CurrentValue)) Fail(0, ("the value of " + name).c_str());
    p.CurrentValueSet = 1;
    if (!RESetNthParameterField(job, static_cast<int16_t>(index), &p)) Fail(job, ("setting " + name).c_str());
    return;
  }
  if (!REClearParameterCurrentValuesAndRanges(job, p.Name, p.ReportName)) Fail(job, ("clearing " + name).c_str());
  for (const std::string& text : values) {
    if (text.empty() && values.size() == 1) break;  // NAME=: no values
    REValueInfo v{};
    v.StructSize = sizeof v;
    if (!REConvertPFInfoToVInfo(text.c_str(), p.ValueType, &v)) {
      TEngineError e = LastError(0);
      std::fprintf(stderr, "mvreport: --param %s=%s: error %d: %s\n", name.c_str(), text.c_str(), e.Code, e.Text.c_str());
      RECloseEngine();
      std::exit(2);
    }
    if (!REAddParameterCurrentValue(job, p.Name, p.ReportName, &v)) Fail(job, ("setting " + name).c_str());
  }
}

int Run(RE_JOB job, int argc, char** argv, int first) {
  std::string dsn, user, password, database, format, out, pages;
  bool haveDsn = false;
  std::vector<std::string> order;
  std::map<std::string, std::vector<std::string>> params;
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--dsn") {
      dsn = value();
      haveDsn = true;
    } else if (a == "--user") {
      user = value();
    } else if (a == "--password") {
      password = value();
    } else if (a == "--database") {
      database = value();
    } else if (a == "--format") {
      format = value();
    } else if (a == "--out") {
      out = value();
    } else if (a == "--pages") {
      pages = value();
    } else if (a == "--param") {
      std::string nv = value();
      std::size_t eq = nv.find('=');
      if (eq == std::string::npos || eq == 0) Usage("--param takes NAME=VALUE, not \"" + nv + "\"");
      std::string name = nv.substr(0, eq);
      if (!params.count(name)) order.push_back(name);
      params[name].push_back(nv.substr(eq + 1));
    } else {
      Usage("unknown option \"" + a + "\"");
    }
  }
  if (format.empty() || out.empty()) Usage("run needs --format and --out");
  if (haveDsn) {
    RELogOnInfo logon{};
    logon.StructSize = sizeof logon;
    std::snprintf(logon.ServerName, sizeof logon.ServerName, "%s", dsn.c_str());
    std::snprintf(logon.UserID, sizeof logon.UserID, "%s", user.c_str());
    std::snprintf(logon.Password, sizeof logon.Password, "%s", password.c_str());
    std::snprintf(logon.DatabaseName, sizeof logon.DatabaseName, "%s", database.c_str());
    SetLogon(job, logon, "RESetNthTableLogOnInfo");
    for (const TSubreport& sub : Subreports(job)) {
      RE_JOB sj = REOpenSubreport(job, sub.Name.c_str());
      if (!sj) Fail(job, "REOpenSubreport");
      SetLogon(sj, logon, "RESetNthTableLogOnInfo (subreport)");
      RECloseSubreport(sj);
    }
  }
  for (const std::string& name : order) SetParam(job, name, params[name]);
  if (!RESetAllowPromptDialog(job, 0)) Fail(job, "RESetAllowPromptDialog");

  REExportOptions e{};
  e.StructSize = sizeof e;
  RESepValOptions sep{};
  sep.StructSize = sizeof sep;
  sep.StringDelimiter = '"';
  std::snprintf(sep.FieldDelimiter, sizeof sep.FieldDelimiter, ",");
  REHtmlOptions html{};
  html.StructSize = sizeof html;
  html.PageNavigator = 1;
  html.SeparatePages = 1;
  REXmlOptions xml{};
  xml.StructSize = sizeof xml;
  REPdfOptions pdf{};
  pdf.StructSize = sizeof pdf;
  if (!pages.empty()) {
    // FIRST-LAST, FIRST- (to the end) or one page; numbered as in the whole report.
    unsigned from = 0, to = 0;
    int used = 0;
    std::string p = pages;
    if (p.find('-') == std::string::npos) p += "-" + pages;
    if (std::sscanf(p.c_str(), "%5u-%n", &from, &used) != 1 || from == 0 || from > 65535 ||
        (p[used] != '\0' && (std::sscanf(p.c_str() + used, "%5u", &to) != 1 || to < from || to > 65535 ||
                              std::to_string(to) != p.substr(used))))
      Usage("--pages takes FIRST-LAST, FIRST- or one page number from 1, not \"" + pages + "\"");
    if (format != "pdf") Usage("--pages is for --format pdf only");
    pdf.UsePageRange = 1;
    pdf.FirstPageNo = static_cast<uint16_t>(from);
    pdf.LastPageNo = static_cast<uint16_t>(to);
  }
  struct TFormat {
    const char* Name;
    const char* Dll;
    uint32_t Type;
    const void* Options;
  };
  const TFormat formats[] = {{"csv", RE_FMT_SEPV, 3, &sep}, {"tsv", RE_FMT_SEPV, 4, &sep},
                             {"txt", RE_FMT_TEXT, 0, nullptr}, {"html", RE_FMT_HTML, 3, &html},
                             {"xml", RE_FMT_XML, 0, &xml},   {"pdf", RE_FMT_PDF, 0, &pdf},
                             {"xls", RE_FMT_XLS, 9, nullptr}, {"doc", RE_FMT_WORD, 0, nullptr},
                             {"rtf", RE_FMT_RTF, 0, nullptr}};
  const TFormat* f = nullptr;
  for (const TFormat& x : formats)
    if (format == x.Name) f = &x;
  if (!f) Usage("unknown format \"" + format + "\"");
  std::snprintf(e.FormatDLLName, sizeof e.FormatDLLName, "%s", f->Dll);
  e.FormatType = f->Type;
  e.FormatOptions = f->Options;
  std::snprintf(e.DestinationDLLName, sizeof e.DestinationDLLName, "%s", RE_DEST_DISK);
  REDiskOptions disk{};
  disk.StructSize = sizeof disk;
  if (out.size() >= sizeof disk.FileName) Usage("the output file name is too long");
  std::snprintf(disk.FileName, sizeof disk.FileName, "%s", out.c_str());
  e.DestinationOptions = &disk;
  if (!REExportTo(job, &e)) Fail(job, "REExportTo");
  if (!REStartPrintJob(job, 1)) Fail(job, "REStartPrintJob");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) Usage("");
  std::string cmd = argv[1];
  const char* report = argv[2];
  if (cmd != "info" && cmd != "params" && cmd != "sql" && cmd != "run") Usage("unknown command \"" + cmd + "\"");
  if (!REOpenEngine()) Fail(0, "REOpenEngine");
  RE_JOB job = REOpenPrintJob(report);
  if (!job) Fail(0, "opening the report");
  int rc = 0;
  if (cmd == "info") {
    if (argc != 3) Usage("info takes no options");
    Info(job, report);
  } else if (cmd == "params") {
    if (argc != 3) Usage("params takes no options");
    Params(job);
  } else if (cmd == "sql") {
    std::string sub;
    if (argc == 5 && std::string(argv[3]) == "--subreport") sub = argv[4];
    else if (argc != 3) Usage("sql takes only --subreport NAME");
    Sql(job, sub);
  } else {
    rc = Run(job, argc, argv, 3);
  }
  REClosePrintJob(job);
  RECloseEngine();
  return rc;
}
