// The engine's failures, each carrying the code the C interface reports.
#pragma once

#include <stdexcept>
#include <string>

#include "rpeng.h"

namespace mv::rpe {

// Codes beyond those rpeng.h names are listed in docs/engine-errors.md.
class ERpeError : public std::runtime_error {
 public:
  ERpeError(int code, const std::string& text) : std::runtime_error(text), FCode(code) {}
  int Code() const { return FCode; }

 private:
  int FCode;
};

}  // namespace mv::rpe
