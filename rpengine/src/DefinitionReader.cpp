#include "DefinitionReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <set>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pugixml.hpp>

namespace mv::rpe {

EDefinitionError::EDefinitionError(std::string file, int line, const std::string& what)
    : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what),
      FFile(std::move(file)),
      FLine(line),
      FReason(what) {}

const char* AggFunctionName(TAggFunction f) {
  switch (f) {
    case TAggFunction::Count: return "count";
    case TAggFunction::Sum: return "sum";
    case TAggFunction::Avg: return "avg";
    case TAggFunction::Min: return "min";
    case TAggFunction::Max: return "max";
  }
  return "?";
}

const char* TextStyleName(TTextStyle s) {
  switch (s) {
    case TTextStyle::Normal: return "normal";
    case TTextStyle::Title: return "title";
    case TTextStyle::Heading: return "heading";
    case TTextStyle::Small: return "small";
  }
  return "normal";
}

const char* AlignName(TAlign a) {
  switch (a) {
    case TAlign::Left: return "left";
    case TAlign::Center: return "center";
    case TAlign::Right: return "right";
  }
  return "left";
}

const char* FieldTypeName(TFieldType t) {
  switch (t) {
    case TFieldType::Auto: return "auto";
    case TFieldType::Text: return "text";
    case TFieldType::Number: return "number";
    case TFieldType::Integer: return "integer";
    case TFieldType::Date: return "date";
    case TFieldType::DateTime: return "datetime";
    case TFieldType::Time: return "time";
  }
  return "auto";
}

bool TTextTemplate::UsesFields() const {
  return std::any_of(Parts.begin(), Parts.end(), [](const TTextPart& p) { return p.Kind == TTextPart::TKind::Field; });
}

bool TTextTemplate::UsesPageNumbers() const {
  return std::any_of(Parts.begin(), Parts.end(), [](const TTextPart& p) {
    return p.Kind == TTextPart::TKind::PageNumber || p.Kind == TTextPart::TKind::PageCount;
  });
}

int TReportDef::FindParam(const std::string& name) const {
  for (std::size_t i = 0; i < Params.size(); ++i)
    if (Params[i].Name == name) return static_cast<int>(i);
  return -1;
}

