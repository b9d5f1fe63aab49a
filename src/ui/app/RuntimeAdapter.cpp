#include "ui/app/RuntimeAdapter.h"

namespace mv::ui {

std::unique_ptr<ISchedulerPort> MakeRuntimeScheduler(TRuntimeContext&) { return nullptr; }

std::unique_ptr<IDatabasePort> MakeRuntimeDatabase(TRuntimeContext&) { return nullptr; }

}  // namespace mv::ui
