#include "SqlTemplate.h"

#include <cctype>

namespace mv::rpe {
namespace {

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

}  // namespace

TSqlTemplate::TSqlTemplate(std::string text) : FText(std::move(text)) {
  const std::string& s = FText;
  int line = 0;
  std::size_t i = 0;
  auto skipTo = [&](std::size_t from, std::string_view what, const char* name, int startLine) {
    for (std::size_t k = from; k + what.size() <= s.size(); ++k) {
      if (s.compare(k, what.size(), what) == 0) return k + what.size();
      if (s[k] == '\n') ++line;
    }
    throw ESqlTemplateError(startLine, std::string("the query has an unterminated ") + name);
  };
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (c == '\'' || c == '"') {
      // A doubled quote inside is an escaped quote: the scan simply resumes
      // at it and finds the next closing one.
      i = skipTo(i + 1, std::string_view(&s[i], 1), c == '\'' ? "string literal ('...')"
                                                              : "quoted name (\"...\")", line);
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      i = skipTo(i + 2, "*/", "comment (/* ... */)", line);
    } else if (c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
      i += 2;  // a cast, "value::type"
    } else if (c == ':' && i + 1 < s.size() && IsNameStart(s[i + 1]) &&
               (i == 0 || !IsNameChar(s[i - 1]))) {
      TPlaceholder p;
      p.Begin = i;
      std::size_t k = i + 1;
      while (k < s.size() && IsNameChar(s[k])) ++k;
      p.Name = s.substr(i + 1, k - i - 1);
      if (k + 6 <= s.size() && s.compare(k, 6, ".count") == 0 && (k + 6 == s.size() || !IsNameChar(s[k + 6]))) {
        p.Count = true;
        k += 6;
      }
      p.End = k;
      p.LineOffset = line;
      FPlaceholders.push_back(std::move(p));
      i = k;
    } else {
      ++i;
    }
  }
}

std::string TSqlTemplate::Expand(const std::vector<std::size_t>& valueCounts, const std::vector<bool>& multiple,
                                 std::vector<TBinding>& bindings) const {
  std::string out;
  out.reserve(FText.size() + 16);
  std::size_t pos = 0;
  for (std::size_t p = 0; p < FPlaceholders.size(); ++p) {
    const TPlaceholder& ph = FPlaceholders[p];
    out.append(FText, pos, ph.Begin - pos);
    pos = ph.End;
    if (ph.Count) {
      out += '?';
      bindings.push_back({p, -1});
      continue;
    }
    std::size_t n = valueCounts[p];
    if (!multiple[p]) {
      out += '?';
      bindings.push_back({p, n == 0 ? -1 : 0});
      continue;
    }
    if (n == 0) {
      out += "NULL";
      continue;
    }
    for (std::size_t v = 0; v < n; ++v) {
      if (v) out += ", ";
      out += '?';
      bindings.push_back({p, static_cast<int>(v)});
    }
  }
  out.append(FText, pos, std::string::npos);
  return out;
}

}  // namespace mv::rpe
