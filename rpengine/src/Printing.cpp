#include "Printing.h"

#include <cups/cups.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Errors.h"

extern char** environ;

namespace mv::rpe {

std::string ChoosePrinter(const std::string& chosen, const std::string& reportsOwn) {
  std::string name = !chosen.empty() ? chosen : reportsOwn;
  if (name.empty()) {
    cups_dest_t* def = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!def)
      throw ERpeError(RE_ERR_PRINTER, std::string("no printer is chosen, the report names none and CUPS (") + cupsServer() +
                                          ") has no default destination: " + cupsLastErrorString());
    name = def->name;
    cupsFreeDests(1, def);
    return name;
  }
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
  if (!dest)
    throw ERpeError(RE_ERR_PRINTER, "the printer \"" + name + "\" is not installed on the CUPS server " + cupsServer() +
                                        " (" + cupsLastErrorString() + ")");
  cupsFreeDests(1, dest);
  return name;
}

int PrintPdf(const std::string& pdfPath, const std::string& destination, int copies, const std::string& title) {
  cups_option_t* options = nullptr;
  int count = cupsAddOption("copies", std::to_string(copies < 1 ? 1 : copies).c_str(), 0, &options);
  count = cupsAddOption("document-format", "application/pdf", count, &options);
  int id = cupsPrintFile(destination.c_str(), pdfPath.c_str(), title.c_str(), count, options);
  cupsFreeOptions(count, options);
  if (id == 0)
    throw ERpeError(RE_ERR_PRINTER, "the printer \"" + destination + "\" refused the job: " + cupsLastErrorString());
  return id;
}

void RequireDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  if ((x && *x) || (w && *w)) return;
  throw ERpeError(RE_ERR_NODISPLAY,
                  "there is no display to show the preview on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                  "choose printer or file output for this report");
}

void OpenInViewer(const std::string& path) {
  RequireDisplay();
  pid_t pid = 0;
  char arg0[] = "xdg-open";
  std::string file = path;
  char* argv[] = {arg0, file.data(), nullptr};
  int rc = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
  if (rc != 0)
    throw ERpeError(RE_ERR_NODISPLAY, std::string("cannot start the desktop's viewer (xdg-open): ") + std::strerror(rc));
  // xdg-open hands the file to the viewer and returns; one that takes
  // longer is left running (it is then the viewer itself).
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (true) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 || std::chrono::steady_clock::now() > until) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw ERpeError(RE_ERR_NODISPLAY, "the desktop's viewer could not open \"" + path + "\" (xdg-open ended with " +
                                          std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")");
}

}  // namespace mv::rpe
