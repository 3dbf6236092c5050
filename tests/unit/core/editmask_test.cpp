// Edit masks as the screens' boxes use them: typing, refusing, literals, stored text.
#include <gtest/gtest.h>

#include "core/editmask.h"

namespace {

using ger::EditMask;

struct MaskCase {
  const char* mask;
  const char* typed;
  const char* shown;
  const char* stored;
};

// Every mask of the screens, typed from an empty box.
TEST(EditMaskTest, ScreenMasksTypedShownStored) {
  const MaskCase cases[] = {
      {">aa;0; ", "a1", "A1", "A1"},
      {">aa;0; ", "7", "7 ", "7"},
      {"9999;0; ", "76", "76  ", "76"},
      {"9999;0; ", "1058", "1058", "1058"},
      {"ll>;0; ", "sp", "sp", "sp"},
      {"999999;0; ", "123", "123   ", "123"},
      {"99;0; ", "5", "5 ", "5"},
      {"!999\\-9;0; ", "2062", "206-2", "2062"},
      {"!999\\-9;0;_", "2062", "206-2", "2062"},
      {"9999-9/99;0; ", "6201501", "6201-5/01", "6201501"},
      {"9999-9\\/99;0; ", "6201501", "6201-5/01", "6201501"},
      {"99.999.999/9999-99;0; ", "11222333000181", "11.222.333/0001-81", "11222333000181"},
      {"999.999.999-99;0; ", "12345678909", "123.456.789-09", "12345678909"},
      {"99999999999999999999;0; ", "12345678901234567890", "12345678901234567890",
       "12345678901234567890"},
      // Typing the separators along is accepted and changes nothing.
      {"9999-9/99;0; ", "6201-5/01", "6201-5/01", "6201501"},
      {"99.999.999/9999-99;0; ", "11.222.333/0001-81", "11.222.333/0001-81", "11222333000181"},
      // Characters past the last position, and refused ones, are dropped.
      {"99;0; ", "123", "12", "12"},
      {"9999;0; ", "1a2b", "12  ", "12"},
      {"ll>;0; ", "s1p", "sp", "sp"},
  };
  for (const auto& c : cases) {
    const EditMask m(c.mask);
    SCOPED_TRACE(c.mask);
    const std::string shown = m.TypeAll(c.typed);
    EXPECT_EQ(shown, c.shown) << c.typed;
    EXPECT_EQ(m.Unformat(shown), c.stored);
    EXPECT_EQ(m.Format(c.stored), c.shown);
  }
}

TEST(EditMaskTest, ParsesFields) {
  const EditMask cnae("9999-9\\/99;0; ");
  EXPECT_FALSE(cnae.IsEmpty());
  EXPECT_FALSE(cnae.SaveLiterals());
  EXPECT_EQ(cnae.Blank(), U' ');
  EXPECT_EQ(cnae.Length(), 9u);
  EXPECT_EQ(cnae.Positions()[6].kind, EditMask::Kind::Literal);
  EXPECT_EQ(cnae.Positions()[6].literal, U'/');

  const EditMask nat("!999\\-9;0;_");
  EXPECT_TRUE(nat.RightAligned());
  EXPECT_EQ(nat.Blank(), U'_');
  EXPECT_EQ(nat.Length(), 5u);

  const EditMask defaults("99/99");
  EXPECT_TRUE(defaults.SaveLiterals());
  EXPECT_EQ(defaults.Blank(), U'_');

  EXPECT_TRUE(EditMask("").IsEmpty());
  EXPECT_TRUE(EditMask().IsEmpty());
  // An escaped ";" is part of the mask, not a field separator.
  const EditMask semi("9\\;9;0;*");
  EXPECT_EQ(semi.Length(), 3u);
  EXPECT_EQ(semi.Blank(), U'*');
  EXPECT_EQ(semi.Format("12"), "1;2");
}

TEST(EditMaskTest, UnfilledPositionsShowBlankAndAreNeverStored) {
  const EditMask nat("!999\\-9;0;_");
  EXPECT_EQ(nat.Format(""), "___-_");
  EXPECT_EQ(nat.Unformat("___-_"), "");
  EXPECT_EQ(nat.TypeAll("20"), "20_-_");
  EXPECT_EQ(nat.Unformat("20_-_"), "20");
  // A short value under "!" fills the last positions, and reads back the same.
  EXPECT_EQ(nat.Format("206"), "_20-6");
  EXPECT_EQ(nat.Unformat(nat.Format("206")), "206");

  const EditMask cnae("9999-9/99;0; ");
  EXPECT_EQ(cnae.Format(""), "    - /  ");
  EXPECT_EQ(cnae.Format("62"), "62  - /  ");
  EXPECT_EQ(cnae.Unformat("62  - /  "), "62");
  EXPECT_EQ(cnae.Unformat(""), "");
  // A gap in the middle is closed, never stored as a blank.
  EXPECT_EQ(cnae.Unformat("62 1-5/01"), "621501");
}

TEST(EditMaskTest, RefusesWhatThePositionDoesNotTake) {
  const EditMask digits("9999;0; ");
  const auto r = digits.Type("12  ", 2, 0, U'x');
  EXPECT_FALSE(r.accepted);
  EXPECT_EQ(r.text, "12  ");
  EXPECT_EQ(r.caret, 2u);
  EXPECT_FALSE(digits.Type("12  ", 2, 0, U'-').accepted);
  EXPECT_FALSE(digits.Type("1234", 4, 0, U'5').accepted);  // box full, caret at the end

  const EditMask state("ll>;0; ");
  EXPECT_FALSE(state.Type("  ", 0, 0, U'1').accepted);
  EXPECT_TRUE(state.Type("  ", 0, 0, U'ç').accepted);  // accented letters are letters

  const EditMask code(">aa;0; ");
  EXPECT_FALSE(code.Type("  ", 0, 0, U'-').accepted);
  EXPECT_FALSE(code.Type("  ", 0, 0, U' ').accepted);
  EXPECT_EQ(code.Type("  ", 0, 0, U'é').text, "É ");

  const EditMask sign("#9;0;_");
  EXPECT_TRUE(sign.Type("__", 0, 0, U'-').accepted);
  EXPECT_FALSE(sign.Type("__", 1, 0, U'-').accepted);

  // A literal typed where the caret is not at that literal is refused.
  const EditMask cnpj("99.999.999/9999-99;0; ");
  EXPECT_FALSE(cnpj.Type(cnpj.Format("1"), 1, 0, U'.').accepted);
}

TEST(EditMaskTest, TypingSkipsLiteralsAndOverwrites) {
  const EditMask cnae("9999-9/99;0; ");
  auto r = cnae.Type("620 - /  ", 3, 0, U'1');
  EXPECT_EQ(r.text, "6201- /  ");
  EXPECT_EQ(r.caret, 5u);  // past the "-"
  // Caret on a literal: the digit goes to the next input position.
  r = cnae.Type("6201- /  ", 4, 0, U'5');
  EXPECT_EQ(r.text, "6201-5/  ");
  EXPECT_EQ(r.caret, 7u);
  // Overwrite mode: the character at the caret is replaced.
  r = cnae.Type("6201-5/01", 0, 0, U'7');
  EXPECT_EQ(r.text, "7201-5/01");
  EXPECT_EQ(r.caret, 1u);
  // The caret counts characters: a blank that is a multi-byte character does not shift it.
  const EditMask dots("99-99;0;·");
  r = dots.Type("1·-··", 1, 0, U'2');
  EXPECT_EQ(r.text, "12-··");
  EXPECT_EQ(r.caret, 3u);
  EXPECT_EQ(dots.Unformat("12-··"), "12");
}

TEST(EditMaskTest, TypingOverASelectionClearsIt) {
  const EditMask cnpj("99.999.999/9999-99;0; ");
  const std::string full = "11.222.333/0001-81";
  auto r = cnpj.Type(full, 0, 18, U'4');
  EXPECT_EQ(r.text, "4 .   .   /    -  ");
  EXPECT_EQ(cnpj.Unformat(r.text), "4");
  // A refused key leaves the selection's text in place.
  r = cnpj.Type(full, 0, 18, U'x');
  EXPECT_FALSE(r.accepted);
  EXPECT_EQ(r.text, full);
}

TEST(EditMaskTest, CaseConversion) {
  EXPECT_EQ(EditMask(">aa;0; ").TypeAll("ab"), "AB");
  EXPECT_EQ(EditMask(">aa;0; ").TypeAll("çã"), "ÇÃ");
  EXPECT_EQ(EditMask("<LL;0;_").TypeAll("AB"), "ab");
  EXPECT_EQ(EditMask(">L<>L<L;0;_").TypeAll("abC"), "Abc");
  EXPECT_EQ(EditMask(">L<>L;0;_").TypeAll("aB"), "AB");
}

TEST(EditMaskTest, BackspaceAndDelete) {
  const EditMask nat("!999\\-9;0;_");
  // Backspace right after the literal removes the digit before it.
  auto r = nat.Backspace("206-2", 4, 0);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "202-_");
  EXPECT_EQ(r.caret, 2u);
  EXPECT_EQ(nat.Unformat(r.text), "202");
  r = nat.Backspace("206-2", 5, 0);
  EXPECT_EQ(r.text, "206-_");
  EXPECT_EQ(r.caret, 4u);
  EXPECT_FALSE(nat.Backspace("206-2", 0, 0).accepted);

