// Reads report definition files (docs/report-format.md).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "Definition.h"

namespace mv::rpe {

// A definition that cannot be used. The message reads
// "FILE:LINE: what is wrong" (without LINE when the fault has none).
class EDefinitionError : public std::runtime_error {
 public:
  EDefinitionError(std::string file, int line, const std::string& what);
  const std::string& File() const { return FFile; }
  int Line() const { return FLine; }
  const std::string& Reason() const { return FReason; }

 private:
  std::string FFile;
  int FLine;
  std::string FReason;
};

// A definition file that cannot be read at all (missing, unreadable).
class EDefinitionFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The newest definition format version this engine reads.
inline constexpr int kDefinitionFormatVersion = 1;

// Reads and checks a definition file. Throws EDefinitionFileError or
// EDefinitionError.
TReportFile ReadDefinitionFile(const std::string& path);
// Same for a definition held in memory; `fileName` is used in messages.
TReportFile ParseDefinition(std::string_view text, const std::string& fileName);

}  // namespace mv::rpe
