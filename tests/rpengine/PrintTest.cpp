// Printing through the private cupsd of the test services (file-backed PDF
// queues) and the preview's refusal without a display, through the C
// interface.
#include "support/TestFiles.h"
#include <gtest/gtest.h>

#include <cups/cups.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "EngineApi.h"
#include "platform/odbc/TestServices.h"

using namespace rpetest;
namespace fs = std::filesystem;

namespace {

using mv::test::CommandOutput;

// Pages of a PDF as pdfinfo counts them; -1 when it cannot read the file.
int PdfPages(const std::string& path) {
  std::string info = CommandOutput("pdfinfo '" + path + "'");
  std::size_t at = info.find("\nPages:");
  if (at == std::string::npos) return -1;
  return std::atoi(info.c_str() + at + 7);
}

// The newest job of a queue, finished or not; 0 when it has none.
int NewestJob(const std::string& queue) {
  cups_job_t* jobs = nullptr;
  int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
  int id = 0;
  for (int i = 0; i < n; ++i) id = std::max(id, jobs[i].id);
  cupsFreeJobs(n, jobs);
  return id;
}

// One integer attribute of a job as cupsd holds it; -1 when it has none.
int JobAttribute(int jobId, const char* name) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  std::string uri = "ipp://localhost/jobs/" + std::to_string(jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, name);
  ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs/");
  int value = -1;
  if (ipp_attribute_t* a = response ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr)
    value = ippGetInteger(a, 0);
  ippDelete(response);
  return value;
}

// Waits until cupsd has finished a job; its final state.
ipp_jstate_t FinishedState(int jobId) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int state = -1;
  while (std::chrono::steady_clock::now() < until) {
    state = JobAttribute(jobId, "job-state");
    if (state >= IPP_JSTATE_STOPPED) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return static_cast<ipp_jstate_t>(state);
}

class Printing : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto& env = mv::test::TServices::Get();
    ::setenv("CUPS_SERVER", env["CUPS_SERVER"].c_str(), 1);
    FOut = env["MV_CUPS_OUT"];
    FJob = REOpenPrintJob((kGood + "readings.xml").c_str());
    ASSERT_GT(FJob, 0) << Error(0);
    RELogOnInfo l = Record<RELogOnInfo>();
    std::snprintf(l.ServerName, sizeof l.ServerName, "MVDEMO");
    ASSERT_TRUE(RESetNthTableLogOnInfo(FJob, 0, &l, 1)) << Error(FJob);
    Param("StartTime", "2024,03,01 00:00:00", RE_PF_DATETIME);
    Param("EndTime", "2024,03,01 06:00:00", RE_PF_DATETIME);
    Param("SiteList", "FTC01", RE_PF_STRING);
  }
  void TearDown() override { REClosePrintJob(FJob); }

  void Param(const char* name, const char* value, uint16_t type) {
    REValueInfo v = ValueOf(value, type);
    ASSERT_TRUE(REClearParameterCurrentValuesAndRanges(FJob, name, "")) << Error(FJob);
    ASSERT_TRUE(REAddParameterCurrentValue(FJob, name, "", &v)) << Error(FJob);
  }

  // Waits for cupsd to write the queue's file.
  bool Printed(const std::string& path) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      std::error_code ec;
      if (fs::exists(path, ec) && fs::file_size(path, ec) > 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Pages of the whole report exported to a PDF file; -1 when that fails.
  int ExportedPages() {
    std::string path = FOut + "/whole-" + std::to_string(::getpid()) + ".pdf";
    REExportOptions e = Record<REExportOptions>();
    std::snprintf(e.FormatDLLName, sizeof e.FormatDLLName, "%s", RE_FMT_PDF);
    std::snprintf(e.DestinationDLLName, sizeof e.DestinationDLLName, "%s", RE_DEST_DISK);
    REDiskOptions disk = Record<REDiskOptions>();
    std::snprintf(disk.FileName, sizeof disk.FileName, "%s", path.c_str());
    e.DestinationOptions = &disk;
    if (!REExportTo(FJob, &e) || !REStartPrintJob(FJob, 1)) {
      ADD_FAILURE() << Error(FJob);
      return -1;
    }
    int pages = PdfPages(path);
    fs::remove(path);
    return pages;
  }

  TEngineScope FEngine;
  RE_JOB FJob = 0;
  std::string FOut;
};

TEST_F(Printing, AJobArrivesInTheChosenQueue) {
  std::string printed = FOut + "/EnginePDF.pdf";
  fs::remove(printed);
  ASSERT_TRUE(RESelectPrinter(FJob, "Generic PDF", "EnginePDF", "", nullptr)) << Error(FJob);
  ASSERT_TRUE(REOutputToPrinter(FJob, 1)) << Error(FJob);
  ASSERT_TRUE(REStartPrintJob(FJob, 1)) << Error(FJob);
  ASSERT_TRUE(Printed(printed));
  // The queue's filter rewrites the PDF: wait until it is whole.
  std::string text;
  for (int i = 0; i < 100 && text.find("Page 1 of") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    text = CommandOutput("pdftotext -layout '" + printed + "' -");
  }
  EXPECT_NE(text.find("Readings"), std::string::npos) << text;
  EXPECT_NE(text.find("Station FTC01"), std::string::npos) << text;
  // Nothing is left behind in the temporary folder.
  for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
    EXPECT_EQ(e.path().filename().string().rfind("rpeng-print-" + std::to_string(::getpid()) + "-", 0), std::string::npos)
        << e.path();
}

