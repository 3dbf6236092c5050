// The state registration checked by each state's rules: the states' own worked examples pass,
// and every change of one digit in them is refused, except the changes a state's rule cannot
// see, which are named one by one below with the reason.
#include "core/inscricao_estadual.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace ger::Consiste {
namespace {

// A registration, and what a single change of a digit may leave valid because the state's rule
// itself cannot see it: the positions (in the text as written) that the rule leaves out of
// every check, and the changed texts whose sums happen to give the same check digit.
struct Exemplo {
  const char* uf;
  const char* ie;
  std::function<bool(std::size_t pos)> foraDaConta = nullptr;
  std::set<std::string> mesmoDigito = {};
};

// Where each comes from: the worked example of the state's published rule (SINTEGRA's page of
// the state, or the state's own page where named).
const std::vector<Exemplo>& Exemplos() {
  static const std::vector<Exemplo> kList = {
      {"AC", "01.004.823/001-12"},
      {"AL", "24000004-8"},
      // 03712345 leaves the range 03000001-03017000: p falls from 5 to 0 while the sum grows by
      // 7 x 7 = 49, and 49 - 5 = 44 is a multiple of 11.
      {"AP", "03.012.345-9", nullptr, {"03.712.345-9"}},
      {"AM", "04.117.161-6"},
      // SEFAZ-BA's page: 8 digits, modulus 10 and 11; 9 digits, modulus 10 and 11.
      {"BA", "123456-63"},
      {"BA", "612345-57"},
      {"BA", "1234567-48"},
      // A second digit of 3 instead of 6 turns the rule to modulus 10, which gives 51 as well.
      {"BA", "1623456-51", nullptr, {"1323456-51"}},
      {"CE", "06000001-5"},
      {"DF", "07300001001-09"},
      // The digit is 0 for a remainder of 0 or 1, and this example's remainder is 0: a change
      // whose weight times its difference leaves 1 more modulo 11 keeps the digit (9 x -6,
      // 8 x -4, 7 x -3, 6 x -9, 5 x -2, 4 x -8, 3 x -7, 2 x -5).
      {"ES",
       "999999990",
       nullptr,
       {"399999990", "959999990", "996999990", "999099990", "999979990", "999991990", "999999290",
        "999999940"}},
      {"GO", "10.987.654-7"},
      {"MA", "12000038-5"},
      {"MT", "0013000001-9"},
      {"MS", "283115947"},
      {"MG", "062.307.904/0081"},
      {"PA", "15-999999-5"},
      {"PB", "06000001-5"},
      // SEFA-PR's page "Cálculo do dígito verificador".
      {"PR", "123.45678-50"},
      // eFisco, and the 14-digit form it replaced.
      {"PE", "0321418-40"},
      {"PE", "18.1.001.0000004-9"},
      {"PI", "19.301.656-7"},
      {"RJ", "99.999.99-3"},
      {"RN", "20.040.040-1"},
      // (sum x 10) mod 11 is 0 for a sum of 0 modulo 11 and 10, also written 0, for 1: this
      // example's sum is 1 modulo 11, so changes that bring it to 0 keep the digit.
      {"RN",
       "20.0.040.040-0",
       nullptr,
       {"20.0.020.040-0", "20.0.040.000-0", "20.0.040.045-0", "20.0.040.840-0", "20.0.042.040-0",
        "20.0.340.040-0", "20.4.040.040-0"}},
      {"RS", "224/3658792"},
      // SEFIN-RO: the form before August 2000 and the same company in the form after it.
      // The municipality (first three digits) is not weighed.
      {"RO", "101.62521-3", [](std::size_t pos) { return pos < 3; }},
      {"RO", "0000000062521-3"},
      // Modulus 9: a 0 turned into 9 adds a multiple of 9 whatever its weight, and so do the
      // weights 3 and 6 times a difference of 3 or 6.
      {"RR",
       "24006628-1",
       nullptr,
       {"24306628-1", "24606628-1", "24906628-1", "24096628-1", "24006028-1", "24006328-1",
        "24006928-1"}},
      {"SC", "251.040.852"},
      {"SP", "110.042.490.114"},
      // Only the ninth digit is checked: the three after it are not.
      {"SP", "P-01100424.3/002", [](std::size_t pos) { return pos > 12; }},
      {"SE", "27123456-3"},
      // The kind of company (third and fourth digits) is left out of the sum.
      // The kind is left out of the sum: 01, 02 and 03 are all allowed kinds.
      {"TO", "29 01 022783 6", nullptr, {"29 02 022783 6", "29 03 022783 6"}},
      // The same company in the 9-digit form, without the kind.
      {"TO", "29 022783 6"},
  };
  return kList;
}

TEST(InscricaoEstadual, EachStatesOwnExamplesPass) {
  for (const Exemplo& e : Exemplos())
    EXPECT_EQ(ConfereInscEstadual(e.ie, e.uf), InscEstadual::Valida) << e.uf << " " << e.ie;
}

TEST(InscricaoEstadual, EverySingleDigitChangeIsRefused) {
  for (const Exemplo& e : Exemplos()) {
    const std::string ie = e.ie;
    for (std::size_t pos = 0; pos < ie.size(); ++pos) {
      if (ie[pos] < '0' || ie[pos] > '9') continue;
      for (char digit = '0'; digit <= '9'; ++digit) {
        if (digit == ie[pos]) continue;
        std::string changed = ie;
        changed[pos] = digit;
        const bool seen = !(e.foraDaConta && e.foraDaConta(pos)) && !e.mesmoDigito.count(changed);
        EXPECT_EQ(ConfereInscEstadual(changed, e.uf),
                  seen ? InscEstadual::Invalida : InscEstadual::Valida)
            << e.uf << " " << changed << " (from " << ie << ")";
      }
    }
  }
}

TEST(InscricaoEstadual, ExemptSeparatorsOtherCharactersAndStatesWithoutRules) {
  for (const char* isento : {"ISENTO", "isento", " Isento "}) {
    EXPECT_TRUE(InscEstadualIsenta(isento)) << isento;
    EXPECT_EQ(ConfereInscEstadual(isento, "SP"), InscEstadual::Valida) << isento;
    EXPECT_EQ(ConfereInscEstadual(isento, "EX"), InscEstadual::Valida) << isento;
  }
  EXPECT_FALSE(InscEstadualIsenta("ISENTA"));
  // Dots, hyphens, slashes and blanks are left out; nothing else is.
  EXPECT_EQ(ConfereInscEstadual(" 110 042 490-114/ ", "SP"), InscEstadual::Valida);
  EXPECT_EQ(ConfereInscEstadual("110,042,490,114", "SP"), InscEstadual::Invalida);
  EXPECT_EQ(ConfereInscEstadual("110042490114A", "SP"), InscEstadual::Invalida);
  EXPECT_EQ(ConfereInscEstadual("", "SP"), InscEstadual::Invalida);
  EXPECT_EQ(ConfereInscEstadual("-./", "SP"), InscEstadual::Invalida);
  // The rural producer's "P" is São Paulo's only, and only in front.
  EXPECT_EQ(ConfereInscEstadual("P999999990", "ES"), InscEstadual::Invalida);
  EXPECT_EQ(ConfereInscEstadual("01100424P3002", "SP"), InscEstadual::Invalida);
  // A digit too many or too few.
  EXPECT_EQ(ConfereInscEstadual("1100424901140", "SP"), InscEstadual::Invalida);
  EXPECT_EQ(ConfereInscEstadual("99999999", "ES"), InscEstadual::Invalida);
  // Mato Grosso's shorter numbers are read with zeros on the left.
  EXPECT_EQ(ConfereInscEstadual("130000019", "MT"), InscEstadual::Valida);
  // Fixed beginnings: the right digits behind another beginning are refused.
  EXPECT_EQ(ConfereInscEstadual("25006628-1", "RR"), InscEstadual::Invalida);
  // Lower case is not a state; a foreign or unknown one has no rule.
  EXPECT_EQ(ConfereInscEstadual("110.042.490.114", "sp"), InscEstadual::SemRegra);
  EXPECT_EQ(ConfereInscEstadual("123", "EX"), InscEstadual::SemRegra);
  EXPECT_EQ(ConfereInscEstadual("123", ""), InscEstadual::SemRegra);
}

// Goiás: a remainder of 1 gives 1 inside 10103105-10119997 and 0 outside; 11094402 may end in
// either.
TEST(InscricaoEstadual, GoiasRangeAndItsSpecialNumber) {
  EXPECT_EQ(ConfereInscEstadual("10.103.105-1", "GO"), InscEstadual::Valida);
  EXPECT_EQ(ConfereInscEstadual("10.103.105-0", "GO"), InscEstadual::Invalida);
  EXPECT_EQ(ConfereInscEstadual("10.120.003-0", "GO"), InscEstadual::Valida);
  EXPECT_EQ(ConfereInscEstadual("10.120.003-1", "GO"), InscEstadual::Invalida);
  EXPECT_EQ(ConfereInscEstadual("11.094.402-0", "GO"), InscEstadual::Valida);
  EXPECT_EQ(ConfereInscEstadual("11.094.402-1", "GO"), InscEstadual::Valida);
  EXPECT_EQ(ConfereInscEstadual("11.094.402-2", "GO"), InscEstadual::Invalida);
  EXPECT_EQ(ConfereInscEstadual("12.987.654-7", "GO"), InscEstadual::Invalida);
}

// Bahia: a deciding digit of 8 takes modulus 10 like 0 to 5 (worked by hand by SEFAZ-BA's
// formula; modulus 11 would give 1823456-69).
TEST(InscricaoEstadual, BahiaDecidingDigitEightTakesModulusTen) {
  EXPECT_EQ(ConfereInscEstadual("1823456-56", "BA"), InscEstadual::Valida);
  EXPECT_EQ(ConfereInscEstadual("1823456-69", "BA"), InscEstadual::Invalida);
}

}  // namespace
}  // namespace ger::Consiste
