// Printing through CUPS and showing a report in the desktop's viewer.
#pragma once

#include <string>

namespace mv::rpe {

// The CUPS destination a job prints on: the one chosen for the job, else
// the report's own, else the CUPS default. Throws ERpeError(RE_ERR_PRINTER)
// naming what is missing when there is none or it is not installed.
std::string ChoosePrinter(const std::string& chosen, const std::string& reportsOwn);

// Hands a PDF file to a CUPS destination; returns the job id. Throws
// ERpeError(RE_ERR_PRINTER) with the CUPS error text.
int PrintPdf(const std::string& pdfPath, const std::string& destination, int copies, const std::string& title);

// Throws ERpeError(RE_ERR_NODISPLAY) when there is no display to show a
// preview on (neither DISPLAY nor WAYLAND_DISPLAY set).
void RequireDisplay();

// Opens a file with the desktop's viewer (xdg-open, started without a
// shell). Throws ERpeError(RE_ERR_NODISPLAY) when that fails.
void OpenInViewer(const std::string& path);

}  // namespace mv::rpe