// The copies asked for reach the queue: the job carries them and the
// file-backed queue (a driver that makes copies itself) writes every page
// that many times. Copies come from the output call, or with 0 there from
// the print options, the way the binding passes the report's own number.
TEST_F(Printing, EveryCopyArrivesInTheQueue) {
  int pages = ExportedPages();
  ASSERT_GT(pages, 0);

  struct TCase {
    const char* Name;
    int16_t OutputCopies;  // REOutputToPrinter's argument
    uint16_t OptionCopies; // REPrintOptions.nReportCopies
    int Expected;
  };
  for (const TCase& c : {TCase{"copies given to the output", 3, 1, 3}, TCase{"copies from the print options", 0, 2, 2}}) {
    SCOPED_TRACE(c.Name);
    std::string printed = FOut + "/CopiesPDF.pdf";
    fs::remove(printed);
    REPrintOptions po = Record<REPrintOptions>();
    ASSERT_TRUE(REGetPrintOptions(FJob, &po)) << Error(FJob);
    po.nReportCopies = c.OptionCopies;
    ASSERT_TRUE(RESetPrintOptions(FJob, &po)) << Error(FJob);
    ASSERT_TRUE(RESelectPrinter(FJob, "Generic PDF", "CopiesPDF", "", nullptr)) << Error(FJob);
    int before = NewestJob("CopiesPDF");
    ASSERT_TRUE(REOutputToPrinter(FJob, c.OutputCopies)) << Error(FJob);
    ASSERT_TRUE(REStartPrintJob(FJob, 1)) << Error(FJob);
    int job = NewestJob("CopiesPDF");
    ASSERT_GT(job, before) << "no job reached the queue: " << cupsLastErrorString();
    EXPECT_EQ(JobAttribute(job, "copies"), c.Expected);
    ASSERT_EQ(FinishedState(job), IPP_JSTATE_COMPLETED);
    ASSERT_TRUE(Printed(printed));
    EXPECT_EQ(PdfPages(printed), c.Expected * pages);
  }
}

// The print options' page range reaches the printer: only those pages,
// numbered as in the whole report.
TEST_F(Printing, OnlyThePagesAskedForArePrinted) {
  Param("EndTime", "2024,03,02 00:00:00", RE_PF_DATETIME);
  int pages = ExportedPages();
  ASSERT_GE(pages, 3);

  std::string printed = FOut + "/RangePDF.pdf";
  fs::remove(printed);
  REPrintOptions po = Record<REPrintOptions>();
  ASSERT_TRUE(REGetPrintOptions(FJob, &po)) << Error(FJob);
  po.StartPageN = 2;
  po.StopPageN = 3;
  ASSERT_TRUE(RESetPrintOptions(FJob, &po)) << Error(FJob);
  ASSERT_TRUE(RESelectPrinter(FJob, "Generic PDF", "RangePDF", "", nullptr)) << Error(FJob);
  int before = NewestJob("RangePDF");
  ASSERT_TRUE(REOutputToPrinter(FJob, 1)) << Error(FJob);
  ASSERT_TRUE(REStartPrintJob(FJob, 1)) << Error(FJob);
  int job = NewestJob("RangePDF");
  ASSERT_GT(job, before) << "no job reached the queue: " << cupsLastErrorString();
  ASSERT_EQ(FinishedState(job), IPP_JSTATE_COMPLETED);
  ASSERT_TRUE(Printed(printed));
  EXPECT_EQ(PdfPages(printed), 2);
  std::string text = CommandOutput("pdftotext -layout '" + printed + "' -");
  std::string of = " of " + std::to_string(pages);
  EXPECT_NE(text.find("Page 2" + of), std::string::npos) << text;
  EXPECT_NE(text.find("Page 3" + of), std::string::npos) << text;
  EXPECT_EQ(text.find("Page 1" + of), std::string::npos) << text;
}

TEST_F(Printing, AnUnknownPrinterIsAPrinterErrorNamingIt) {
  ASSERT_TRUE(RESelectPrinter(FJob, "", "NoSuchQueue", "", nullptr)) << Error(FJob);
  ASSERT_TRUE(REOutputToPrinter(FJob, 1));
  EXPECT_FALSE(REStartPrintJob(FJob, 1));
  EXPECT_EQ(REGetErrorCode(FJob), RE_ERR_PRINTER);
  EXPECT_NE(ErrorText(FJob).find("\"NoSuchQueue\" is not installed"), std::string::npos) << ErrorText(FJob);
}

TEST_F(Printing, PreviewWithoutADisplayIsRefusedBeforeTheQuery) {
  std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  std::string wayland = std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "";
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  ASSERT_TRUE(REOutputToWindow(FJob, "Preview")) << Error(FJob);
  EXPECT_FALSE(REStartPrintJob(FJob, 1));
  EXPECT_EQ(REGetErrorCode(FJob), RE_ERR_NODISPLAY);
  EXPECT_NE(ErrorText(FJob).find("no display"), std::string::npos) << ErrorText(FJob);
  if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
  if (!wayland.empty()) ::setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
}

}  // namespace
