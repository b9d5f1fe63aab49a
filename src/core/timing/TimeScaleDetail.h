#pragma once
// Internal to the timing library.

#include <cstdint>

namespace mv::detail {

// The arithmetic of DayNumber without its 16-bit limit: days since 12/31/1984,
// 0 for dates before 1985. Throws EConvertError for a year above 9999 or a
// negative month.
std::int64_t DayNumberWide(std::int64_t year, std::int64_t month, std::int64_t day);

}  // namespace mv::detail
