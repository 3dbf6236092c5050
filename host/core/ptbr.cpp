#include "core/ptbr.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <vector>

#include "core/utf8.h"

namespace ger::ptbr {

namespace {

constexpr int kGeneralDigits = 15;

// A finite number as decimal digits: value = 0.digits × 10^point, digits without leading or
// trailing zeros ("" for zero). 2.5 → {"25", 1}; 0.0125 → {"125", -1}.
struct Decimal {
  bool negative = false;
  std::string digits;
  int point = 0;
};

// The shortest digits that read back as the same double, limited to 15 significant digits, so
// that binary noise (0.1 + 0.2 = 0.30000000000000004) never reaches the user.
Decimal ToDecimal(double v) {
  Decimal d;
  d.negative = std::signbit(v) && v != 0.0;
  v = std::fabs(v);
  if (v == 0.0) return d;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
  auto digitsIn = [](std::string_view t) {
    std::size_t n = 0;
    for (char c : t.substr(0, t.find('e')))
      if (c >= '0' && c <= '9') ++n;
    return n;
  };
  if (digitsIn(text) > kGeneralDigits) {
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, kGeneralDigits - 1);
    text = std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
  }
  const std::size_t e = text.find('e');
  for (char c : text.substr(0, e))
    if (c >= '0' && c <= '9') d.digits.push_back(c);
  int exp = 0;
  std::string_view expText = text.substr(e + 1);
  if (!expText.empty() && expText.front() == '+') expText.remove_prefix(1);
  std::from_chars(expText.data(), expText.data() + expText.size(), exp);
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  d.point = exp + 1;
  return d;
}

// Rounds half away from zero to `decimals` digits after the point.
void RoundTo(Decimal& d, int decimals) {
  const long keep = static_cast<long>(d.point) + decimals;
  if (keep >= static_cast<long>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    d.point = 0;
    return;
  }
  const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
  d.digits.resize(static_cast<std::size_t>(keep));
  if (up) {
    int k = static_cast<int>(keep) - 1;
    for (; k >= 0; --k) {
      if (d.digits[static_cast<std::size_t>(k)] == '9') {
        d.digits[static_cast<std::size_t>(k)] = '0';
      } else {
        ++d.digits[static_cast<std::size_t>(k)];
        break;
      }
    }
    if (k < 0) {  // 999 → 1000: one more digit in front
      d.digits.insert(d.digits.begin(), '1');
      ++d.point;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.point = 0;
}

// The digit at an index of Decimal::digits, with the implied zeros on either side.
char DigitAt(const Decimal& d, long index) {
  if (index < 0 || index >= static_cast<long>(d.digits.size())) return '0';
  return d.digits[static_cast<std::size_t>(index)];
}

std::string NonFinite(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

struct Section {
  std::string prefix, suffix;
  bool thousands = false;
  int intMin = 0;  // zeros before the point
  int decMin = 0;  // zeros after the point
  int decMax = 0;  // all placeholders after the point
  bool hasDigits = false;
};

Section ParseSection(std::string_view f) {
  Section s;
  bool afterPoint = false, seenZero = false;
  int intPlaces = 0, intZeroFrom = -1;
  std::string* literal = &s.prefix;
  for (std::size_t i = 0; i < f.size(); ++i) {
    const char c = f[i];
    if (c == '"' || c == '\'') {
      const std::size_t end = f.find(c, i + 1);
      const std::size_t stop = end == std::string_view::npos ? f.size() : end;
      literal->append(f.substr(i + 1, stop - i - 1));
      i = stop;
    } else if (c == '0' || c == '#') {
      s.hasDigits = true;
      literal = &s.suffix;
      s.suffix.clear();  // literals between placeholders are not kept
      if (afterPoint) {
        ++s.decMax;
        if (c == '0') s.decMin = s.decMax;
      } else {
        if (c == '0' && !seenZero) {
          seenZero = true;
          intZeroFrom = intPlaces;
        }
        ++intPlaces;
      }
    } else if (c == '.' && !afterPoint) {
      afterPoint = true;
      literal = &s.suffix;
    } else if (c == ',') {
      s.thousands = true;
    } else {
      literal->push_back(c);
    }
  }
  if (seenZero) s.intMin = intPlaces - intZeroFrom;
  return s;
}

std::vector<std::string_view> SplitSections(std::string_view format) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  char quote = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      parts.push_back(format.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(format.substr(start));
  return parts;
}

std::string FormatSection(Decimal d, const Section& s, bool withSign) {
  RoundTo(d, s.decMax);
  std::string intPart;
  for (long i = 0; i < d.point; ++i) intPart.push_back(DigitAt(d, i));
  while (static_cast<int>(intPart.size()) < s.intMin) intPart.insert(intPart.begin(), '0');
  if (s.thousands && intPart.size() > 3) {
    std::string grouped;
    const std::size_t lead = intPart.size() % 3;
    for (std::size_t i = 0; i < intPart.size(); ++i) {
      if (i != 0 && (i + 3 - lead) % 3 == 0) grouped.push_back('.');
      grouped.push_back(intPart[i]);
    }
    intPart = std::move(grouped);
  }
  std::string decPart;
  for (int i = 0; i < s.decMax; ++i) decPart.push_back(DigitAt(d, d.point + i));
  while (static_cast<int>(decPart.size()) > s.decMin && decPart.back() == '0') decPart.pop_back();
  std::string out;
  // A value that rounds to zero shows no minus sign.
  if (withSign && d.negative && !d.digits.empty()) out.push_back('-');
  out += s.prefix;
  out += intPart;
  if (!decPart.empty()) out += ',' + decPart;
  out += s.suffix;
  return out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string FormatFloat(double value) {
  if (!std::isfinite(value)) return NonFinite(value);
  const Decimal d = ToDecimal(value);
  if (d.digits.empty()) return "0";
  std::string out = d.negative ? "-" : "";
  const int exp = d.point - 1;
  if (exp >= kGeneralDigits || exp < -5) {
    out.push_back(d.digits[0]);
    if (d.digits.size() > 1) out += ',' + d.digits.substr(1);
    out += 'E' + std::to_string(exp);
    return out;
  }
  if (d.point <= 0) {
    out += "0," + std::string(static_cast<std::size_t>(-d.point), '0') + d.digits;
  } else {
    for (int i = 0; i < d.point; ++i) out.push_back(DigitAt(d, i));
    if (static_cast<int>(d.digits.size()) > d.point) out += ',' + d.digits.substr(d.point);
  }
  return out;
}

std::string FormatFloat(double value, std::string_view format) {
  if (format.empty() || !std::isfinite(value)) return FormatFloat(value);
  const auto parts = SplitSections(format);
  Decimal d = ToDecimal(value);
  std::string_view chosen = parts[0];
  bool withSign = true;
  if (d.digits.empty() && parts.size() > 2 && !parts[2].empty()) {
    chosen = parts[2];
  } else if (d.negative && parts.size() > 1 && !parts[1].empty()) {
    chosen = parts[1];  // the negative section writes its own sign, if any
    withSign = false;
  }
  const Section s = ParseSection(chosen);
  if (!s.hasDigits) return s.prefix;
  return FormatSection(d, s, withSign);
}

std::optional<double> ParseFloat(std::string_view text) {
  text = utf8::Trim(text);
  std::string c;  // the same number in the C notation for from_chars
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') c.push_back('-');
    ++i;
  }
  std::size_t mantissaDigits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++mantissaDigits) c.push_back(text[i]);
  if (i < text.size() && text[i] == ',') {
    c.push_back('.');
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++mantissaDigits) c.push_back(text[i]);
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    c.push_back('e');
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) c.push_back(text[i++]);
    std::size_t expDigits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++expDigits) c.push_back(text[i]);
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double v = 0;
  const auto r = std::from_chars(c.data(), c.data() + c.size(), v);
  if (r.ec != std::errc() || r.ptr != c.data() + c.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<long long> ParseInteger(std::string_view text) {
  text = utf8::Trim(text);
  bool plus = false;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1), plus = true;
  if (text.empty() || (text.front() == '-' && (plus || text.size() == 1))) return std::nullopt;
  for (std::size_t i = text.front() == '-' ? 1 : 0; i < text.size(); ++i)
    if (!IsDigit(text[i])) return std::nullopt;
  long long v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

std::string FormatDate(DateTime value) {
  const auto p = value.Split();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", p.day, p.month, p.year);
  return buf;
}

std::string FormatDateTime(DateTime value) {
  const auto p = value.Split();
  std::string out = FormatDate(value);
  if (p.hour || p.minute || p.second || p.millisecond) {
    char buf[16];
    std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", p.hour, p.minute, p.second);
    out += buf;
  }
  return out;
}

namespace {

// Reads 1..maxDigits digits; returns how many were read (0: none).
std::size_t ReadNumber(std::string_view t, std::size_t& i, std::size_t maxDigits, int& out) {
  std::size_t n = 0;
  out = 0;
  while (i < t.size() && IsDigit(t[i]) && n < maxDigits) {
    out = out * 10 + (t[i] - '0');
    ++i, ++n;
  }
  return n;
}

}  // namespace

std::optional<DateTime> ParseDate(std::string_view text) {
  text = utf8::Trim(text);
  std::size_t i = 0;
  int d, m, y, h = 0, n = 0, s = 0;
  if (ReadNumber(text, i, 2, d) == 0 || i >= text.size() || text[i++] != '/') return std::nullopt;
  if (ReadNumber(text, i, 2, m) == 0 || i >= text.size() || text[i++] != '/') return std::nullopt;
  const std::size_t yearDigits = ReadNumber(text, i, 4, y);
  if (yearDigits == 2) {
    y += y >= 50 ? 1900 : 2000;
  } else if (yearDigits != 4) {
    return std::nullopt;
  }
  if (i < text.size()) {
    if (!IsBlank(text[i])) return std::nullopt;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (ReadNumber(text, i, 2, h) == 0 || i >= text.size() || text[i++] != ':') return std::nullopt;
    if (ReadNumber(text, i, 2, n) != 2) return std::nullopt;
    if (i < text.size()) {
      if (text[i++] != ':' || ReadNumber(text, i, 2, s) != 2) return std::nullopt;
    }
    if (i != text.size() || h > 23 || n > 59 || s > 59) return std::nullopt;
  }
  if (!DateTime::IsValidDate(y, m, d)) return std::nullopt;
  return DateTime::FromParts(y, m, d, h, n, s);
}

std::string ValueText(const Value& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(double d) const { return FormatFloat(d); }
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(DateTime d) const { return FormatDateTime(d); }
    std::string operator()(const Bytes&) const { return "(BLOB)"; }
  };
  return std::visit(Visitor{}, value);
}

}  // namespace ger::ptbr
