#pragma once
// The program around the main window: single copy, headless mode, signals.

class QApplication;

namespace mv::ui {

// Runs the scheduler until its window closes; the process exit code.
// `headless`: see PrepareHeadless().
int RunScheduler(QApplication& app, bool headless, bool debug);

}  // namespace mv::ui
