// Helpers for tests that drive the engine through its C interface.
#pragma once

#include <string>
#include <vector>

#include "rpeng.h"

namespace rpetest {

inline const std::string kGood = std::string(MV_TEST_DATA_DIR) + "/rpengine/good/";

inline std::string HandleText(RE_HANDLE h, int32_t length) {
  std::string s(static_cast<std::size_t>(length) + 1, '\0');
  if (!REGetHandleString(h, s.data(), length + 1)) return "<no text>";
  s.resize(static_cast<std::size_t>(length));
  return s;
}

inline std::string ErrorText(RE_JOB job) {
  RE_HANDLE h = 0;
  int32_t len = 0;
  if (!REGetErrorText(job, &h, &len)) return "<no error text>";
  return HandleText(h, len);
}

// "code: text" of a job's last error, for assertions that show both.
inline std::string Error(RE_JOB job) { return std::to_string(REGetErrorCode(job)) + ": " + ErrorText(job); }

// Opens the engine for the scope of a test (per thread).
struct TEngineScope {
  TEngineScope() { REOpenEngine(); }
  ~TEngineScope() { RECloseEngine(); }
};

template <class T>
T Record() {
  T r{};
  r.StructSize = sizeof r;
  return r;
}

inline REValueInfo ValueOf(const char* text, uint16_t type) {
  REValueInfo v = Record<REValueInfo>();
  REConvertPFInfoToVInfo(text, type, &v);
  return v;
}

}  // namespace rpetest