  const EditMask cnae("9999-9/99;0; ");
  // What the box shows after a deletion is what will be stored.
  r = cnae.Backspace("6201-5/01", 1, 0);
  EXPECT_EQ(r.text, "2015-0/1 ");
  EXPECT_EQ(r.caret, 0u);
  EXPECT_EQ(cnae.Format(cnae.Unformat(r.text)), r.text);
  r = cnae.Delete("6201-5/01", 4, 0);  // on the literal: deletes the "5"
  EXPECT_EQ(r.text, "6201-0/1 ");
  EXPECT_EQ(r.caret, 4u);
  EXPECT_FALSE(cnae.Delete("6201-5/01", 9, 0).accepted);
  r = cnae.Delete("6201-5/01", 2, 5);  // "01-5/" selected
  EXPECT_EQ(r.text, "6201- /  ");      // "01" moves into the removed places
  r = cnae.Backspace("6201-5/01", 0, 9);
  EXPECT_EQ(r.text, cnae.Format(""));

  // A character that would land in a position refusing it is cleared instead of moved.
  const EditMask mixed("L9;0;_");
  r = mixed.Delete("A1", 0, 0);
  EXPECT_EQ(r.text, "_1");
}

TEST(EditMaskTest, RequiredPositions) {
  const EditMask m("00/LL;1;_");
  EXPECT_FALSE(m.IsComplete("1_/A_"));
  EXPECT_EQ(m.Missing("1_/A_"), (std::vector<std::size_t>{1, 4}));
  EXPECT_TRUE(m.IsComplete("12/AB"));
  // Optional positions never make a box incomplete.
  const EditMask cnpj("99.999.999/9999-99;0; ");
  EXPECT_TRUE(cnpj.IsComplete(cnpj.Format("")));
}

