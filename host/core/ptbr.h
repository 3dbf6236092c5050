#pragma once
// Brazilian Portuguese number and date texts: decimal comma, "." as thousands separator in
// display formats, dates as dd/mm/yyyy.
#include <optional>
#include <string>
#include <string_view>

#include "core/value.h"

namespace ger::ptbr {

// General format, as the plain conversion of a number to text: shortest text that reads back
// the same value, up to 15 significant digits, decimal comma, no thousands separator
// (2.5 → "2,5", 2 → "2", -0.125 → "-0,125", 1e20 → "1E20").
std::string FormatFloat(double value);
// A display format of the platform's notation: "#,##0.000" (1234.5 → "1.234,500"), "#,##0.00",
// "0.00", "#"; an empty format is the general format.
std::string FormatFloat(double value, std::string_view format);
// Strict: optional sign, digits, at most one decimal comma, optional exponent ("1,5", "-2",
// "1,5E3"); surrounding blanks allowed. nullopt for anything else ("1.5", "abc", "").
std::optional<double> ParseFloat(std::string_view text);
std::optional<long long> ParseInteger(std::string_view text);

// A value as plain text: numbers in the general format, dates by FormatDateTime, null empty,
// blob contents as "(BLOB)".
std::string ValueText(const Value& value);

// "dd/mm/yyyy"; FormatDateTime adds " hh:nn:ss" when the time is not midnight.
std::string FormatDate(DateTime value);
std::string FormatDateTime(DateTime value);
// "dd/mm/yyyy" (also d/m/yyyy and a two-digit year, read as 19xx from 50 and 20xx below), with an
// optional " hh:nn[:ss]". nullopt for an impossible date such as 31/02/2005.
std::optional<DateTime> ParseDate(std::string_view text);

}  // namespace ger::ptbr
