#include "core/value.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/exceptions.h"

namespace ger {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (eras of 400 years, March-based years).
std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = static_cast<int>(y - era * 400);
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = static_cast<int>(z - era * 146097);
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe + era * 400) + (m <= 2);
}

// Reads exactly n digits at text[pos]; false when any is not a digit.
bool ReadDigits(std::string_view text, std::size_t pos, std::size_t n, int& out) {
  if (pos + n > text.size()) return false;
  out = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const char c = text[pos + k];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

}  // namespace

DateTime DateTime::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min, std::min(local.tm_sec, 59),
                   static_cast<int>(now.tv_nsec / 1'000'000));
}

bool DateTime::IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

DateTime DateTime::FromParts(int year, int month, int day, int hour, int minute, int second,
                             int millisecond) {
  if (!IsValidDate(year, month, day) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || millisecond < 0 || millisecond > 999) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d %02d:%02d:%02d' não é uma data válida.", year,
                  month, day, hour, minute, second);
    throw EConvertError(buf);
  }
  const std::int64_t days = DaysFromCivil(year, month, day);
  return DateTime(days * kMsPerDay + ((hour * 60 + minute) * 60 + second) * 1000LL + millisecond);
}

DateTime::Parts DateTime::Split() const {
  std::int64_t days = ms_ / kMsPerDay;
  std::int64_t rest = ms_ % kMsPerDay;
  if (rest < 0) {  // before 1970: the time of day still counts forward from midnight
    rest += kMsPerDay;
    --days;
  }
  Parts p{};
  CivilFromDays(days, p.year, p.month, p.day);
  p.millisecond = static_cast<int>(rest % 1000);
  rest /= 1000;
  p.second = static_cast<int>(rest % 60);
  rest /= 60;
  p.minute = static_cast<int>(rest % 60);
  p.hour = static_cast<int>(rest / 60);
  return p;
}

std::string DateTime::ToIso() const {
  const Parts p = Split();
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day,
                        p.hour, p.minute, p.second);
  if (p.millisecond != 0)
    n += std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), ".%03d", p.millisecond);
  return std::string(buf, static_cast<std::size_t>(n));
}

std::optional<DateTime> DateTime::FromIso(std::string_view text) {
  int y, mo, d, h = 0, mi = 0, s = 0, ms = 0;
  if (!ReadDigits(text, 0, 4, y) || text.size() < 10 || text[4] != '-' ||
      !ReadDigits(text, 5, 2, mo) || text[7] != '-' || !ReadDigits(text, 8, 2, d))
    return std::nullopt;
  if (text.size() > 10) {
    if ((text[10] != 'T' && text[10] != ' ') || text.size() < 19 || !ReadDigits(text, 11, 2, h) ||
        text[13] != ':' || !ReadDigits(text, 14, 2, mi) || text[16] != ':' ||
        !ReadDigits(text, 17, 2, s))
      return std::nullopt;
    if (text.size() > 19) {
      // Fractions of a second: up to nine digits (database timestamps carry microseconds);
      // anything below the millisecond is dropped.
      const std::size_t digits = text.size() - 20;
      if (text[19] != '.' || digits < 1 || digits > 9) return std::nullopt;
      int frac = 0;
      if (!ReadDigits(text, 20, digits, frac)) return std::nullopt;
      for (std::size_t k = digits; k < 3; ++k) frac *= 10;
      for (std::size_t k = 3; k < digits; ++k) frac /= 10;
      ms = frac;
    }
  }
  if (!IsValidDate(y, mo, d) || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return FromParts(y, mo, d, h, mi, s, ms);
}

}  // namespace ger
