#include "TextUtil.h"

#include <cstring>

namespace mv::rpe {

void AppendPlain(std::string& out, std::string_view s) {
  for (char c : s) out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
}

void AppendFitted(std::string& out, std::string_view s, std::size_t width, int align) {
  std::size_t w = Utf8Width(s);
  if (w > width) {
    if (width == 0) return;
    // Keep width-1 characters and mark the cut.
    std::size_t keep = width - 1, n = 0, i = 0;
    for (; i < s.size(); ++i) {
      if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
        if (n == keep) break;
        ++n;
      }
    }
    AppendPlain(out, s.substr(0, i));
    out += "\xE2\x80\xA6";  // …
    return;
  }
  std::size_t pad = width - w;
  std::size_t before = align == 2 ? pad : align == 1 ? pad / 2 : 0;
  out.append(before, ' ');
  AppendPlain(out, s);
  out.append(pad - before, ' ');
}

void AppendXmlEscaped(std::string& out, std::string_view s) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    const char* rep = nullptr;
    switch (c) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      case '"': rep = "&quot;"; break;
      default:
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') rep = "\xEF\xBF\xBD";
        break;
    }
    if (rep) {
      out.append(s.data() + start, i - start);
      out += rep;
      start = i + 1;
    }
  }
  out.append(s.data() + start, s.size() - start);
}

void CopyCText(char* dest, std::size_t size, std::string_view text) {
  if (size == 0) return;
  std::size_t n = text.size();
  if (n >= size) {
    n = size - 1;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

void AppendMarker(std::string& out, char kind, long page) {
  out += kMarker;
  out += kind;
  out += std::to_string(page);
  out += kMarkerEnd;
}

}  // namespace mv::rpe