std::vector<std::pair<int, const TSectionDef*>> TReportDef::Sections() const {
  std::vector<std::pair<int, const TSectionDef*>> out;
  auto code = [](TSectionKind k, std::size_t i) { return static_cast<int>(k) * 1000 + static_cast<int>(i); };
  bool main = PlacedInSection == 0;
  out.emplace_back(code(TSectionKind::ReportHeader, 0), &ReportHeader);
  if (main) out.emplace_back(code(TSectionKind::PageHeader, 0), &PageHeader);
  for (std::size_t i = 0; i < Groups.size(); ++i) out.emplace_back(code(TSectionKind::GroupHeader, i), &Groups[i].Header);
  out.emplace_back(code(TSectionKind::Detail, 0), &Detail);
  for (std::size_t i = Groups.size(); i-- > 0;) out.emplace_back(code(TSectionKind::GroupFooter, i), &Groups[i].Footer);
  if (main) out.emplace_back(code(TSectionKind::PageFooter, 0), &PageFooter);
  out.emplace_back(code(TSectionKind::ReportFooter, 0), &ReportFooter);
  return out;
}

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool IsName(std::string_view s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// Removes the indentation common to all non-blank lines and blank lines at
// both ends, so that text indented with its XML reads as written.
std::string Dedent(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (true) {
    std::size_t nl = text.find('\n', pos);
    std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  auto blank = [](std::string_view l) { return Trim(l).empty(); };
  while (!lines.empty() && blank(lines.front())) lines.erase(lines.begin());
  while (!lines.empty() && blank(lines.back())) lines.pop_back();
  std::size_t indent = std::string_view::npos;
  for (std::string_view l : lines) {
    if (blank(l)) continue;
    std::size_t n = 0;
    while (n < l.size() && (l[n] == ' ' || l[n] == '\t')) ++n;
    indent = std::min(indent, n);
  }
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view l = lines[i];
    if (i) out += '\n';
    if (!blank(l)) {
      l.remove_prefix(std::min(indent, l.size()));
      while (!l.empty() && (l.back() == ' ' || l.back() == '\t')) l.remove_suffix(1);
      out += l;
    }
  }
  return out;
}

struct TSectionContext {
  enum class TKind { ReportHeader, PageHeader, GroupHeader, Detail, GroupFooter, ReportFooter, PageFooter };
  TKind Kind;
  int GroupIndex = -1;
  int SectionCode = 0;
  const char* Element;
};

class TReader {
 public:
  TReader(std::string_view text, std::string fileName) : FText(text), FFile(std::move(fileName)) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') FLineStarts.push_back(i + 1);
  }

  TReportFile Read() {
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer(FText.data(), FText.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!r)
      throw EDefinitionError(FFile, LineAt(static_cast<std::size_t>(std::max<std::ptrdiff_t>(r.offset, 0))),
                             std::string("not well-formed XML: ") + r.description());
    pugi::xml_node root = doc.document_element();
    if (!root || std::strcmp(root.name(), "report") != 0)
      throw EDefinitionError(FFile, root ? Line(root) : 1,
                             std::string("the root element must be <report>, not <") + (root ? root.name() : "") + ">");
    CheckAttributes(root, {"version"});
    pugi::xml_attribute version = root.attribute("version");
    if (!version)
      throw Error(root, "<report> has no version attribute; write version=\"" +
                            std::to_string(kDefinitionFormatVersion) + "\"");
    auto v = ParseIntText(version.value());
    if (!v || *v < 1)
      throw Error(root, std::string("version \"") + version.value() + "\" is not a format version number");
    if (*v > kDefinitionFormatVersion)
      throw Error(root, "format version " + std::to_string(*v) + " is newer than this engine reads (up to " +
                            std::to_string(kDefinitionFormatVersion) + ")");
    FFileDef.Path = FFile;
    FFileDef.FormatVersion = static_cast<int>(*v);
    FFileDef.Main.Line = Line(root);
    std::string base = FFile;
    if (auto slash = base.find_last_of('/'); slash != std::string::npos) base.erase(0, slash + 1);
    if (auto dot = base.find_last_of('.'); dot != std::string::npos && dot > 0) base.erase(dot);
    FFileDef.Main.Name = base;

    CheckChildren(root, {"summary", "options", "page", "tables", "parameters", "query", "layout"}, true);
    if (auto n = root.child("summary")) ReadSummary(n);
    if (auto n = root.child("options")) ReadOptions(n);
    if (auto n = root.child("page")) ReadPage(n);
    ReadReportBody(root, FFileDef.Main, true);
    return std::move(FFileDef);
  }

 private:
  std::string_view FText;
  std::string FFile;
  std::vector<std::size_t> FLineStarts{0};
  TReportFile FFileDef;
  std::set<std::string> FSubreportNames;

  int LineAt(std::size_t offset) const {
    auto it = std::upper_bound(FLineStarts.begin(), FLineStarts.end(), offset);
    return static_cast<int>(it - FLineStarts.begin());
  }
  int Line(pugi::xml_node n) const {
    std::ptrdiff_t off = n.offset_debug();
    return off < 0 ? 0 : LineAt(static_cast<std::size_t>(off));
  }
  EDefinitionError Error(pugi::xml_node n, const std::string& what) const { return EDefinitionError(FFile, Line(n), what); }

  static std::optional<long> ParseIntText(std::string_view s) {
    s = Trim(s);
    if (s.empty() || s.size() > 9) return std::nullopt;
    long v = 0;
    for (char c : s) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      v = v * 10 + (c - '0');
    }
    return v;
  }

  static std::string Join(std::initializer_list<const char*> names) {
    std::string s;
    for (const char* n : names) {
      if (!s.empty()) s += ", ";
      s += n;
    }
    return s;
  }

  void CheckAttributes(pugi::xml_node n, std::initializer_list<const char*> known) const {
    for (pugi::xml_attribute a : n.attributes()) {
      bool ok = std::any_of(known.begin(), known.end(), [&](const char* k) { return std::strcmp(k, a.name()) == 0; });
      if (!ok)
        throw Error(n, std::string("unknown attribute \"") + a.name() + "\" on <" + n.name() + ">" +
                           (known.size() ? "; known attributes: " + Join(known) : std::string("; it takes none")));
    }
  }

  // Element children must be known; each at most once unless repeatable;
  // no text beside them.
  void CheckChildren(pugi::xml_node n, std::initializer_list<const char*> known, bool once,
                     std::initializer_list<const char*> repeatable = {}) const {
    std::set<std::string> seen;
    for (pugi::xml_node c : n.children()) {
      if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
        if (!Trim(c.value()).empty())
          throw Error(c, std::string("text is not allowed directly inside <") + n.name() + ">");
        continue;
      }
      if (c.type() != pugi::node_element) continue;
      bool ok = std::any_of(known.begin(), known.end(), [&](const char* k) { return std::strcmp(k, c.name()) == 0; });
      if (!ok)
        throw Error(c, std::string("unknown element <") + c.name() + "> inside <" + n.name() + ">; expected one of: " +
                           Join(known));
      bool rep = std::any_of(repeatable.begin(), repeatable.end(), [&](const char* k) { return std::strcmp(k, c.name()) == 0; });
      if (once && !rep && !seen.insert(c.name()).second)
        throw Error(c, std::string("<") + c.name() + "> appears more than once inside <" + n.name() + ">");
    }
  }

  // The text content of an element that holds only text.
  std::string TextOf(pugi::xml_node n) const {
    std::string s;
    for (pugi::xml_node c : n.children()) {
      if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
        s += c.value();
      else if (c.type() == pugi::node_element)
        throw Error(c, std::string("<") + n.name() + "> holds text only, not <" + c.name() + ">");
    }
    return s;
  }

  bool BoolAttr(pugi::xml_node n, const char* name, bool def) const {
    pugi::xml_attribute a = n.attribute(name);
    if (!a) return def;
    std::string v = a.value();
    std::transform(v.begin(), v.end(), v.begin(), [](unsigned char c) { return std::tolower(c); });
    if (v == "true" || v == "yes" || v == "1") return true;
    if (v == "false" || v == "no" || v == "0") return false;
    throw Error(n, std::string("attribute ") + name + "=\"" + a.value() + "\" on <" + n.name() +
                       "> must be true or false");
  }

  std::string RequiredAttr(pugi::xml_node n, const char* name) const {
    pugi::xml_attribute a = n.attribute(name);
    if (!a || Trim(a.value()).empty())
      throw Error(n, std::string("<") + n.name() + "> needs a " + name + " attribute");
    return std::string(Trim(a.value()));
  }

  void ReadSummary(pugi::xml_node n) {
    CheckAttributes(n, {});
    CheckChildren(n, {"title", "subject", "author", "keywords", "comments"}, true);
    TSummaryInfo& s = FFileDef.Summary;
    for (pugi::xml_node c : n.children()) {
      if (c.type() != pugi::node_element) continue;
      CheckAttributes(c, {});
      std::string_view name = c.name();
      std::string text = name == "comments" ? Dedent(TextOf(c)) : std::string(Trim(TextOf(c)));
      if (name == "title") s.Title = text;
      else if (name == "subject") s.Subject = text;
      else if (name == "author") s.Author = text;
      else if (name == "keywords") s.Keywords = text;
      else s.Comments = text;
    }
  }

  void ReadOptions(pugi::xml_node n) {
    CheckAttributes(n, {"suppress-empty"});
    CheckChildren(n, {}, true);
    FFileDef.SuppressEmpty = BoolAttr(n, "suppress-empty", false);
  }

  double Length(pugi::xml_node n, const char* attr, double def) const {
    pugi::xml_attribute a = n.attribute(attr);
    if (!a) return def;
    std::string_view s = Trim(a.value());
    double factor = 1;
    auto unit = [&](std::string_view u, double f) {
      if (s.size() > u.size() && s.substr(s.size() - u.size()) == u) {
        s.remove_suffix(u.size());
        factor = f;
        return true;
      }
      return false;
    };
    unit("mm", 1) || unit("cm", 10) || unit("in", 25.4) || unit("pt", 25.4 / 72);
    auto v = ParseDouble(s);
    if (!v || *v < 0 || *v * factor > 2000)
      throw Error(n, std::string("attribute ") + attr + "=\"" + a.value() +
                         "\" is not a length; write a number with mm, cm, in or pt (\"15mm\")");
    return *v * factor;
  }

  void ReadPage(pugi::xml_node n) {
    CheckAttributes(n, {"paper", "orientation", "margins", "margin-top", "margin-bottom", "margin-left",
                        "margin-right", "width", "height", "printer"});
    CheckChildren(n, {}, true);
    TPageSetup& p = FFileDef.Page;
    struct TPaper { const char* Name; double W, H; };
    static constexpr TPaper kPapers[] = {{"A3", 297, 420}, {"A4", 210, 297}, {"A5", 148, 210},
                                         {"Letter", 215.9, 279.4}, {"Legal", 215.9, 355.6}};
    if (pugi::xml_attribute a = n.attribute("paper")) {
      auto it = std::find_if(std::begin(kPapers), std::end(kPapers),
                             [&](const TPaper& x) { return strcasecmp(x.Name, a.value()) == 0; });
      if (it == std::end(kPapers))
        throw Error(n, std::string("unknown paper \"") + a.value() +
                           "\"; known: A3, A4, A5, Letter, Legal (or give width and height)");
      p.PaperName = it->Name;
      p.WidthMm = it->W;
      p.HeightMm = it->H;
    }
    if (n.attribute("width") || n.attribute("height")) {
      if (!n.attribute("width") || !n.attribute("height"))
        throw Error(n, "<page> needs both width and height when it gives one of them");
      p.WidthMm = Length(n, "width", p.WidthMm);
      p.HeightMm = Length(n, "height", p.HeightMm);
      if (p.WidthMm < 50 || p.HeightMm < 50) throw Error(n, "the page is smaller than 50 mm");
      p.PaperName = "Custom";
    }
    if (pugi::xml_attribute a = n.attribute("orientation")) {
      std::string_view o = a.value();
      if (o == "landscape") p.Landscape = true;
      else if (o != "portrait")
        throw Error(n, std::string("orientation=\"") + a.value() + "\" must be portrait or landscape");
    }
    if (p.Landscape) std::swap(p.WidthMm, p.HeightMm);
    double all = Length(n, "margins", 15);
    p.MarginTopMm = Length(n, "margin-top", all);
    p.MarginBottomMm = Length(n, "margin-bottom", all);
    p.MarginLeftMm = Length(n, "margin-left", all);
    p.MarginRightMm = Length(n, "margin-right", all);
    if (p.MarginLeftMm + p.MarginRightMm > p.WidthMm - 20 || p.MarginTopMm + p.MarginBottomMm > p.HeightMm - 20)
      throw Error(n, "the margins leave less than 20 mm of the page to print on");
    p.Printer = n.attribute("printer").value();
  }

  // Tables, parameters, query and layout of the main report or a subreport.
  void ReadReportBody(pugi::xml_node n, TReportDef& r, bool main) {
    if (auto t = n.child("tables")) ReadTables(t, r);
    if (auto p = n.child("parameters")) ReadParameters(p, r, main);
    if (auto q = n.child("query")) ReadQuery(q, r);
    if (auto l = n.child("layout")) ReadLayout(l, r, main);
    if (!r.HasQuery) {
      pugi::xml_node where = n.child("layout") ? n.child("layout") : n;
      if (!r.Groups.empty()) throw Error(where, "the report has no <query>, so there are no rows to group");
      if (r.Detail.Present) throw Error(where, "the report has no <query>, so there are no rows for a <detail>");
      if (!r.ReportAggregates.empty()) throw Error(where, "the report has no <query>, so there are no rows to total");
      for (const auto& [code, section] : r.Sections())
        for (const TSectionItem& item : section->Items)
          for (const TTextPart& p : item.Text.Parts)
            if (p.Kind == TTextPart::TKind::Field)
              throw EDefinitionError(FFile, item.Line, "{" + p.Text + "} is not a parameter, and the report has no "
                                                       "<query> whose rows could give a field of that name");
    }
    if (r.HasQuery && r.Tables.empty() && main)
      throw Error(n.child("query"), "the report has a query but no <tables>; name at least one table, whose logon "
                                    "the query runs with");
  }

  void ReadTables(pugi::xml_node n, TReportDef& r) {
    CheckAttributes(n, {});
    CheckChildren(n, {"table"}, false);
    for (pugi::xml_node t : n.children("table")) {
      CheckAttributes(t, {"name", "data-source", "database", "user"});
      CheckChildren(t, {}, true);
      TTableDef td;
      td.Name = RequiredAttr(t, "name");
      td.DataSource = t.attribute("data-source").value();
      td.Database = t.attribute("database").value();
      td.User = t.attribute("user").value();
      td.Line = Line(t);
      r.Tables.push_back(std::move(td));
    }
    if (r.Tables.empty()) throw Error(n, "<tables> lists no <table>");
  }

  TValue ValueOf(pugi::xml_node n, const TParamDef& p, std::string_view text, const char* what) const {
    auto v = ParseValueText(text, p.Type);
    if (!v)
      throw Error(n, std::string(what) + " \"" + std::string(text) + "\" of parameter \"" + p.Name + "\" is not a " +
                         std::string(ParamTypeName(p.Type)) + " value" + TypeHint(p.Type));
    return *v;
  }

  static std::string TypeHint(TParamType t) {
    switch (t) {
      case TParamType::Date: return " (write yyyy-mm-dd)";
      case TParamType::DateTime: return " (write yyyy-mm-dd hh:nn:ss)";
      case TParamType::Time: return " (write hh:nn:ss)";
      case TParamType::Boolean: return " (write true or false)";
      case TParamType::Integer:
      case TParamType::Long:
      case TParamType::Color: return " (write a whole number)";
      case TParamType::Number:
      case TParamType::Currency: return " (write a number such as 12.5)";
      default: return "";
    }
  }

  void ReadParameters(pugi::xml_node n, TReportDef& r, bool main) {
    CheckAttributes(n, {});
    CheckChildren(n, {"parameter"}, false);
    for (pugi::xml_node x : n.children("parameter")) {
      CheckAttributes(x, {"name", "type", "values", "multiple", "nullable", "editable", "prompt", "default", "min",
                          "max", "browse", "link"});
      CheckChildren(x, {"default"}, false);
      TParamDef p;
      p.Line = Line(x);
      p.Name = RequiredAttr(x, "name");
      if (!IsName(p.Name))
        throw Error(x, "parameter name \"" + p.Name +
                           "\" must start with a letter or _ and hold only letters, digits and _");
      if (r.FindParam(p.Name) >= 0) throw Error(x, "parameter \"" + p.Name + "\" is declared twice");
      std::string type = RequiredAttr(x, "type");
      auto t = ParamTypeFromName(type);
      if (!t)
        throw Error(x, "parameter \"" + p.Name + "\" has unknown type \"" + type +
                           "\"; known: number, currency, boolean, date, string, datetime, time, integer, color, "
                           "char, long, stringhandle, novalue");
      p.Type = *t;
      if (pugi::xml_attribute a = x.attribute("values")) {
        std::string_view k = a.value();
        if (k == "discrete") p.Kind = TDiscreteRange::Discrete;
        else if (k == "range") p.Kind = TDiscreteRange::Range;
        else if (k == "discrete-and-range") p.Kind = TDiscreteRange::DiscreteAndRange;
        else
          throw Error(x, std::string("values=\"") + a.value() + "\" must be discrete, range or discrete-and-range");
      }
      p.Multiple = BoolAttr(x, "multiple", false);
      p.Nullable = BoolAttr(x, "nullable", false);
      p.Editable = BoolAttr(x, "editable", true);
      p.Prompt = x.attribute("prompt").value();
      p.BrowseField = x.attribute("browse").value();
      if (p.Type == TParamType::NoValue && (x.attribute("default") || x.child("default")))
        throw Error(x, "parameter \"" + p.Name + "\" of type novalue cannot have a default");
      if (pugi::xml_attribute a = x.attribute("default")) p.Defaults.push_back(ValueOf(x, p, a.value(), "default"));
      for (pugi::xml_node d : x.children("default")) {
        CheckAttributes(d, {});
        p.Defaults.push_back(ValueOf(d, p, Trim(TextOf(d)), "default"));
      }
      if (p.Defaults.size() > 1 && !p.Multiple)
        throw Error(x, "parameter \"" + p.Name + "\" has " + std::to_string(p.Defaults.size()) +
                           " defaults but takes one value; add multiple=\"true\" or keep one default");
      if (pugi::xml_attribute a = x.attribute("min")) p.Min = ValueOf(x, p, a.value(), "min");
      if (pugi::xml_attribute a = x.attribute("max")) p.Max = ValueOf(x, p, a.value(), "max");
      if (p.Min && p.Max && CompareValues(*p.Min, *p.Max) > 0)
        throw Error(x, "parameter \"" + p.Name + "\" has min greater than max");
      for (const TValue& d : p.Defaults)
        if ((p.Min && CompareValues(d, *p.Min) < 0) || (p.Max && CompareValues(d, *p.Max) > 0))
          throw Error(x, "the default \"" + FormatValueText(d) + "\" of parameter \"" + p.Name +
                             "\" is outside its min and max");
      if (pugi::xml_attribute a = x.attribute("link")) {
        if (main)
          throw Error(x, "parameter \"" + p.Name + "\" has link=, which only a subreport's parameter can have");
        p.LinkField = Trim(a.value());
        if (p.LinkField.empty()) throw Error(x, "link= of parameter \"" + p.Name + "\" names no field");
        if (p.Multiple) throw Error(x, "linked parameter \"" + p.Name + "\" takes one value per row; remove multiple");
      }
      r.Params.push_back(std::move(p));
    }
  }

  void ReadQuery(pugi::xml_node n, TReportDef& r) {
    CheckAttributes(n, {});
    std::string text = Dedent(TextOf(n));
    if (Trim(text).empty()) throw Error(n, "<query> is empty");
    // The query's first line, for placeholder messages: the line of the
    // first text character.
    int firstLine = Line(n);
    for (pugi::xml_node c : n.children()) {
      if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
        std::string_view raw = c.value();
        std::size_t lead = 0;
        while (lead < raw.size() && std::isspace(static_cast<unsigned char>(raw[lead]))) {
          if (raw[lead] == '\n') ++firstLine;
          ++lead;
        }
        break;
      }
    }
    r.QueryLine = firstLine;
    try {
      r.Query = TSqlTemplate(text);
    } catch (const ESqlTemplateError& e) {
      throw EDefinitionError(FFile, firstLine + e.LineOffset, e.what());
    }
    for (const auto& ph : r.Query.Placeholders()) {
      int idx = r.FindParam(ph.Name);
      if (idx < 0)
        throw EDefinitionError(FFile, firstLine + ph.LineOffset,
                               "the query uses :" + ph.Name + ", which is not a declared parameter of " +
                                   (r.PlacedInSection ? "subreport \"" + r.Name + "\"" : std::string("the report")));
      if (r.Params[idx].Type == TParamType::NoValue && !ph.Count)
        throw EDefinitionError(FFile, firstLine + ph.LineOffset,
                               "the query uses :" + ph.Name + ", a parameter of type novalue, which has no value to bind");
      r.PlaceholderParams.push_back(idx);
    }
    r.HasQuery = true;
  }

  void ReadLayout(pugi::xml_node n, TReportDef& r, bool main) {
    CheckAttributes(n, {});
    if (main)
      CheckChildren(n, {"report-header", "page-header", "group", "detail", "report-footer", "page-footer"}, true);
    else
      CheckChildren(n, {"report-header", "group", "detail", "report-footer"}, true);
    using K = TSectionContext::TKind;
    // Groups first, so that footers know their group indices and detail
    // fields are known to the totals.
    if (auto g = n.child("group")) ReadGroup(g, r);
    if (auto d = n.child("detail")) ReadDetail(d, r);
    if (auto s = n.child("report-header"))
      ReadSection(s, r, r.ReportHeader, {K::ReportHeader, -1, static_cast<int>(TSectionKind::ReportHeader) * 1000, "report-header"});
    if (auto s = n.child("page-header"))
      ReadSection(s, r, r.PageHeader, {K::PageHeader, -1, static_cast<int>(TSectionKind::PageHeader) * 1000, "page-header"});
    if (auto s = n.child("report-footer"))
      ReadSection(s, r, r.ReportFooter, {K::ReportFooter, -1, static_cast<int>(TSectionKind::ReportFooter) * 1000, "report-footer"});
    if (auto s = n.child("page-footer"))
      ReadSection(s, r, r.PageFooter, {K::PageFooter, -1, static_cast<int>(TSectionKind::PageFooter) * 1000, "page-footer"});
    // Group sections after the detail fields are known.
    pugi::xml_node g = n.child("group");
    for (std::size_t i = 0; i < r.Groups.size(); ++i, g = g.child("group")) {
      if (auto h = g.child("header"))
        ReadSection(h, r, r.Groups[i].Header,
                    {K::GroupHeader, static_cast<int>(i), static_cast<int>(TSectionKind::GroupHeader) * 1000 + static_cast<int>(i), "header"});
      if (auto f = g.child("footer"))
        ReadSection(f, r, r.Groups[i].Footer,
                    {K::GroupFooter, static_cast<int>(i), static_cast<int>(TSectionKind::GroupFooter) * 1000 + static_cast<int>(i), "footer"});
    }
  }

  void ReadGroup(pugi::xml_node n, TReportDef& r) {
    CheckAttributes(n, {"field"});
    CheckChildren(n, {"header", "footer", "group"}, true);
    TGroupDef g;
    g.Field = RequiredAttr(n, "field");
    g.Line = Line(n);
    for (const TGroupDef& other : r.Groups)
      if (other.Field == g.Field) throw Error(n, "the report is grouped on field \"" + g.Field + "\" twice");
    r.Groups.push_back(std::move(g));
    if (r.Groups.size() > 9) throw Error(n, "groups are nested more than 9 deep");
    if (auto inner = n.child("group")) ReadGroup(inner, r);
  }

  TValueFormat MakeFormat(pugi::xml_node n, const std::string& pattern, TFieldType type) const {
    TValueFormat f;
    f.Pattern = pattern;
    try {
      f.Date = TDateFormat(pattern);
    } catch (const EFormatError& e) {
      if (type == TFieldType::Date || type == TFieldType::DateTime || type == TFieldType::Time || type == TFieldType::Auto)
        throw Error(n, e.what());
    }
    try {
      f.Number = TNumberFormat(pattern);
    } catch (const EFormatError& e) {
      if (type == TFieldType::Number || type == TFieldType::Integer) throw Error(n, e.what());
    }
    return f;
  }

  void ReadDetail(pugi::xml_node n, TReportDef& r) {
    CheckAttributes(n, {});
    CheckChildren(n, {"field", "subreport"}, false);
    r.Detail.Present = true;
    r.Detail.Line = Line(n);
    for (pugi::xml_node c : n.children()) {
      if (c.type() != pugi::node_element || std::strcmp(c.name(), "field") != 0) continue;
      CheckAttributes(c, {"name", "caption", "type", "format", "width", "align"});
      CheckChildren(c, {}, true);
      TFieldDef f;
      f.Line = Line(c);
      f.Name = RequiredAttr(c, "name");
      for (const TFieldDef& o : r.Fields)
        if (o.Name == f.Name) throw Error(c, "field \"" + f.Name + "\" is in the detail twice");
      f.Caption = c.attribute("caption") ? c.attribute("caption").value() : f.Name;
      if (pugi::xml_attribute a = c.attribute("type")) {
        static constexpr TFieldType kTypes[] = {TFieldType::Text, TFieldType::Number, TFieldType::Integer,
                                                TFieldType::Date, TFieldType::DateTime, TFieldType::Time};
        auto it = std::find_if(std::begin(kTypes), std::end(kTypes),
                               [&](TFieldType t) { return std::strcmp(FieldTypeName(t), a.value()) == 0; });
        if (it == std::end(kTypes))
          throw Error(c, std::string("field type \"") + a.value() +
                             "\" is unknown; known: text, number, integer, date, datetime, time");
        f.Type = *it;
      }
      if (pugi::xml_attribute a = c.attribute("format")) {
        f.HasFormat = true;
        f.Format = MakeFormat(c, a.value(), f.Type);
      }
      if (pugi::xml_attribute a = c.attribute("width")) {
        auto w = ParseIntText(a.value());
        if (!w || *w < 1 || *w > 200)
          throw Error(c, std::string("width=\"") + a.value() + "\" must be a number of characters from 1 to 200");
        f.Width = static_cast<int>(*w);
      }
      if (c.attribute("align")) {
        f.Align = AlignOf(c);
        f.AlignSet = true;
      }
      r.Fields.push_back(std::move(f));
    }
    if (r.Fields.empty() && !n.child("subreport"))
      throw Error(n, "<detail> lists no <field>; leave out <detail> to show every column of the query");
    using K = TSectionContext::TKind;
    TSectionContext ctx{K::Detail, -1, static_cast<int>(TSectionKind::Detail) * 1000, "detail"};
    for (pugi::xml_node c : n.children("subreport")) r.Detail.Items.push_back(ReadSubreport(c, r, ctx));
  }

  TAlign AlignOf(pugi::xml_node n) const {
    std::string_view a = n.attribute("align").value();
    if (a.empty() || a == "left") return TAlign::Left;
    if (a == "center") return TAlign::Center;
    if (a == "right") return TAlign::Right;
    throw Error(n, std::string("align=\"") + n.attribute("align").value() + "\" must be left, center or right");
  }

  static std::optional<TAggFunction> AggFromName(std::string_view s) {
    if (s == "count") return TAggFunction::Count;
    if (s == "sum" || s == "total") return TAggFunction::Sum;
    if (s == "avg" || s == "average") return TAggFunction::Avg;
    if (s == "min" || s == "minimum") return TAggFunction::Min;
    if (s == "max" || s == "maximum") return TAggFunction::Max;
    return std::nullopt;
  }

  static int Slot(std::vector<TAggregateDef>& slots, const TAggregateDef& a) {
    auto it = std::find(slots.begin(), slots.end(), a);
    if (it != slots.end()) return static_cast<int>(it - slots.begin());
    slots.push_back(a);
    return static_cast<int>(slots.size() - 1);
  }

  std::vector<TAggregateDef>* SlotsFor(TReportDef& r, const TSectionContext& ctx) const {
    if (ctx.Kind == TSectionContext::TKind::GroupFooter) return &r.Groups[static_cast<std::size_t>(ctx.GroupIndex)].Aggregates;
    if (ctx.Kind == TSectionContext::TKind::ReportFooter) return &r.ReportAggregates;
    return nullptr;
  }

  TTextTemplate ReadTemplate(pugi::xml_node n, std::string_view text, TReportDef& r, const TSectionContext& ctx) const {
    TTextTemplate t;
    std::size_t i = 0;
    std::string literal;
    auto flush = [&] {
      if (!literal.empty()) {
        TTextPart p;
        p.Text = std::move(literal);
        t.Parts.push_back(std::move(p));
        literal.clear();
      }
    };
    bool pageSection = ctx.Kind == TSectionContext::TKind::PageHeader || ctx.Kind == TSectionContext::TKind::PageFooter;
    while (i < text.size()) {
      char c = text[i];
      if (c == '{' && i + 1 < text.size() && text[i + 1] == '{') {
        literal += '{';
        i += 2;
        continue;
      }
      if (c == '}' && i + 1 < text.size() && text[i + 1] == '}') {
        literal += '}';
        i += 2;
        continue;
      }
      if (c == '}') throw Error(n, "a lone } in \"" + std::string(text) + "\"; write }} for a brace");
      if (c != '{') {
        literal += c;
        ++i;
        continue;
      }
      std::size_t end = text.find('}', i);
      if (end == std::string_view::npos)
        throw Error(n, "the { at position " + std::to_string(i + 1) + " of \"" + std::string(text) +
                           "\" is not closed; write {{ for a brace");
      std::string_view ref = text.substr(i + 1, end - i - 1);
      i = end + 1;
      std::string_view name = ref, format;
      if (auto colon = ref.find(':'); colon != std::string_view::npos) {
        name = ref.substr(0, colon);
        format = ref.substr(colon + 1);
      }
      name = Trim(name);
      flush();
      TTextPart p;
      std::string refText = "{" + std::string(ref) + "}";
      if (auto paren = name.find('('); paren != std::string_view::npos || name == "count") {
        // An aggregate: count, count(F), sum(F), avg(F), min(F), max(F).
        std::string_view fn = name.substr(0, paren);
        std::string_view field;
        if (paren != std::string_view::npos) {
          if (name.back() != ')') throw Error(n, refText + " is missing its closing )");
          field = Trim(name.substr(paren + 1, name.size() - paren - 2));
        }
        auto f = AggFromName(Trim(fn));
        if (!f) throw Error(n, refText + ": unknown function \"" + std::string(Trim(fn)) + "\"; known: count, sum, avg, min, max");
        if (field.empty() && *f != TAggFunction::Count) throw Error(n, refText + " names no field");
        std::vector<TAggregateDef>* slots = SlotsFor(r, ctx);
        if (!slots)
          throw Error(n, refText + ": totals can only stand in a group footer or the report footer, where their "
                                   "rows are complete");
        p.Kind = TTextPart::TKind::Aggregate;
        p.Text = std::string(name);
        p.Index = Slot(*slots, {*f, std::string(field)});
      } else {
        if (!IsName(name)) throw Error(n, refText + " is not a name; write {Name} or {Name:format}");
        p.Text = std::string(name);
        if (name == "PageNumber" || name == "PageCount") {
          if (!pageSection) throw Error(n, refText + " can only stand in the page header or the page footer");
          p.Kind = name == "PageNumber" ? TTextPart::TKind::PageNumber : TTextPart::TKind::PageCount;
        } else if (name == "PrintTime") {
          p.Kind = TTextPart::TKind::PrintTime;
        } else if (name == "ReportTitle") {
          p.Kind = TTextPart::TKind::Title;
        } else if (int idx = r.FindParam(p.Text); idx >= 0) {
          p.Kind = TTextPart::TKind::Param;
          p.Index = idx;
        } else {
          if (pageSection)
            throw Error(n, refText + " is not a parameter; a page header or footer has no row, so it can show "
                                     "parameters, PageNumber, PageCount, PrintTime and ReportTitle only");
          p.Kind = TTextPart::TKind::Field;
        }
      }
      if (!format.empty()) {
        p.HasFormat = true;
        TFieldType ft = TFieldType::Auto;
        if (p.Kind == TTextPart::TKind::PrintTime) ft = TFieldType::DateTime;
        p.Format = MakeFormat(n, std::string(format), ft);
      }
      t.Parts.push_back(std::move(p));
    }
    flush();
    return t;
  }

  void ReadSection(pugi::xml_node n, TReportDef& r, TSectionDef& s, const TSectionContext& ctx) {
    CheckAttributes(n, {});
    bool page = ctx.Kind == TSectionContext::TKind::PageHeader || ctx.Kind == TSectionContext::TKind::PageFooter;
    bool footer = ctx.Kind == TSectionContext::TKind::GroupFooter || ctx.Kind == TSectionContext::TKind::ReportFooter;
    if (page)
      CheckChildren(n, {"text"}, false);
    else if (footer)
      CheckChildren(n, {"text", "totals", "subreport", "chart"}, false);
    else
      CheckChildren(n, {"text", "subreport"}, false);
    s.Present = true;
    s.Line = Line(n);
    for (pugi::xml_node c : n.children()) {
      if (c.type() != pugi::node_element) continue;
      std::string_view kind = c.name();
      if (kind == "text") {
        CheckAttributes(c, {"style", "align"});
        TSectionItem item;
        item.Line = Line(c);
        item.Kind = TSectionItem::TKind::Text;
        std::string_view style = c.attribute("style").value();
        if (style.empty() || style == "normal") item.Style = TTextStyle::Normal;
        else if (style == "title") item.Style = TTextStyle::Title;
        else if (style == "heading") item.Style = TTextStyle::Heading;
        else if (style == "small") item.Style = TTextStyle::Small;
        else throw Error(c, "style=\"" + std::string(style) + "\" must be normal, title, heading or small");
        item.Align = AlignOf(c);
        item.Text = ReadTemplate(c, Trim(TextOf(c)), r, ctx);
        s.Items.push_back(std::move(item));
      } else if (kind == "totals") {
        CheckAttributes(c, {"label"});
        CheckChildren(c, {"total"}, false);
        TSectionItem item;
        item.Line = Line(c);
        item.Kind = TSectionItem::TKind::Totals;
        item.Text = ReadTemplate(c, c.attribute("label").value(), r, ctx);
        std::vector<TAggregateDef>* slots = SlotsFor(r, ctx);
        for (pugi::xml_node t : c.children("total")) {
          CheckAttributes(t, {"field", "function", "format"});
          CheckChildren(t, {}, true);
          TTotalCell cell;
          cell.Field = RequiredAttr(t, "field");
          std::string fn = RequiredAttr(t, "function");
          auto f = AggFromName(fn);
          if (!f) throw Error(t, "function=\"" + fn + "\" is unknown; known: count, sum, avg, min, max");
          cell.Function = *f;
          if (!r.Fields.empty() &&
              std::none_of(r.Fields.begin(), r.Fields.end(), [&](const TFieldDef& fd) { return fd.Name == cell.Field; }))
            throw Error(t, "a total stands under a detail field, and \"" + cell.Field + "\" is not one");
          if (pugi::xml_attribute a = t.attribute("format")) {
            cell.HasFormat = true;
            cell.Format = MakeFormat(t, a.value(), TFieldType::Auto);
          }
          cell.Slot = Slot(*slots, {cell.Function, cell.Field});
          item.Cells.push_back(std::move(cell));
        }
        if (item.Cells.empty()) throw Error(c, "<totals> holds no <total>");
        s.Items.push_back(std::move(item));
      } else if (kind == "subreport") {
        s.Items.push_back(ReadSubreport(c, r, ctx));
      } else if (kind == "chart") {
        s.Items.push_back(ReadChart(c, r, ctx));
      }
    }
  }

  TSectionItem ReadChart(pugi::xml_node n, TReportDef& r, const TSectionContext& ctx) {
    CheckAttributes(n, {"type", "time", "value", "series", "title", "value-label", "height", "bars"});
    CheckChildren(n, {}, true);
    if (r.PlacedInSection != 0) throw Error(n, "a chart can stand in the main report's footers only, not in a subreport");
    TSectionItem item;
    item.Kind = TSectionItem::TKind::Chart;
    item.Line = Line(n);
    TChartDef& c = item.Chart;
    std::string_view type = Trim(n.attribute("type").value());
    if (type.empty() || type == "line") c.Type = TChartType::Line;
    else if (type == "bar") c.Type = TChartType::Bar;
    else throw Error(n, "type=\"" + std::string(type) + "\" must be line or bar");
    c.TimeField = RequiredAttr(n, "time");
    c.ValueField = RequiredAttr(n, "value");
    for (const std::string& f : {c.TimeField, c.ValueField})
      if (!IsName(f)) throw Error(n, "\"" + f + "\" is not a field name");
    std::string_view series = n.attribute("series").value();
    std::size_t i = 0;
    while (i < series.size()) {
      std::size_t j = series.find_first_of(" ,", i);
      if (j == std::string_view::npos) j = series.size();
      std::string_view name = series.substr(i, j - i);
      if (!name.empty()) {
        if (!IsName(name))
          throw Error(n, "series=\"" + std::string(series) + "\": \"" + std::string(name) +
                             "\" is not a field name; list the fields that name a series, separated by blanks");
        c.SeriesFields.emplace_back(name);
      }
      i = j + 1;
    }
    c.Title = ReadTemplate(n, n.attribute("title").value(), r, ctx);
    c.ValueLabel = std::string(Trim(n.attribute("value-label").value()));
    c.HeightMm = Length(n, "height", 80);
    if (c.HeightMm < 30 || c.HeightMm > 250)
      throw Error(n, "height=\"" + std::string(n.attribute("height").value()) + "\" must be between 30mm and 250mm");
    std::string_view bars = Trim(n.attribute("bars").value());
    if (!bars.empty() && c.Type != TChartType::Bar) throw Error(n, "bars=\"...\" belongs to a bar chart (type=\"bar\")");
    if (bars.empty() || bars == "sum") c.Merge = TChartMerge::Sum;
    else if (bars == "max") c.Merge = TChartMerge::Max;
    else throw Error(n, "bars=\"" + std::string(bars) + "\" must be sum or max");
    return item;
  }

  TSectionItem ReadSubreport(pugi::xml_node n, TReportDef& parent, const TSectionContext& ctx) {
    if (parent.PlacedInSection != 0) throw Error(n, "a subreport cannot hold another subreport");
    CheckAttributes(n, {"name"});
    CheckChildren(n, {"tables", "parameters", "query", "layout"}, true);
    TReportDef sub;
    sub.Name = RequiredAttr(n, "name");
    if (!FSubreportNames.insert(sub.Name).second) throw Error(n, "there are two subreports named \"" + sub.Name + "\"");
    if (sub.Name.size() >= 128) throw Error(n, "the subreport name is longer than 127 bytes");
    sub.Line = Line(n);
    sub.PlacedInSection = ctx.SectionCode;
    ReadReportBody(n, sub, false);
    if (!sub.HasQuery) throw Error(n, "subreport \"" + sub.Name + "\" has no <query>");
    for (const TParamDef& p : sub.Params)
      if (!p.LinkField.empty() && (ctx.Kind == TSectionContext::TKind::ReportHeader))
        throw Error(n, "linked parameter \"" + p.Name + "\" of subreport \"" + sub.Name +
                           "\" is fed from the main report's row, and the report header has none; place the "
                           "subreport in a group section or the detail");
    FFileDef.Subreports.push_back(std::move(sub));
    TSectionItem item;
    item.Kind = TSectionItem::TKind::Subreport;
    item.Subreport = static_cast<int>(FFileDef.Subreports.size() - 1);
    item.Line = Line(n);
    return item;
  }
};

}  // namespace

TReportFile ParseDefinition(std::string_view text, const std::string& fileName) {
  return TReader(text, fileName).Read();
}

TReportFile ReadDefinitionFile(const std::string& path) {
  auto fail = [&](const char* what, int err) {
    return EDefinitionFileError(std::string(what) + " the report definition \"" + path + "\": " + std::strerror(err));
  };
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw fail("cannot open", errno);
  struct TCloser {
    int Fd;
    ~TCloser() { ::close(Fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw fail("cannot read", errno);
  if (S_ISDIR(st.st_mode)) throw fail("cannot read", EISDIR);
  if (st.st_size > 16 * 1024 * 1024)
    throw EDefinitionFileError("the report definition \"" + path + "\" is larger than 16 MB; it is not a definition");
  std::string text;
  char buf[65536];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw fail("cannot read", errno);
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > 16u * 1024 * 1024)
      throw EDefinitionFileError("the report definition \"" + path + "\" is larger than 16 MB; it is not a definition");
  }
  return ParseDefinition(text, path);
}

}  // namespace mv::rpe
