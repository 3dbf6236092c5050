// UTF-8 helpers, dates and pt-BR numbers.
#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "core/ptbr.h"
#include "core/utf8.h"
#include "core/value.h"

namespace {

using namespace ger;

TEST(Utf8, LengthsCountCharactersNotBytes) {
  EXPECT_EQ(utf8::Length(""), 0u);
  EXPECT_EQ(utf8::Length("Município"), 9u);
  EXPECT_EQ(utf8::Length("Ação"), 4u);
  EXPECT_EQ(std::string("Ação").size(), 6u);
  EXPECT_EQ(utf8::Length("€"), 1u);                 // three bytes
  EXPECT_EQ(utf8::Length("\xF0\x9F\x98\x80"), 1u);  // four bytes
  // A malformed byte is one character, and a cut sequence does not swallow what follows.
  EXPECT_EQ(utf8::Length("a\xE7"
                         "b"),
            3u);
  EXPECT_EQ(utf8::Length("\xC3"), 1u);
  // Overlong encoding of "/" is not a character: two malformed bytes.
  EXPECT_EQ(utf8::Length("\xC0\xAF"), 2u);
}

TEST(Utf8, SlicesByCharacter) {
  EXPECT_EQ(utf8::Left("Ação", 2), "Aç");
  EXPECT_EQ(utf8::Left("Ação", 10), "Ação");
  EXPECT_EQ(utf8::Mid("São Paulo", 1, 3), "ão ");
  EXPECT_EQ(utf8::Mid("São Paulo", 4), "Paulo");
  EXPECT_EQ(utf8::Mid("São", 5), "");
  EXPECT_EQ(utf8::Offset("Ação", 2), 3u);
  EXPECT_EQ(utf8::Offset("Ação", 9), std::string("Ação").size());
}

TEST(Utf8, DecodeEncodeRoundTrip) {
  const std::string text = "Razão Social — ÇÃÕ € 😀";
  const std::u32string cps = utf8::Decode(text);
  EXPECT_EQ(cps.size(), utf8::Length(text));
  EXPECT_EQ(cps[3], U'ã');
  EXPECT_EQ(utf8::Encode(cps), text);
  std::string out;
  utf8::Append(out, 0xD800);  // a lone surrogate cannot be written as UTF-8
  EXPECT_EQ(out, "\xEF\xBF\xBD");
  // A legacy Windows-1252 byte reads as its character.
  EXPECT_EQ(utf8::Decode("\xE7\x80"), (std::u32string{U'ç', U'€'}));
  EXPECT_EQ(utf8::FromLegacy("A\xE7\xFA"
                             "car \x96 Ra\xE7\xE3o"),
            "Açúcar – Ração");
  EXPECT_EQ(utf8::FromLegacy("já é UTF-8 \xE2\x80\x93"), "já é UTF-8 –");
  EXPECT_TRUE(utf8::IsWellFormed("ação – 😀"));
  for (const char* bad : {"\xE9", "a\xC3", "\xED\xA0\x80", "\xC0\xAF", "\x80"})
    EXPECT_FALSE(utf8::IsWellFormed(bad)) << bad;
}

TEST(Utf8, CaseOfPortugueseLetters) {
  EXPECT_EQ(utf8::ToUpper("ação é útil, çà âêô ãõ ü"), "AÇÃO É ÚTIL, ÇÀ ÂÊÔ ÃÕ Ü");
  EXPECT_EQ(utf8::ToLower("AÇÃO É ÚTIL, ÇÀ ÂÊÔ ÃÕ Ü"), "ação é útil, çà âêô ãõ ü");
  EXPECT_EQ(utf8::ToUpper(U'÷'), U'÷');
  EXPECT_EQ(utf8::ToLower(U'×'), U'×');
  EXPECT_EQ(utf8::ToUpper(U'ÿ'), U'Ÿ');
  EXPECT_EQ(utf8::ToUpper(U'œ'), U'Œ');
  EXPECT_EQ(utf8::ToLower(U'Ž'), U'ž');
  EXPECT_EQ(utf8::ToUpper(U'ß'), U'ß');
  EXPECT_EQ(utf8::ToUpper("1-2/x"), "1-2/X");
  // Malformed bytes survive a case change untouched.
  EXPECT_EQ(utf8::ToUpper("a\xE7z"), "A\xE7Z");
}

// The one case-insensitive comparison: letters without case, accents still count.
TEST(Utf8, SameTextIgnoresCaseOnly) {
  EXPECT_TRUE(utf8::SameText("dbeCdEmpresa", "DBECDEMPRESA"));
  EXPECT_TRUE(utf8::SameText("Content-Length", "content-length"));
  EXPECT_TRUE(utf8::SameText("ação útil", "AÇÃO ÚTIL"));
  EXPECT_TRUE(utf8::SameText("ÿ", "Ÿ"));  // two bytes each side, different code points
  EXPECT_TRUE(utf8::SameText("", ""));
  EXPECT_FALSE(utf8::SameText("acao", "ação"));
  EXPECT_FALSE(utf8::SameText("CDEMPRESA", "CDEMPRES"));
  EXPECT_FALSE(utf8::SameText("CDEMPRES", "CDEMPRESA"));
  EXPECT_FALSE(utf8::SameText("a_b", "a-b"));
  // '@' and '`' sit next to the capitals and the small letters: no folding for them.
  EXPECT_FALSE(utf8::SameText("@", "`"));
  // A malformed byte equals only itself, never the character it would stand for.
  EXPECT_TRUE(utf8::SameText("a\xE7z", "A\xE7Z"));
  EXPECT_FALSE(utf8::SameText("a\xE7z", "açz"));
  EXPECT_FALSE(utf8::SameText("\xC3", "\xC3\xA7"));  // a sequence cut short
}

TEST(Utf8, FoldKeyAndTrim) {
  EXPECT_EQ(utf8::FoldKey("São  Paulo "), "SAO  PAULO ");
  EXPECT_EQ(utf8::FoldKey("Goiânia"), utf8::FoldKey("GOIANIA"));
  EXPECT_EQ(utf8::FoldKey("açúcar"), "ACUCAR");
  EXPECT_EQ(utf8::Trim("  \t x y \r\n"), "x y");
  EXPECT_EQ(utf8::Trim("   "), "");
  EXPECT_EQ(utf8::Trim(""), "");
}

TEST(DateTimeTest, ValidityAndLeapYears) {
  EXPECT_TRUE(DateTime::IsValidDate(2004, 2, 29));
  EXPECT_FALSE(DateTime::IsValidDate(2005, 2, 29));
  EXPECT_FALSE(DateTime::IsValidDate(1900, 2, 29));
  EXPECT_TRUE(DateTime::IsValidDate(2000, 2, 29));
  EXPECT_FALSE(DateTime::IsValidDate(2005, 2, 31));
  EXPECT_FALSE(DateTime::IsValidDate(2005, 4, 31));
  EXPECT_TRUE(DateTime::IsValidDate(2005, 12, 31));
  EXPECT_FALSE(DateTime::IsValidDate(2005, 13, 1));
  EXPECT_FALSE(DateTime::IsValidDate(2005, 0, 1));
  EXPECT_FALSE(DateTime::IsValidDate(2005, 1, 0));
  EXPECT_FALSE(DateTime::IsValidDate(0, 1, 1));
}

TEST(DateTimeTest, PartsAndMillis) {
  EXPECT_EQ(DateTime::FromParts(1970, 1, 1).Millis(), 0);
  EXPECT_EQ(DateTime::FromParts(1970, 1, 2, 0, 0, 1, 5).Millis(), 86'401'005);
  EXPECT_EQ(DateTime::FromParts(1969, 12, 31, 23, 59, 59).Millis(), -1000);
  const auto p = DateTime::FromParts(1969, 12, 31, 23, 59, 59).Split();
  EXPECT_EQ(p.year, 1969);
  EXPECT_EQ(p.day, 31);
  EXPECT_EQ(p.hour, 23);
  EXPECT_EQ(p.second, 59);
  // One day apart across the leap day and across a century that is not leap.
  EXPECT_EQ(DateTime::FromParts(2004, 3, 1).Millis() - DateTime::FromParts(2004, 2, 28).Millis(),
            2 * 86'400'000LL);
  EXPECT_EQ(DateTime::FromParts(1900, 3, 1).Millis() - DateTime::FromParts(1900, 2, 28).Millis(),
            86'400'000LL);
  EXPECT_LT(DateTime::FromParts(2005, 1, 1), DateTime::FromParts(2005, 1, 2));
  EXPECT_THROW(DateTime::FromParts(2005, 2, 29), EConvertError);
  EXPECT_THROW(DateTime::FromParts(2005, 1, 1, 24), EConvertError);
}

TEST(DateTimeTest, IsoRoundTrip) {
  const auto dt = DateTime::FromParts(2005, 2, 28, 13, 45, 0);
  EXPECT_EQ(dt.ToIso(), "2005-02-28T13:45:00");
  EXPECT_EQ(DateTime::FromParts(2004, 2, 29, 0, 0, 0, 123).ToIso(), "2004-02-29T00:00:00.123");
  for (const char* iso : {"0001-01-01T00:00:00", "1600-02-29T12:00:00", "1899-12-30T00:00:00",
                          "2004-02-29T23:59:59.999", "9999-12-31T23:59:59"}) {
    const auto back = DateTime::FromIso(iso);
    ASSERT_TRUE(back) << iso;
    EXPECT_EQ(back->ToIso(), iso);
  }
  EXPECT_EQ(DateTime::FromIso("2005-02-28"), DateTime::FromParts(2005, 2, 28));
  EXPECT_EQ(DateTime::FromIso("2005-02-28 13:45:00.5"),
            DateTime::FromParts(2005, 2, 28, 13, 45, 0, 500));
  EXPECT_EQ(DateTime::FromIso("2005-02-28 13:45:00.123456"),
            DateTime::FromParts(2005, 2, 28, 13, 45, 0, 123));
  for (const char* bad :
       {"", "2005-02-29", "2005-13-01", "2005-2-28", "2005-02-28T25:00:00", "2005-02-28T13:45",
        "2005-02-28X13:45:00", "2005-02-28T13:45:00Z", "2005-02-28T13:45:00.", "abcd-ef-gh"})
    EXPECT_FALSE(DateTime::FromIso(bad)) << bad;
}

TEST(PtBr, GeneralFormat) {
  EXPECT_EQ(ptbr::FormatFloat(2.5), "2,5");
  EXPECT_EQ(ptbr::FormatFloat(2), "2");
  EXPECT_EQ(ptbr::FormatFloat(-0.125), "-0,125");
  EXPECT_EQ(ptbr::FormatFloat(1e20), "1E20");
  EXPECT_EQ(ptbr::FormatFloat(0.0), "0");
  EXPECT_EQ(ptbr::FormatFloat(-0.0), "0");
  EXPECT_EQ(ptbr::FormatFloat(0.1 + 0.2), "0,3");
  EXPECT_EQ(ptbr::FormatFloat(1.0 / 3.0), "0,333333333333333");
  EXPECT_EQ(ptbr::FormatFloat(123456789012345.0), "123456789012345");
  EXPECT_EQ(ptbr::FormatFloat(1e15), "1E15");
  EXPECT_EQ(ptbr::FormatFloat(1234567890123456789.0), "1,23456789012346E18");
  EXPECT_EQ(ptbr::FormatFloat(0.00001), "0,00001");
  EXPECT_EQ(ptbr::FormatFloat(0.000001), "1E-6");
  EXPECT_EQ(ptbr::FormatFloat(-1.5e-7), "-1,5E-7");
  EXPECT_EQ(ptbr::FormatFloat(1000000.0), "1000000");
}

TEST(PtBr, DisplayFormats) {
  EXPECT_EQ(ptbr::FormatFloat(1234.5, "#,##0.000"), "1.234,500");
  EXPECT_EQ(ptbr::FormatFloat(1234567.891, "#,##0.00"), "1.234.567,89");
  EXPECT_EQ(ptbr::FormatFloat(-1234567.891, "#,##0.00"), "-1.234.567,89");
  EXPECT_EQ(ptbr::FormatFloat(999.9999, "#,##0.000"), "1.000,000");
  EXPECT_EQ(ptbr::FormatFloat(0, "#,##0.000"), "0,000");
  EXPECT_EQ(ptbr::FormatFloat(12, "#,##0.00"), "12,00");
  EXPECT_EQ(ptbr::FormatFloat(100000, "#,##0.00"), "100.000,00");
  EXPECT_EQ(ptbr::FormatFloat(0.1 + 0.2, "0.00"), "0,30");
  EXPECT_EQ(ptbr::FormatFloat(2.675, "0.00"), "2,68");  // rounds what the user typed
  EXPECT_EQ(ptbr::FormatFloat(1.005, "0.00"), "1,01");
  EXPECT_EQ(ptbr::FormatFloat(-2.5, "0"), "-3");  // half away from zero
  EXPECT_EQ(ptbr::FormatFloat(0.5, "0"), "1");
  EXPECT_EQ(ptbr::FormatFloat(-0.001, "0.00"), "0,00");  // no "-0,00"
  EXPECT_EQ(ptbr::FormatFloat(7, "#"), "7");
  EXPECT_EQ(ptbr::FormatFloat(7.5, "#"), "8");
  EXPECT_EQ(ptbr::FormatFloat(0, "#"), "");
  EXPECT_EQ(ptbr::FormatFloat(0, "0"), "0");
  EXPECT_EQ(ptbr::FormatFloat(0.5, "#.##"), ",5");
  EXPECT_EQ(ptbr::FormatFloat(2.5, ""), "2,5");
  EXPECT_EQ(ptbr::FormatFloat(-5, "0.0;(0.0);zero"), "(5,0)");
  EXPECT_EQ(ptbr::FormatFloat(0, "0.0;(0.0);\"zero\""), "zero");
  EXPECT_EQ(ptbr::FormatFloat(12.5, "0.0 '%'"), "12,5 %");
}

TEST(PtBr, StrictParse) {
  EXPECT_EQ(ptbr::ParseFloat("1,5"), 1.5);
  EXPECT_EQ(ptbr::ParseFloat("-2"), -2.0);
  EXPECT_EQ(ptbr::ParseFloat("1,5E3"), 1500.0);
  EXPECT_EQ(ptbr::ParseFloat(" +0,25 "), 0.25);
  EXPECT_EQ(ptbr::ParseFloat("2e-2"), 0.02);
  EXPECT_EQ(ptbr::ParseFloat(",5"), 0.5);
  EXPECT_EQ(ptbr::ParseFloat("0,1"), 0.1);
  for (const char* bad : {"1.5", "abc", "", "  ", "1,5,0", "1.234,5", "-", ",", "1E", "1E+", "1,5x",
                          "1 5", "1E999", "nan", "inf", "--1"})
    EXPECT_FALSE(ptbr::ParseFloat(bad)) << bad;
  // Formatting and parsing agree.
  for (double v : {0.1, -0.125, 2.5, 1e20, 1.5e-7, 123456.789, 0.1 + 0.2})
    EXPECT_EQ(ptbr::FormatFloat(*ptbr::ParseFloat(ptbr::FormatFloat(v))), ptbr::FormatFloat(v));

  EXPECT_EQ(ptbr::ParseInteger("42"), 42);
  EXPECT_EQ(ptbr::ParseInteger(" -7 "), -7);
  EXPECT_EQ(ptbr::ParseInteger("+7"), 7);
  EXPECT_EQ(ptbr::ParseInteger("9223372036854775807"), 9223372036854775807LL);
  for (const char* bad : {"", "-", "1,0", "1.0", "99999999999999999999", "1E3", "+-1", "0x10"})
    EXPECT_FALSE(ptbr::ParseInteger(bad)) << bad;
}

TEST(PtBr, Dates) {
  EXPECT_EQ(ptbr::FormatDate(DateTime::FromParts(2005, 2, 3, 10, 0)), "03/02/2005");
  EXPECT_EQ(ptbr::FormatDateTime(DateTime::FromParts(2005, 2, 3)), "03/02/2005");
  EXPECT_EQ(ptbr::FormatDateTime(DateTime::FromParts(2005, 2, 3, 9, 5, 7)), "03/02/2005 09:05:07");
  EXPECT_EQ(ptbr::ParseDate("29/02/2004"), DateTime::FromParts(2004, 2, 29));
  EXPECT_FALSE(ptbr::ParseDate("29/02/2005"));
  EXPECT_FALSE(ptbr::ParseDate("31/02/2005"));
  EXPECT_FALSE(ptbr::ParseDate("31/04/2005"));
  EXPECT_EQ(ptbr::ParseDate("1/2/2005"), DateTime::FromParts(2005, 2, 1));
  EXPECT_EQ(ptbr::ParseDate("01/02/49"), DateTime::FromParts(2049, 2, 1));
  EXPECT_EQ(ptbr::ParseDate("01/02/50"), DateTime::FromParts(1950, 2, 1));
  EXPECT_EQ(ptbr::ParseDate(" 03/02/2005 13:45 "), DateTime::FromParts(2005, 2, 3, 13, 45));
  EXPECT_EQ(ptbr::ParseDate("03/02/2005 13:45:30"), DateTime::FromParts(2005, 2, 3, 13, 45, 30));
  for (const char* bad :
       {"", "  /  /    ", "03/02/205", "03-02-2005", "03/02/2005 24:00", "03/02/2005 13",
        "03/02/2005x", "003/02/2005", "03/02/20055", "00/01/2005"})
    EXPECT_FALSE(ptbr::ParseDate(bad)) << bad;
  const auto d = DateTime::FromParts(1999, 12, 31, 23, 59, 58);
  EXPECT_EQ(ptbr::ParseDate(ptbr::FormatDateTime(d)), d);
}

}  // namespace
