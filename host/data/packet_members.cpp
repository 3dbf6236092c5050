// The member splitter of the packet codec: a large document's members handed out as text.
#include <array>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <boost/json.hpp>

#include "core/exceptions.h"
#include "data/packet.h"

namespace ger {

namespace json = boost::json;
namespace codec {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t SkipSpace(std::string_view t, std::size_t i) {
  while (i < t.size() && IsSpace(t[i])) ++i;
  return i;
}

[[noreturn]] void NotAnObject() {
  throw EDatabaseError("Documento JSON inválido.");
}

// From the opening quote to just past the closing one, sixteen bytes at a time where it can:
// strings are most of a packet's text.
std::size_t SkipString(std::string_view t, std::size_t i) {
  const char* d = t.data();
  const std::size_t n = t.size();
  std::size_t j = i + 1;
  for (;;) {
#ifdef __SSE2__
    while (j + 16 <= n) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + j));
      const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')),
                                                      _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'))));
      if (mask != 0) {
        j += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        break;
      }
      j += 16;
    }
#endif
    while (j < n && d[j] != '"' && d[j] != '\\') ++j;
    if (j >= n) NotAnObject();
    if (d[j] == '"') return j + 1;
    j += 2;  // an escape: the next character is part of it, whatever it is
  }
}

// The characters of a number or a literal (true, false, null).
constexpr std::array<bool, 256> MakeTokenTable() {
  std::array<bool, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  t['-'] = t['+'] = t['.'] = true;
  return t;
}
constexpr auto kTokenChar = MakeTokenTable();

// Past one value starting at i: a string, a literal or number (its characters), or a container
// with its brackets paired.
std::size_t SkipValue(std::string_view t, std::size_t i) {
  std::string open;  // the brackets still open
  do {
    i = SkipSpace(t, i);
    if (i >= t.size()) NotAnObject();
    const char c = t[i];
    if (c == '"') {
      i = SkipString(t, i);
    } else if (c == '{' || c == '[') {
      open.push_back(c == '{' ? '}' : ']');
      ++i;
    } else if (c == '}' || c == ']') {
      if (open.empty() || open.back() != c) NotAnObject();
      open.pop_back();
      ++i;
    } else if (c == ',' || c == ':') {
      if (open.empty()) NotAnObject();
      ++i;
    } else {
      const std::size_t start = i;
      while (i < t.size() && kTokenChar[static_cast<unsigned char>(t[i])]) ++i;
      if (i == start) NotAnObject();
    }
  } while (!open.empty());
  return i;
}

}  // namespace

std::vector<std::pair<std::string, std::string_view>> ObjectMembers(std::string_view text) {
  std::vector<std::pair<std::string, std::string_view>> members;
  std::size_t i = SkipSpace(text, 0);
  if (i >= text.size() || text[i] != '{') NotAnObject();
  i = SkipSpace(text, i + 1);
  if (i < text.size() && text[i] == '}') {
    ++i;
  } else {
    for (;;) {
      if (i >= text.size() || text[i] != '"') NotAnObject();
      const std::size_t keyEnd = SkipString(text, i);
      std::string_view key = text.substr(i + 1, keyEnd - i - 2);
      std::string name;
      if (key.find('\\') == std::string_view::npos) {
        name = key;
      } else {  // an escaped key: the parser reads it
        json::error_code ec;
        json::value v = json::parse(text.substr(i, keyEnd - i), ec);
        if (ec || !v.is_string()) NotAnObject();
        name = v.as_string();
      }
      i = SkipSpace(text, keyEnd);
      if (i >= text.size() || text[i] != ':') NotAnObject();
      const std::size_t start = SkipSpace(text, i + 1);
      const std::size_t end = SkipValue(text, start);
      members.emplace_back(std::move(name), text.substr(start, end - start));
      i = SkipSpace(text, end);
      if (i < text.size() && text[i] == ',') {
        i = SkipSpace(text, i + 1);
        continue;
      }
      if (i < text.size() && text[i] == '}') {
        ++i;
        break;
      }
      NotAnObject();
    }
  }
  if (SkipSpace(text, i) != text.size()) NotAnObject();
  return members;
}

}  // namespace codec
}  // namespace ger
