// Report definition reader: any text is either read or refused with an
// EDefinitionError; a definition that is read holds together (placeholders
// name its parameters, subreports sit in its sections) and its query
// expands for any number of values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "DefinitionReader.h"
#include "Runner.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_definition: %s\n", what);
    std::abort();
  }
}

void CheckReport(const mv::rpe::TReportFile& f, const mv::rpe::TReportDef& r) {
  using namespace mv::rpe;
  const auto& placeholders = r.Query.Placeholders();
  Check(r.PlaceholderParams.size() == (r.HasQuery ? placeholders.size() : 0), "one parameter per placeholder");
  for (std::size_t i = 0; i < r.PlaceholderParams.size(); ++i) {
    int p = r.PlaceholderParams[i];
    Check(p >= 0 && static_cast<std::size_t>(p) < r.Params.size(), "placeholder parameter in range");
    Check(r.Params[static_cast<std::size_t>(p)].Name == placeholders[i].Name, "placeholder names its parameter");
  }
  for (const auto& [code, section] : r.Sections())
    for (const TSectionItem& item : section->Items)
      if (item.Kind == TSectionItem::TKind::Subreport) {
        Check(item.Subreport >= 0 && static_cast<std::size_t>(item.Subreport) < f.Subreports.size(), "subreport index");
        Check(f.Subreports[static_cast<std::size_t>(item.Subreport)].PlacedInSection == code, "subreport placement");
      }
  // Expand with no values, the defaults, and three copies of each default.
  for (int n : {0, 1, 3}) {
    std::vector<std::vector<TValue>> values;
    for (const TParamDef& p : r.Params) {
      std::vector<TValue> v;
      for (int k = 0; k < n; ++k)
        for (const TValue& d : p.Defaults) v.push_back(d);
      values.push_back(v);
      for (const TValue& d : p.Defaults) {
        auto again = ParseValueText(FormatValueText(d), p.Type);
        Check(again && SameValue(*again, d), "a default's text reads back as the default");
      }
    }
    if (r.HasQuery) {
      TBoundQuery q = BindQuery(r, values);
      std::size_t markers = 0;
      for (char c : q.Sql) markers += c == '?';
      Check(markers >= q.Values.size(), "a value for each marker");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    mv::rpe::TReportFile f = mv::rpe::ParseDefinition(text, "fuzz.xml");
    CheckReport(f, f.Main);
    for (const auto& sub : f.Subreports) CheckReport(f, sub);
  } catch (const mv::rpe::EDefinitionError& e) {
    Check(e.Line() >= 0 && !e.Reason().empty(), "a refusal says what is wrong");
  }
  return 0;
}
