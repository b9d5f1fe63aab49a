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

namespace {

// The length of the well-formed UTF-8 sequence at s[i] and its code point
// in `cp`; 0 when the bytes there are none.
std::size_t Utf8At(std::string_view s, std::size_t i, unsigned& cp) {
  auto at = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
  const unsigned c = at(i);
  cp = c;
  if (c < 0x80) return i < s.size() ? 1 : 0;
  std::size_t n;
  unsigned lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;  // no overlong forms
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned b = at(i + k);
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return 0;
    cp = cp << 6 | (b & 0x3F);
  }
  return n;
}

bool IsNonCharacter(unsigned cp) { return cp == 0xFFFE || cp == 0xFFFF; }

}  // namespace

void AppendValidUtf8(std::string& out, std::string_view s, std::size_t maxChars) {
  std::size_t chars = 0, i = 0;
  while (i < s.size() && chars < maxChars) {
    unsigned cp = 0;
    const std::size_t n = Utf8At(s, i, cp);
    if (n == 0 || IsNonCharacter(cp)) {
      out += "\xEF\xBF\xBD";
      i += n == 0 ? 1 : n;
    } else {
      out.append(s.data() + i, n);
      i += n;
    }
    ++chars;
  }
}

void AppendXmlEscaped(std::string& out, std::string_view s) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    const char* rep = nullptr;
    std::size_t replaced = 1;  // bytes the replacement stands for
    switch (c) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      case '"': rep = "&quot;"; break;
      // As references, so that a reader's line-end and attribute
      // normalisation gives back the value as it was.
      case '\t': rep = "&#9;"; break;
      case '\n': rep = "&#10;"; break;
      case '\r': rep = "&#13;"; break;
      default:
        if (c < 0x20) {
          rep = "\xEF\xBF\xBD";
        } else if (c >= 0x80) {
          // Bytes that are no UTF-8 character (or one XML forbids) would
          // make the whole file unreadable.
          unsigned cp = 0;
          const std::size_t n = Utf8At(s, i, cp);
          if (n == 0) {
            rep = "\xEF\xBF\xBD";
          } else if (IsNonCharacter(cp)) {
            rep = "\xEF\xBF\xBD";
            replaced = n;
          } else {
            i += n - 1;
          }
        }
        break;
    }
    if (rep) {
      out.append(s.data() + start, i - start);
      out += rep;
      i += replaced - 1;
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
