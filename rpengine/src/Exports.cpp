// The shared library's own translation unit: the "RE" functions come from
// rpeng_core, linked whole.
#include "rpeng.h"
