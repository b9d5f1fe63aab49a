// Small text helpers shared by the writers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mv::rpe {

// Characters (code points) of UTF-8 text.
inline std::size_t Utf8Width(std::string_view s) {
  std::size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// Appends s fitted into `width` characters: padded with blanks on the side
// the alignment leaves open, or cut with "…" at the end when too long.
// Control characters become blanks.
void AppendFitted(std::string& out, std::string_view s, std::size_t width, int align /* 0 left, 1 center, 2 right */);

// Appends s with control characters (and the writers' own marker bytes)
// replaced by blanks.
void AppendPlain(std::string& out, std::string_view s);

// Appends s escaped for XML/HTML text and attribute values (& < > ", and
// tab, line feed and carriage return as character references); control
// characters that XML 1.0 does not allow, bytes that are no UTF-8 and
// U+FFFE/U+FFFF become U+FFFD.
void AppendXmlEscaped(std::string& out, std::string_view s);

// Appends at most `maxChars` characters of s, each byte that is no UTF-8
// and each U+FFFE/U+FFFF as U+FFFD.
void AppendValidUtf8(std::string& out, std::string_view s, std::size_t maxChars = std::string_view::npos);

// Copies text into a fixed C field of `size` bytes, always NUL-terminated,
// cut at a character boundary when too long.
void CopyCText(char* dest, std::size_t size, std::string_view text);

// Spools of two-pass writers mark places that need the page count as
// kMarker, a kind letter, a page number and kMarkerEnd.
inline constexpr char kMarker = '\x01';
inline constexpr char kMarkerEnd = '\x02';
void AppendMarker(std::string& out, char kind, long page);

// Copies a spool to `emit`, calling expand(kind, page, out) for each marker.
template <class TSpool, class TEmit, class TExpand>
void ExpandMarkers(TSpool& spool, TEmit&& emit, TExpand&& expand) {
  std::string pending;  // a marker cut by a chunk boundary
  std::string out;
  spool.ReadAll([&](std::string_view chunk) {
    std::string joined;
    if (!pending.empty()) {
      joined = pending + std::string(chunk);
      chunk = joined;
      pending.clear();
    }
    std::size_t pos = 0;
    while (pos < chunk.size()) {
      std::size_t m = chunk.find(kMarker, pos);
      if (m == std::string_view::npos) {
        emit(chunk.substr(pos));
        break;
      }
      emit(chunk.substr(pos, m - pos));
      std::size_t end = chunk.find(kMarkerEnd, m);
      if (end == std::string_view::npos) {
        pending = std::string(chunk.substr(m));
        break;
      }
      char kind = chunk[m + 1];
      long page = 0;
      for (std::size_t i = m + 2; i < end; ++i) page = page * 10 + (chunk[i] - '0');
      out.clear();
      expand(kind, page, out);
      emit(std::string_view(out));
      pos = end + 1;
    }
  });
}

}  // namespace mv::rpe
