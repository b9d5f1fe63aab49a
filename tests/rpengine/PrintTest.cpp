// Printing through the private cupsd of the test services (file-backed PDF
// queues) and the preview's refusal without a display, through the C
// interface.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
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

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  char buf[4096];
  std::size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (p) pclose(p);
  return out;
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
    text = Shell("pdftotext -layout '" + printed + "' -");
  }
  EXPECT_NE(text.find("Readings"), std::string::npos) << text;
  EXPECT_NE(text.find("Station FTC01"), std::string::npos) << text;
  // Nothing is left behind in the temporary folder.
  for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
    EXPECT_EQ(e.path().filename().string().rfind("rpeng-print-" + std::to_string(::getpid()) + "-", 0), std::string::npos)
        << e.path();
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
