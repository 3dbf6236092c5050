// The codec's single rules: one test of well-formed UTF-8 shared by the writer and the text
// routines, and one conversion of a value to a field kind shared by the readers and the dataset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <boost/json.hpp>

#include "core/utf8.h"
#include "data/packet.h"

namespace ger {
namespace {

TEST(Utf8Rule, WellFormedLengthRefusesEveryMalformedSequence) {
  struct Case {
    const char* text;
    std::size_t length;
  } cases[] = {
      {"A", 1},
      {"\xC3\xA7", 2},          // ç
      {"\xE2\x82\xAC", 3},      // €
      {"\xEF\xBF\xBF", 3},      // the last of the basic plane
      {"\xF0\x9F\x98\x80", 4},  // an emoji
      {"\xF4\x8F\xBF\xBF", 4},  // U+10FFFF
      {"\x80", 0},              // a lone continuation byte
      {"\xE9", 0},              // a Windows-1252 é
      {"\xC0\x80", 0},          // overlong
      {"\xC1\xBF", 0},          // overlong
      {"\xE0\x80\x80", 0},      // overlong
      {"\xF0\x8F\xBF\xBF", 0},  // overlong
      {"\xED\xA0\x80", 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0},  // past U+10FFFF
      {"\xF5\x80\x80\x80", 0},  // past U+10FFFF
      {"\xE2\x82", 0},          // cut short
      {"\xF0\x9F\x98", 0},      // cut short
      {"\xC3\x41", 0},          // not a continuation
  };
  for (const Case& c : cases) {
    const std::string s = c.text;
    EXPECT_EQ(utf8::WellFormedLength(s, 0), c.length) << testing::PrintToString(s);
    EXPECT_EQ(utf8::IsWellFormed(s), c.length == s.size()) << testing::PrintToString(s);
  }
}

// The writer keeps a well-formed sequence as it is and writes any other byte as its Windows-1252
// character: what a reader gets back is what the text routines make of the same bytes, for every
// lead byte followed by bytes on each side of every boundary the rule draws.
TEST(Utf8Rule, TheWriterAndTheTextRoutinesAgreeOnEveryShortSequence) {
  const std::vector<unsigned char> next = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90,
                                           0x9F, 0xA0, 0xBF, 0xC0, 0xF0, 0xFF};
  const std::vector<unsigned char> tail = {0x41, 0x80, 0x9F, 0xA0, 0xBF, 0xC3};
  int checked = 0;
  for (int lead = 0x80; lead <= 0xFF; ++lead)
    for (unsigned char b1 : next)
      for (unsigned char b2 : tail)
        for (unsigned char b3 : tail) {
          std::string s = {'x', static_cast<char>(lead), static_cast<char>(b1),
                           static_cast<char>(b2), static_cast<char>(b3)};
          boost::json::value read = boost::json::parse(codec::EncodeText(s));
          ASSERT_TRUE(read.is_string());
          ASSERT_EQ(std::string(read.get_string()), utf8::FromLegacy(s))
              << testing::PrintToString(s);
          ++checked;
        }
  EXPECT_EQ(checked, 128 * 12 * 6 * 6);
}

TEST(ValueConversion, OneConversionServesTheReadersAndTheDataset) {
  using codec::ConformValue;
  using codec::TextForm;
  auto conform = [](FieldKind kind, Value v, TextForm text = TextForm::Encoded) {
    Value before = v;
    bool ok = ConformValue(kind, v, text);
    if (!ok) {
      EXPECT_EQ(v, before) << "a refused value is left as it was";
    }
    return ok ? std::optional<Value>(v) : std::nullopt;
  };
  const DateTime day = DateTime::FromParts(2005, 2, 28, 13, 45);
  // Null fits every kind.
  for (FieldKind k : {FieldKind::String, FieldKind::Memo, FieldKind::Float, FieldKind::Integer,
                      FieldKind::DateTime, FieldKind::Blob})
    EXPECT_EQ(conform(k, Value{}), Value{});
  // Texts as the codec writes them.
  EXPECT_EQ(conform(FieldKind::Memo, std::string("a")), Value{std::string("a")});
  EXPECT_EQ(conform(FieldKind::DateTime, std::string("2005-02-28T13:45:00")), Value{day});
  EXPECT_EQ(conform(FieldKind::DateTime, std::string("2005-02-31")), std::nullopt);
  EXPECT_EQ(conform(FieldKind::Blob, std::string("AAEC")), Value{Bytes{std::string("\0\1\2", 3)}});
  EXPECT_EQ(conform(FieldKind::Blob, std::string("A!==")), std::nullopt);
  EXPECT_EQ(conform(FieldKind::Float, std::string("1")), std::nullopt);
  EXPECT_EQ(conform(FieldKind::Integer, std::string("1")), std::nullopt);
  // Texts already decoded: a blob takes the text's bytes; a date is never a text.
  EXPECT_EQ(conform(FieldKind::Blob, std::string("AAEC"), TextForm::Decoded), Value{Bytes{"AAEC"}});
  EXPECT_EQ(conform(FieldKind::DateTime, std::string("2005-02-28"), TextForm::Decoded),
            std::nullopt);
  EXPECT_EQ(conform(FieldKind::String, std::string("x"), TextForm::Decoded),
            Value{std::string("x")});
  // Numbers: a whole float in range is an integer; an integer is a float; neither is a text.
  EXPECT_EQ(conform(FieldKind::Integer, 2.0), Value{std::int64_t{2}});
  EXPECT_EQ(conform(FieldKind::Integer, 2.5), std::nullopt);
  EXPECT_EQ(conform(FieldKind::Integer, 1e19), std::nullopt);
  EXPECT_EQ(conform(FieldKind::Float, std::int64_t{7}), Value{7.0});
  EXPECT_EQ(conform(FieldKind::String, std::int64_t{7}), std::nullopt);
  EXPECT_EQ(conform(FieldKind::DateTime, 7.0), std::nullopt);
  // Dates and bytes fit only their own kinds.
  EXPECT_EQ(conform(FieldKind::DateTime, day), Value{day});
  EXPECT_EQ(conform(FieldKind::String, day), std::nullopt);
  EXPECT_EQ(conform(FieldKind::Blob, Bytes{"x"}), Value{Bytes{"x"}});
  EXPECT_EQ(conform(FieldKind::Memo, Bytes{"x"}, TextForm::Decoded), std::nullopt);
}

}  // namespace
}  // namespace ger