TEST(EditMaskTest, SavedLiterals) {
  const EditMask m("99/99;1;_");
  EXPECT_EQ(m.Unformat("12/34"), "12/34");
  EXPECT_EQ(m.Unformat("1_/__"), "1");  // nothing typed after the literal
  EXPECT_EQ(m.Unformat("__/__"), "");
  EXPECT_EQ(m.Format("12/34"), "12/34");
  EXPECT_EQ(m.Format("1/34"), "1_/34");  // the missing digit stays unfilled
  EXPECT_EQ(m.Format("1234"), "12/34");  // a stored text without its literals still fits
  EXPECT_EQ(m.Unformat(m.Format("1/34")), "1/34");
}

TEST(EditMaskTest, EmptyMaskIsAPlainBox) {
  const EditMask m;
  EXPECT_EQ(m.Format("Ação"), "Ação");
  EXPECT_EQ(m.Unformat("Ação "), "Ação ");
  auto r = m.Type("Aão", 1, 0, U'ç');
  EXPECT_EQ(r.text, "Ação");
  EXPECT_EQ(r.caret, 2u);
  r = m.Backspace("Ação", 2, 0);
  EXPECT_EQ(r.text, "Aão");
  EXPECT_EQ(r.caret, 1u);
  r = m.Delete("Ação", 1, 2);
  EXPECT_EQ(r.text, "Ao");
  EXPECT_TRUE(m.IsComplete(""));
}

TEST(EditMaskTest, ShortOrLongShownTextsAreReadSafely) {
  const EditMask cnae("9999-9/99;0; ");
  EXPECT_EQ(cnae.Unformat("62"), "62");
  EXPECT_EQ(cnae.Unformat("6201-5/01999"), "6201501");
  const auto r = cnae.Type("", 50, 3, U'1');
  EXPECT_FALSE(r.accepted);
  EXPECT_EQ(cnae.Format("62015019999"), "6201-5/01");
}

}  // namespace
