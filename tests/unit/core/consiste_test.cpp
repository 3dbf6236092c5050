// The message catalogue and the pure Consiste routines.
#include <gtest/gtest.h>

#include <string>

#include "core/consiste_text.h"
#include "core/editmask.h"
#include "core/exceptions.h"
#include "core/messages.h"

namespace {

using namespace ger;

std::string ErrorOf(auto&& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Messages, KeysTextsAndOrder) {
  const TMessages m(
      "Excl|Confirma exclusão ?\r\n"
      "\n"
      "CPF_inv|C.P.F. inválido.\n"
      "   \n"
      "CPF_Inf|CPF do signatário deve ser informado.\n"
      "Multa|Multa (%)  deve ser maior que zero.\n"
      "Pipe|a|b\n"
      "Vazio|");
  EXPECT_EQ(m.Count(), 5u + 1u);
  EXPECT_EQ(m.Keys(),
            (std::vector<std::string>{"Excl", "CPF_inv", "CPF_Inf", "Multa", "Pipe", "Vazio"}));
  EXPECT_EQ(m.Msg("Excl"), "Confirma exclusão ?");
  // Keys differing only in case are different entries.
  EXPECT_EQ(m.Msg("CPF_inv"), "C.P.F. inválido.");
  EXPECT_EQ(m.Msg("CPF_Inf"), "CPF do signatário deve ser informado.");
  EXPECT_EQ(m.Msg("Multa"), "Multa (%)  deve ser maior que zero.");  // spaces kept
  EXPECT_EQ(m.Msg("Pipe"), "a|b");                                   // only the first bar separates
  EXPECT_EQ(m.Msg("Vazio"), "");
  EXPECT_TRUE(m.Contains("Excl"));
  EXPECT_FALSE(m.Contains("excl"));
}

TEST(Messages, UnknownKeyAndMalformedCatalogue) {
  const TMessages m("S|Sim\nN|Não");
  EXPECT_EQ(ErrorOf([&] { (void)m.Msg("s"); }), "Mensagem 's' não encontrada no catálogo.");
  EXPECT_EQ(ErrorOf([&] { (void)m.Msg("Nada"); }), "Mensagem 'Nada' não encontrada no catálogo.");
  EXPECT_NE(ErrorOf([] { TMessages bad("S|Sim\nsem barra"); }).find("line 2"), std::string::npos);
  EXPECT_NE(ErrorOf([] { TMessages bad("S|Sim\nS|Outro"); }).find("'S' given twice"),
            std::string::npos);
  EXPECT_NE(ErrorOf([] { TMessages bad("|texto"); }), "(no error)");
  EXPECT_EQ(TMessages("").Count(), 0u);
}

TEST(Consiste, EmptyStringAndAjusta) {
  EXPECT_TRUE(Consiste::EmptyString(""));
  EXPECT_TRUE(Consiste::EmptyString("  \t "));
  EXPECT_FALSE(Consiste::EmptyString(" * "));
  EXPECT_FALSE(Consiste::EmptyString("0"));

  EXPECT_EQ(Consiste::Ajusta("1", 2), "01");
  EXPECT_EQ(Consiste::Ajusta("7", 4), "0007");
  EXPECT_EQ(Consiste::Ajusta(" 76 ", 4), "0076");
  EXPECT_EQ(Consiste::Ajusta("AB", 2), "AB");
  EXPECT_EQ(Consiste::Ajusta("12345", 4), "12345");  // longer: kept whole
  EXPECT_EQ(Consiste::Ajusta("", 2), "");
  EXPECT_EQ(Consiste::Ajusta("   ", 2), "");
  EXPECT_EQ(Consiste::Ajusta("É", 2), "0É");  // width counts characters
}

TEST(Consiste, CheckDigits) {
  EXPECT_TRUE(Consiste::ValidaCNPJ("11222333000181"));
  EXPECT_TRUE(Consiste::ValidaCNPJ("33000167000101"));
  EXPECT_FALSE(Consiste::ValidaCNPJ("11222333000182"));
  EXPECT_FALSE(Consiste::ValidaCNPJ("11222333000191"));
  EXPECT_FALSE(Consiste::ValidaCNPJ("1122233300018"));
  EXPECT_FALSE(Consiste::ValidaCNPJ("11.222.333/0001-81"));
  EXPECT_TRUE(Consiste::ValidaCPF("12345678909"));
  EXPECT_TRUE(Consiste::ValidaCPF("52998224725"));
  EXPECT_FALSE(Consiste::ValidaCPF("12345678900"));
  EXPECT_FALSE(Consiste::ValidaCPF("12345678919"));
  EXPECT_FALSE(Consiste::ValidaCPF("1234567890a"));
  // One repeated digit passes the arithmetic but is no real number.
  for (char d = '0'; d <= '9'; ++d) {
    EXPECT_FALSE(Consiste::ValidaCPF(std::string(11, d))) << d;
    EXPECT_FALSE(Consiste::ValidaCNPJ(std::string(14, d))) << d;
  }
  EXPECT_EQ(Consiste::DigitosCNPJ("112223330001"), "81");
  EXPECT_EQ(Consiste::DigitosCPF("123456789"), "09");
  EXPECT_EQ(Consiste::DigitosCPF("000000001"), "91");
  // A remainder of 0 or 1 gives the digit 0; a remainder of 10 gives 1.
  EXPECT_EQ(Consiste::DigitosCPF("000000006"), "04");
  EXPECT_EQ(Consiste::DigitosCPF("000000014"), "06");
  EXPECT_EQ(Consiste::DigitosCPF("000000019"), "10");
  // Generated numbers validate.
  for (const char* base : {"000000000001", "123456789012", "987654321000"}) {
    const std::string n = std::string(base) + Consiste::DigitosCNPJ(base);
    EXPECT_TRUE(Consiste::ValidaCNPJ(n)) << n;
  }
  EXPECT_THROW(Consiste::DigitosCNPJ("123"), Exception);
  EXPECT_THROW(Consiste::DigitosCPF("12345678a"), Exception);
}

TEST(Consiste, AlphanumericCnpjCheckDigits) {
  // The federal revenue's example: capitals count their code minus 48.
  EXPECT_EQ(Consiste::DigitosCNPJ("12ABC34501DE"), "35");
  EXPECT_TRUE(Consiste::ValidaCNPJ("12ABC34501DE35"));
  for (char d = '0'; d <= '9'; ++d) {
    if (d != '5') {
      EXPECT_FALSE(Consiste::ValidaCNPJ(std::string("12ABC34501DE3") + d)) << d;
    }
    if (d != '3') {
      EXPECT_FALSE(Consiste::ValidaCNPJ(std::string("12ABC34501DE") + d + "5")) << d;
    }
  }
  // A letter changed in the base changes the digits: letters are not all one value.
  EXPECT_FALSE(Consiste::ValidaCNPJ("12ABD34501DE35"));
  // Small letters, letters in the check digits and other characters are no CNPJ.
  EXPECT_FALSE(Consiste::ValidaCNPJ("12abc34501de35"));
  EXPECT_FALSE(Consiste::ValidaCNPJ("12ABC34501DE3A"));
  EXPECT_FALSE(Consiste::ValidaCNPJ("12ÁBC34501DE35"));
  EXPECT_THROW(Consiste::DigitosCNPJ("12abc34501de"), Exception);
  EXPECT_THROW(Consiste::DigitosCNPJ("12ABC34501D-"), Exception);
  // Letters and digits mix freely in the base; every such number has its own digits.
  for (const char* base : {"ZZZZZZZZZZZZ", "A00000000001", "00000000000Z"}) {
    const std::string n = std::string(base) + Consiste::DigitosCNPJ(base);
    EXPECT_TRUE(Consiste::ValidaCNPJ(n)) << n;
  }
}

TEST(Consiste, AjustaInscricao) {
  std::string t = "C11.222.333/0001-81";
  EXPECT_EQ(Consiste::Ajusta_Inscricao(t), 'J');
  EXPECT_EQ(t, "11222333000181");
  t = "C123.456.789-09";
  EXPECT_EQ(Consiste::Ajusta_Inscricao(t), 'F');
  EXPECT_EQ(t, "12345678909");
  t = "C 123456789012 ";
  EXPECT_EQ(Consiste::Ajusta_Inscricao(t), 'O');
  EXPECT_EQ(t, "123456789012");
  t = "C12345678901234567890";
  EXPECT_EQ(Consiste::Ajusta_Inscricao(t), 'O');
  t = "C7";
  EXPECT_EQ(Consiste::Ajusta_Inscricao(t), 'O');

  // Errors name the problem and leave the text as it was.
  const auto failing = [](std::string text) {
    const std::string before = text;
    const std::string msg = ErrorOf([&] { Consiste::Ajusta_Inscricao(text); });
    EXPECT_EQ(text, before);
    return msg;
  };
  EXPECT_EQ(failing("C11222333000182"), "C.G.C. inválido.");
  EXPECT_EQ(failing("C11111111111111"), "C.G.C. inválido.");
  EXPECT_EQ(failing("C12345678900"), "C.P.F. inválido.");
  EXPECT_EQ(failing("C11111111111"), "C.P.F. inválido.");
  EXPECT_EQ(failing("C"), "Inscrição inválida: nenhum dígito informado.");
  EXPECT_EQ(failing("C./-"), "Inscrição inválida: nenhum dígito informado.");
  EXPECT_EQ(failing("C123456789012345678901"), "Inscrição inválida: mais de 20 dígitos.");
  EXPECT_NE(failing("11222333000181"), "(no error)");
}

TEST(Consiste, AjustaInscricaoTakesTheAlphanumericCnpj) {
  for (const char* typed : {"C12ABC34501DE35", "C12.ABC.345/01DE-35", "C12abc34501de35"}) {
    std::string t = typed;
    EXPECT_EQ(Consiste::Ajusta_Inscricao(t), 'J') << typed;
    EXPECT_EQ(t, "12ABC34501DE35") << typed;
  }
  // A letter in anything but a CNPJ with right check digits is a wrong CNPJ, whatever the
  // length: nothing is shortened to its digits, and the text stays as typed.
  for (const char* typed : {"C12ABC34501DE36", "C1234567890A", "C1234567890AB", "C123456789A12",
                            "C12ABC34501D35", "C12ABC34501DE355", "CA", "C12ABC34501DE3A",
                            "C123456789012345678X9", "C11222333000181É", "C1É2ABC34501DE35"}) {
    std::string t = typed;
    EXPECT_EQ(ErrorOf([&] { Consiste::Ajusta_Inscricao(t); }), "C.G.C. inválido.") << typed;
    EXPECT_EQ(t, typed);
  }
}

TEST(Consiste, PictPessMasksServeTheRegistrations) {
  EXPECT_EQ(Consiste::PictPess("J"), ">aa.aaa.aaa/aaaa-99;0; ");
  EXPECT_EQ(Consiste::PictPess("F"), "999.999.999-99;0; ");
  EXPECT_EQ(Consiste::PictPess("I"), ">aaaaaaaaaaaa99999999;0; ");
  EXPECT_EQ(Consiste::PictPess("O"), "99999999999999999999;0; ");
  EXPECT_EQ(Consiste::PictPess(""), Consiste::PictPess("I"));
  EXPECT_EQ(Consiste::PictPess("j"), Consiste::PictPess("I"));
  // The stored number shows under its type's mask and reads back unchanged.
  for (const auto& [typed, shown] : {std::pair{"C11222333000181", "11.222.333/0001-81"},
                                     std::pair{"C12ABC34501DE35", "12.ABC.345/01DE-35"},
                                     std::pair{"C39053344705", "390.533.447-05"}}) {
    std::string t = typed;
    const char type = Consiste::Ajusta_Inscricao(t);
    const EditMask mask(Consiste::PictPess(std::string(1, type)));
    EXPECT_EQ(mask.Format(t), shown);
    EXPECT_EQ(mask.Unformat(mask.Format(t)), t);
  }
  // Typed into the masks: small letters become capitals where letters may go; the check digits,
  // a CPF and another registration take digits only.
  const EditMask cnpj(Consiste::PictPess("J"));
  EXPECT_EQ(cnpj.TypeAll("12abc34501de35"), "12.ABC.345/01DE-35");
  EXPECT_EQ(cnpj.Unformat(cnpj.TypeAll("12ABC34501DEX35")), "12ABC34501DE35");
  const EditMask unknown(Consiste::PictPess("I"));
  EXPECT_EQ(unknown.Unformat(unknown.TypeAll("12abc34501de35")), "12ABC34501DE35");
  EXPECT_EQ(unknown.Unformat(unknown.TypeAll("123456789012A345")), "123456789012345");
  EXPECT_EQ(unknown.Unformat(unknown.TypeAll("12345678901234567890")), "12345678901234567890");
  for (const char* kind : {"F", "O"}) {
    const EditMask digits(Consiste::PictPess(kind));
    EXPECT_EQ(digits.Unformat(digits.TypeAll("1a2B3")), "123") << kind;
  }
}

TEST(Consiste, MaxNumberLimitsDigits) {
  const auto typed = [](std::string_view text, std::string ch, std::size_t selStart,
                        std::size_t selLength = 0) {
    Consiste::MaxNumber(text, 3, 3, ch, selStart, selLength);
    return ch;
  };
  EXPECT_EQ(typed("12", "3", 2), "3");
  EXPECT_EQ(typed("123", "4", 3), "");      // a fourth whole digit
  EXPECT_EQ(typed("123", "4", 0), "");      // wherever it lands
  EXPECT_EQ(typed("123,45", "6", 6), "6");  // third decimal
  EXPECT_EQ(typed("123,456", "7", 7), "");  // fourth decimal
  EXPECT_EQ(typed("123,456", "9", 1), "");  // whole part full
  EXPECT_EQ(typed("12,456", "9", 0), "9");  // whole part has room
  EXPECT_EQ(typed("123,4", "5", 3), "");    // just before the comma: the whole part
  EXPECT_EQ(typed("123", "4", 0, 1), "4");  // replaces a selected digit
  EXPECT_EQ(typed("123,456", "7", 4, 3), "7");
  EXPECT_EQ(typed("123", ",", 3), ",");  // not a digit: the caller decides
  EXPECT_EQ(typed("123", "a", 3), "a");
  EXPECT_EQ(typed("", "5", 0), "5");
  // A value loaded with too many decimals can still get whole digits.
  EXPECT_EQ(typed("1,23456", "2", 1), "2");
  // Positions count characters: a multi-byte character before the caret does not shift it.
  EXPECT_EQ(typed("é12", "3", 3), "3");
  EXPECT_EQ(typed("é123", "4", 4), "");
  std::string ch = "5";
  Consiste::MaxNumber("12", 2, 0, ch, 2, 0);
  EXPECT_EQ(ch, "");
}

TEST(Consiste, ListaMeses) {
  const auto meses = Consiste::ListaMeses();
  ASSERT_EQ(meses.size(), 12u);
  EXPECT_EQ(meses[0], "Janeiro");
  EXPECT_EQ(meses[2], "Março");
  EXPECT_EQ(meses[11], "Dezembro");
}

}  // namespace
