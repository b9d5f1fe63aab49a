#pragma once
// Where the main window meets the scheduler runtime (src/core/runtime): the
// factories main() hands to the window. Until the runtime's scheduler and
// database connection are in place they give null, and the window runs its
// stand-ins (nothing scheduled, never connected, both said in the status).

#include "ui/app/SchedulerPort.h"

namespace mv::ui {

std::unique_ptr<ISchedulerPort> MakeRuntimeScheduler(TRuntimeContext& context);
std::unique_ptr<IDatabasePort> MakeRuntimeDatabase(TRuntimeContext& context);

}  // namespace mv::ui
