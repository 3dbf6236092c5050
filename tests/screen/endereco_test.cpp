// The address line split into street, number and complement at every post.
#include <gtest/gtest.h>

#include "Ger00200/ger00200_endereco.h"

namespace ger::empresa {
namespace {

struct Split {
  const char* line;
  const char* street;
  const char* number;
  const char* complement;
};

TEST(SeparaEndereco, SplitsAtTheFirstCommaThenAtAHyphenOrASecondComma) {
  const Split cases[] = {
      // The number keeps the blank before the hyphen; the complement is trimmed.
      {"Rua das Flores, 120 - Sala 3", "Rua das Flores", "120 ", "Sala 3"},
      {"Av. Brasil, 45, Fundos", "Av. Brasil", "45", "Fundos"},
      {"Rua A, 10-B", "Rua A", "10", "B"},
      // The hyphen wins over a later comma, and the street is kept as typed.
      {" Rua B ,  7-A, fundos ", " Rua B ", "7", "A, fundos"},
      // The placeholder of an empty address, and a line without a comma: nothing but the line.
      {"*", "", "", ""},
      {"Estrada velha sem número", "", "", ""},
      // A rest with neither separator is all number.
      {"Rua das Flores, 120", "Rua das Flores", "120", ""},
      {"Rua C,", "Rua C", "", ""},
  };
  for (const Split& c : cases) {
    const PartesEndereco p = SeparaEndereco(c.line);
    EXPECT_EQ(p.logradouro, c.street) << c.line;
    EXPECT_EQ(p.numero, c.number) << c.line;
    EXPECT_EQ(p.complemento, c.complement) << c.line;
  }
}

}  // namespace
}  // namespace ger::empresa
