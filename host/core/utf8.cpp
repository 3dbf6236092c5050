#include "core/utf8.h"

#include <array>

namespace ger::utf8 {

namespace {

// Bytes that are not part of a well-formed sequence are read as Windows-1252, the character set
// of the legacy texts, so that an old text shows its accents instead of replacement marks and a
// malformed byte still counts as exactly one character.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromLegacyByte(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kCp1252High[b - 0x80];
  return b;
}

// Decodes one character at s[pos]; returns the number of bytes it takes (at least 1).
std::size_t DecodeOne(std::string_view s, std::size_t pos, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    cp = FromLegacyByte(b0);
    return 1;
  }
  if (pos + len > s.size()) {
    cp = FromLegacyByte(b0);
    return 1;
  }
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[pos + k]);
    if ((b & 0xC0) != 0x80) {
      cp = FromLegacyByte(b0);
      return 1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past the last code point are not characters.
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    cp = FromLegacyByte(b0);
    return 1;
  }
  return len;
}

std::size_t SeqLen(std::string_view s, std::size_t pos) {
  char32_t cp;
  return DecodeOne(s, pos, cp);
}

}  // namespace

std::size_t Length(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < s.size(); pos += SeqLen(s, pos)) ++n;
  return n;
}

std::size_t Offset(std::string_view s, std::size_t i) {
  std::size_t pos = 0;
  for (; i > 0 && pos < s.size(); --i) pos += SeqLen(s, pos);
  return pos;
}

std::string_view Left(std::string_view s, std::size_t n) {
  return s.substr(0, Offset(s, n));
}

std::string Mid(std::string_view s, std::size_t pos, std::size_t n) {
  const std::size_t begin = Offset(s, pos);
  const std::string_view rest = s.substr(begin);
  return std::string(rest.substr(0, Offset(rest, n)));
}

std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t pos = 0; pos < s.size();) {
    char32_t cp;
    pos += DecodeOne(s, pos, cp);
    out.push_back(cp);
  }
  return out;
}

void Append(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

char32_t LegacyChar(unsigned char b) {
  return FromLegacyByte(b);
}

std::size_t WellFormedLength(std::string_view s, std::size_t pos) {
  if (static_cast<unsigned char>(s[pos]) < 0x80) return 1;
  char32_t cp;
  const std::size_t len = DecodeOne(s, pos, cp);
  return len == 1 ? 0 : len;  // a byte from 0x80 alone is never a character of its own
}

bool IsWellFormed(std::string_view s) {
  for (std::size_t pos = 0; pos < s.size();) {
    const std::size_t len = WellFormedLength(s, pos);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

std::string FromLegacy(std::string_view s) {
  if (IsWellFormed(s)) return std::string(s);
  return Encode(Decode(s));
}

std::string Encode(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t cp : s) Append(out, cp);
  return out;
}

char32_t ToUpper(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // à..þ, not ÷
  if (c == 0xFF) return 0x178;                               // ÿ → Ÿ
  // Latin Extended-A pairs (œ, š, ž, ...): capital at the even code point.
  if (c >= 0x100 && c <= 0x17F && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    const bool oddUpperRange = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddUpperRange) return (c % 2 == 0) ? c - 1 : c;
    return (c % 2 == 1) ? c - 1 : c;
  }
  return c;
}

char32_t ToLower(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // À..Þ, not ×
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x138 && c != 0x149 && c != 0x17F) {
    const bool oddUpperRange = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddUpperRange) return (c % 2 == 1) ? c + 1 : c;
    return (c % 2 == 0) ? c + 1 : c;
  }
  return c;
}

bool SameText(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
    if (x < 0x80 && y < 0x80) {  // names are ASCII: no decoding
      if (x != y && ToUpper(char32_t{x}) != ToUpper(char32_t{y})) return false;
      ++i, ++j;
      continue;
    }
    char32_t cx, cy;
    const std::size_t lx = DecodeOne(a, i, cx), ly = DecodeOne(b, j, cy);
    const bool badX = lx == 1 && x >= 0x80, badY = ly == 1 && y >= 0x80;
    if (badX || badY) {
      if (!(badX && badY && x == y)) return false;
    } else if (cx != cy && ToUpper(cx) != ToUpper(cy)) {
      return false;
    }
    i += lx, j += ly;
  }
  return i == a.size() && j == b.size();
}

std::string ToUpper(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t pos = 0; pos < s.size();) {
    char32_t cp;
    const std::size_t len = DecodeOne(s, pos, cp);
    if (len == 1 && static_cast<unsigned char>(s[pos]) >= 0x80) {
      out.push_back(s[pos]);  // a malformed byte is kept as it is
    } else {
      Append(out, ToUpper(cp));
    }
    pos += len;
  }
  return out;
}

std::string ToLower(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t pos = 0; pos < s.size();) {
    char32_t cp;
    const std::size_t len = DecodeOne(s, pos, cp);
    if (len == 1 && static_cast<unsigned char>(s[pos]) >= 0x80) {
      out.push_back(s[pos]);
    } else {
      Append(out, ToLower(cp));
    }
    pos += len;
  }
  return out;
}

namespace {

// Base letter of a Latin-1 capital (after ToUpper); 0 when the character has no accent to drop.
char32_t StripAccent(char32_t c) {
  switch (c) {
    case 0xC0:
    case 0xC1:
    case 0xC2:
    case 0xC3:
    case 0xC4:
    case 0xC5:
      return U'A';
    case 0xC7:
      return U'C';
    case 0xC8:
    case 0xC9:
    case 0xCA:
    case 0xCB:
      return U'E';
    case 0xCC:
    case 0xCD:
    case 0xCE:
    case 0xCF:
      return U'I';
    case 0xD1:
      return U'N';
    case 0xD2:
    case 0xD3:
    case 0xD4:
    case 0xD5:
    case 0xD6:
    case 0xD8:
      return U'O';
    case 0xD9:
    case 0xDA:
    case 0xDB:
    case 0xDC:
      return U'U';
    case 0xDD:
    case 0x178:
      return U'Y';
    default:
      return c;
  }
}

}  // namespace

std::string FoldKey(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t cp : Decode(s)) Append(out, StripAccent(ToUpper(cp)));
  return out;
}

std::string_view Trim(std::string_view s) {
  constexpr std::string_view kBlanks = " \t\r\n\v\f";
  const std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

}  // namespace ger::utf8
