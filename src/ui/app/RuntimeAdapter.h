#pragma once
// Where the main window meets the scheduler runtime (src/core/runtime) and
// the database connection (src/core/db): the factories main() hands to the
// window, sharing one set of connection values between the login and the
// report jobs.

#include "ui/app/ScheduleMain.h"

namespace mv::ui {

// Sets MakeScheduler and MakeDatabase of `options` to the real runtime.
void UseSchedulerRuntime(TMainWindowOptions& options);

}  // namespace mv::ui
