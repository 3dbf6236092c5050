#pragma once
// The value of one cell of a dataset or data packet.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace ger {

// A local date and time with millisecond resolution, no time zone (as the platform's TDateTime).
class DateTime {
 public:
  DateTime() = default;
  static DateTime FromParts(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0, int millisecond = 0);
  // Milliseconds since 1970-01-01 00:00:00.
  static DateTime FromMillis(std::int64_t ms) { return DateTime(ms); }
  std::int64_t Millis() const { return ms_; }
  // The local date and time of this machine now.
  static DateTime Now();

  struct Parts {
    int year, month, day, hour, minute, second, millisecond;
  };
  Parts Split() const;

  // ISO 8601 without zone: "2005-02-28T13:45:00" (".123" when there are milliseconds).
  std::string ToIso() const;
  // Accepts "YYYY-MM-DD", "YYYY-MM-DDTHH:MM:SS" and "YYYY-MM-DD HH:MM:SS[.mmm]"; nullopt for a
  // malformed or impossible date.
  static std::optional<DateTime> FromIso(std::string_view text);

  static bool IsValidDate(int year, int month, int day);

  auto operator<=>(const DateTime&) const = default;

 private:
  explicit DateTime(std::int64_t ms) : ms_(ms) {}
  std::int64_t ms_ = 0;
};

// Binary contents of a blob column.
struct Bytes {
  std::string data;
  bool operator==(const Bytes&) const = default;
};

// Null is std::monostate. Text is UTF-8.
using Value = std::variant<std::monostate, std::string, double, std::int64_t, DateTime, Bytes>;

inline bool IsNull(const Value& v) {
  return std::holds_alternative<std::monostate>(v);
}

// A visitor of one function per alternative: std::visit(Overloaded{[](double d) {...}, ...}, v).
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
// Spelled out for compilers that do not deduce an aggregate's arguments yet.
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace ger
