// Each state publishes how its registrations are formed and checked; the states' routines are
// gathered on SINTEGRA's pages "Conferência de Inscrições Estaduais" (one page per state), and
// the comments below name the state's own rule where it differs from or adds to them. Most
// states share one shape (a length, maybe fixed leading digits, one or two check digits over
// all the digits before them, weights rising from the right); they are the table. The others
// have a routine of their own.
#include "core/inscricao_estadual.h"

#include <array>
#include <cstdint>

#include "core/utf8.h"

namespace ger::Consiste {

namespace {

// The registration as digit values. `rural` is São Paulo's leading "P".
struct Digitos {
  std::array<std::uint8_t, 16> d{};
  int n = 0;
  bool rural = false;
};

// Drops the separators; false for any other character or more than 16 digits (the width of
// the registration).
bool Separa(std::string_view text, Digitos& out) {
  for (const char c : text) {
    if (c == '.' || c == '-' || c == '/' || c == ' ' || c == '\t') continue;
    if ((c == 'P' || c == 'p') && out.n == 0 && !out.rural) {
      out.rural = true;
      continue;
    }
    if (c < '0' || c > '9' || out.n == static_cast<int>(out.d.size())) return false;
    out.d[static_cast<std::size_t>(out.n++)] = static_cast<std::uint8_t>(c - '0');
  }
  return out.n > 0;
}

// The weighted sum of n digits, weights from the rightmost digit: 2, 3, ... up to `maxPeso`,
// then again from `minPeso`.
int Soma(const std::uint8_t* d, int n, int maxPeso, int minPeso = 2) {
  int sum = 0;
  int peso = 2;
  for (int i = n - 1; i >= 0; --i) {
    sum += d[i] * peso;
    peso = peso == maxPeso ? minPeso : peso + 1;
  }
  return sum;
}

long Numero(const std::uint8_t* d, int n) {
  long v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + d[i];
  return v;
}

// The usual modulus 11 digit: 11 minus the remainder, 0 when that gives 10 or 11.
int Mod11(int sum) {
  const int r = sum % 11;
  return r < 2 ? 0 : 11 - r;
}

enum class Calculo : std::uint8_t {
  Mod11,
  // Alagoas and Rio Grande do Norte: the sum times 10, modulus 11; 10 gives 0.
  Vezes10,
  // Rondônia and Pernambuco's old form: 11 minus the remainder, less 10 when that is 10 or 11.
  Menos10,
  // Amazonas: a sum under 11 gives 11 minus the sum; otherwise the usual modulus 11 digit.
  Amazonas,
};

int Digito(Calculo calculo, int sum) {
  switch (calculo) {
    case Calculo::Mod11:
      return Mod11(sum);
    case Calculo::Vezes10:
      return sum * 10 % 11 % 10;
    case Calculo::Menos10: {
      const int d = 11 - sum % 11;
      return d >= 10 ? d - 10 : d;
    }
    case Calculo::Amazonas:
      return sum < 11 ? 11 - sum : Mod11(sum);
  }
  return -1;
}

constexpr int Uf(std::string_view uf) {
  return uf.size() == 2 ? (uf[0] << 8) | uf[1] : 0;
}

// One shape: `minimo` to `tamanho` digits (a shorter one is read with zeros on the left), the
// two-digit beginnings allowed (none listed: any), the digits the third may be (none: any),
// and `dvs` check digits at the end, each over every digit before it.
struct Forma {
  int uf;
  int minimo, tamanho;
  std::string_view inicios;
  std::string_view terceiro;
  int dvs;
  int maxPeso, minPeso;
  Calculo calculo;
};

constexpr Forma kFormas[] = {
    // AC (SEFAZ-AC): 13 digits beginning 01, two digits, weights 2 to 9.
    {Uf("AC"), 13, 13, "01", "", 2, 9, 2, Calculo::Mod11},
    // AL (SEFAZ-AL): 24, then the kind of company (0 normal, 3 rural producer, 5 substitute,
    // 7 itinerant micro-company, 8 micro-company), the digit as (sum x 10) mod 11.
    {Uf("AL"), 9, 9, "24", "03578", 1, 9, 2, Calculo::Vezes10},
    // AM (SEFAZ-AM): 9 digits, a small sum handled apart.
    {Uf("AM"), 9, 9, "", "", 1, 9, 2, Calculo::Amazonas},
    // CE (SEFAZ-CE), ES (SEFAZ-ES), PB (SER-PB), SC (SEF-SC), SE (SEFAZ-SE): 9 digits, weights
    // 9 to 2, modulus 11.
    {Uf("CE"), 9, 9, "", "", 1, 9, 2, Calculo::Mod11},
    {Uf("ES"), 9, 9, "", "", 1, 9, 2, Calculo::Mod11},
    {Uf("PB"), 9, 9, "", "", 1, 9, 2, Calculo::Mod11},
    {Uf("SC"), 9, 9, "", "", 1, 9, 2, Calculo::Mod11},
    {Uf("SE"), 9, 9, "", "", 1, 9, 2, Calculo::Mod11},
    // DF (SEF-DF): 13 digits beginning 07, two digits as in Acre.
    {Uf("DF"), 13, 13, "07", "", 2, 9, 2, Calculo::Mod11},
    // MA (SEFAZ-MA): 9 digits beginning 12.
    {Uf("MA"), 9, 9, "12", "", 1, 9, 2, Calculo::Mod11},
    // MT (SEFAZ-MT): 11 digits, weights 3 2 9 8 ... 2; shorter numbers take zeros on the left.
    {Uf("MT"), 9, 11, "", "", 1, 9, 2, Calculo::Mod11},
    // MS (SEFAZ-MS): 9 digits beginning 28; the newer series begins 50.
    {Uf("MS"), 9, 9, "28 50", "", 1, 9, 2, Calculo::Mod11},
    // PA (SEFA-PA): 9 digits beginning 15.
    {Uf("PA"), 9, 9, "15", "", 1, 9, 2, Calculo::Mod11},
    // PR (SEFA-PR): 10 digits, two digits with weights 2 to 7.
    {Uf("PR"), 10, 10, "", "", 2, 7, 2, Calculo::Mod11},
    // PE (SEFAZ-PE, eFisco): 9 digits, two digits with weights 8 to 2 and 9 to 2.
    {Uf("PE"), 9, 9, "", "", 2, 9, 2, Calculo::Mod11},
    // PE before eFisco: 14 digits, weights 5 4 3 2 1 9 8 ... 2, one digit.
    {Uf("PE"), 14, 14, "", "", 1, 9, 1, Calculo::Menos10},
    // PI (SEFAZ-PI): 9 digits beginning 19.
    {Uf("PI"), 9, 9, "19", "", 1, 9, 2, Calculo::Mod11},
    // RJ (SEFAZ-RJ): 8 digits, weights 2 7 6 5 4 3 2.
    {Uf("RJ"), 8, 8, "", "", 1, 7, 2, Calculo::Mod11},
    // RN (SET-RN): 9 digits beginning 20, or 10 in the newer form; (sum x 10) mod 11.
    {Uf("RN"), 9, 9, "20", "", 1, 10, 2, Calculo::Vezes10},
    {Uf("RN"), 10, 10, "20", "", 1, 10, 2, Calculo::Vezes10},
    // RS (SEFAZ-RS): 10 digits, weights 2 9 8 ... 2.
    {Uf("RS"), 10, 10, "", "", 1, 9, 2, Calculo::Mod11},
    // RO (SEFIN-RO) since August 2000: 14 digits, weights 6 5 4 3 2 9 8 ... 2.
    {Uf("RO"), 14, 14, "", "", 1, 9, 2, Calculo::Menos10},
    // TO (SEFAZ-TO) in the form without the kind of company: 9 digits.
    {Uf("TO"), 9, 9, "", "", 1, 9, 2, Calculo::Mod11},
};

bool Comeca(const Digitos& x, std::string_view inicios) {
  if (inicios.empty()) return true;
  for (std::size_t i = 0; i + 1 < inicios.size(); i += 3)
    if (x.d[0] == inicios[i] - '0' && x.d[1] == inicios[i + 1] - '0') return true;
  return false;
}

bool ConfereForma(const Forma& f, const Digitos& x) {
  // A shorter number is read with zeros on the left, which add nothing to a sum.
  std::array<std::uint8_t, 16> d{};
  const int pad = f.tamanho - x.n;
  for (int i = 0; i < x.n; ++i)
    d[static_cast<std::size_t>(pad + i)] = x.d[static_cast<std::size_t>(i)];
  Digitos padded{d, f.tamanho, false};
  if (!Comeca(padded, f.inicios)) return false;
  if (!f.terceiro.empty() &&
      f.terceiro.find(static_cast<char>('0' + d[2])) == std::string_view::npos)
    return false;
  for (int k = f.dvs; k >= 1; --k) {
    const int at = f.tamanho - k;
    if (Digito(f.calculo, Soma(d.data(), at, f.maxPeso, f.minPeso)) !=
        d[static_cast<std::size_t>(at)])
      return false;
  }
  return true;
}

// BA (SEFAZ-BA, "Fórmula de cálculo dos dígitos verificadores"): 8 digits (the older numbers)
// or 9, the last two check digits, the last one worked out first and then taking part in the
// other. The modulus is 10 when the deciding digit (the first of 8, the second of 9) is 0 to 5
// or 8, 11 when it is 6, 7 or 9.
bool Bahia(const Digitos& x) {
  if (x.n != 8 && x.n != 9) return false;
  const int decide = x.n == 8 ? x.d[0] : x.d[1];
  const bool mod10 = decide <= 5 || decide == 8;
  const auto digito = [&](int sum) { return mod10 ? (10 - sum % 10) % 10 : Mod11(sum); };
  const int base = x.n - 2;
  std::array<std::uint8_t, 16> d = x.d;
  const int segundo = digito(Soma(d.data(), base, 9));
  if (segundo != x.d[static_cast<std::size_t>(base + 1)]) return false;
  d[static_cast<std::size_t>(base)] = static_cast<std::uint8_t>(segundo);
  return digito(Soma(d.data(), base + 1, 9)) == x.d[static_cast<std::size_t>(base)];
}

// MG (SEF-MG): municipality (3), number (6), order (2), two check digits. The first: a 0
// put after the municipality, the twelve digits times 1, 2, 1, 2 ... from the left, the
// figures of the products added up, and what is missing to the next ten. The second: the
// eleven digits and the first check digit, weights 2 to 11 from the right, modulus 11.
bool MinasGerais(const Digitos& x) {
  if (x.n != 13) return false;
  std::array<std::uint8_t, 12> w{};
  for (int i = 0, j = 0; i < 11; ++i, ++j) {
    if (i == 3) w[static_cast<std::size_t>(j++)] = 0;
    w[static_cast<std::size_t>(j)] = x.d[static_cast<std::size_t>(i)];
  }
  int figures = 0;
  for (int i = 0; i < 12; ++i) {
    const int p = w[static_cast<std::size_t>(i)] * (i % 2 == 0 ? 1 : 2);
    figures += p / 10 + p % 10;
  }
  if ((10 - figures % 10) % 10 != x.d[11]) return false;
  return Mod11(Soma(x.d.data(), 12, 11)) == x.d[12];
}

// SP (SEFAZ-SP): 12 digits, the ninth and the twelfth check digits, each the remainder of the
// sum by 11 with only its units kept: the ninth over the first eight with weights 1 3 4 5 6 7 8
// 10, the twelfth over the first eleven with weights 3 2 10 9 ... 2. A rural producer's is "P"
// and 12 digits, of which only the ninth is checked, over the eight before it.
bool SaoPaulo(const Digitos& x) {
  if (x.n != 12) return false;
  static constexpr int kPesos[8] = {1, 3, 4, 5, 6, 7, 8, 10};
  int sum = 0;
  for (int i = 0; i < 8; ++i) sum += x.d[static_cast<std::size_t>(i)] * kPesos[i];
  if (sum % 11 % 10 != x.d[8]) return false;
  return x.rural || Soma(x.d.data(), 11, 10) % 11 % 10 == x.d[11];
}

// GO (SEFAZ-GO): 9 digits beginning 10, 11, 15 or 20 to 29; weights 9 to 2, modulus 11, but a
// remainder of 1 gives 1 for the numbers 10103105 to 10119997 and 0 for the others; 11094402
// may end in 0 or 1.
bool Goias(const Digitos& x) {
  if (x.n != 9) return false;
  const int head = x.d[0] * 10 + x.d[1];
  if (head != 10 && head != 11 && head != 15 && (head < 20 || head > 29)) return false;
  const long base = Numero(x.d.data(), 8);
  if (base == 11094402 && x.d[8] <= 1) return true;
  const int r = Soma(x.d.data(), 8, 9) % 11;
  const int dv = r == 0 ? 0 : r == 1 ? (base >= 10103105 && base <= 10119997 ? 1 : 0) : 11 - r;
  return dv == x.d[8];
}

// AP (SEFAZ-AP): 9 digits beginning 03. By the range of the first eight, a p added to the sum
// and a d taken when the digit would be 11: 03000001 to 03017000 p 5 d 0, 03017001 to 03019022
// p 9 d 1, from 03019023 p 0 d 0. The digit is 11 minus the remainder of (p + sum) by 11;
// 10 gives 0, 11 gives d.
bool Amapa(const Digitos& x) {
  if (x.n != 9 || x.d[0] != 0 || x.d[1] != 3) return false;
  const long base = Numero(x.d.data(), 8);
  int p = 0, dFixo = 0;
  if (base >= 3000001 && base <= 3017000) {
    p = 5;
  } else if (base >= 3017001 && base <= 3019022) {
    p = 9;
    dFixo = 1;
  }
  int dv = 11 - (p + Soma(x.d.data(), 8, 9)) % 11;
  if (dv == 10) dv = 0;
  if (dv == 11) dv = dFixo;
  return dv == x.d[8];
}

// RR (SEFAZ-RR): 9 digits beginning 24; the first eight times 1 to 8 from the left, modulus 9.
bool Roraima(const Digitos& x) {
  if (x.n != 9 || x.d[0] != 2 || x.d[1] != 4) return false;
  int sum = 0;
  for (int i = 0; i < 8; ++i) sum += x.d[static_cast<std::size_t>(i)] * (i + 1);
  return sum % 9 == x.d[8];
}

// TO (SEFAZ-TO) with the kind of company: 11 digits, the third and fourth 01 (rural producer),
// 02 (industry and trade), 03 (rudimentary) or 99 (old register) and left out of the sum of the
// other eight, weights 9 to 2, modulus 11.
bool TocantinsAntiga(const Digitos& x) {
  const int kind = x.d[2] * 10 + x.d[3];
  if (kind != 1 && kind != 2 && kind != 3 && kind != 99) return false;
  std::array<std::uint8_t, 8> w{x.d[0], x.d[1], x.d[4], x.d[5], x.d[6], x.d[7], x.d[8], x.d[9]};
  return Mod11(Soma(w.data(), 8, 9)) == x.d[10];
}

// RO (SEFIN-RO) before August 2000: municipality (3), company (5), digit; only the company's
// five digits are weighed, 6 to 2.
bool RondoniaAntiga(const Digitos& x) {
  return Digito(Calculo::Menos10, Soma(x.d.data() + 3, 5, 9)) == x.d[8];
}

constexpr int kEstados[] = {Uf("AC"), Uf("AL"), Uf("AP"), Uf("AM"), Uf("BA"), Uf("CE"), Uf("DF"),
                            Uf("ES"), Uf("GO"), Uf("MA"), Uf("MT"), Uf("MS"), Uf("MG"), Uf("PA"),
                            Uf("PB"), Uf("PR"), Uf("PE"), Uf("PI"), Uf("RJ"), Uf("RN"), Uf("RS"),
                            Uf("RO"), Uf("RR"), Uf("SC"), Uf("SP"), Uf("SE"), Uf("TO")};

}  // namespace

bool InscEstadualIsenta(std::string_view text) {
  const std::string_view t = utf8::Trim(text);
  if (t.size() != 6) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    const char c = t[i] >= 'a' && t[i] <= 'z' ? static_cast<char>(t[i] - 'a' + 'A') : t[i];
    if (c != "ISENTO"[i]) return false;
  }
  return true;
}

InscEstadual ConfereInscEstadual(std::string_view text, std::string_view uf) {
  if (InscEstadualIsenta(text)) return InscEstadual::Valida;
  const int code = Uf(uf);
  bool known = false;
  for (const int e : kEstados) known = known || e == code;
  if (!known) return InscEstadual::SemRegra;
  Digitos x;
  if (!Separa(text, x) || (x.rural && code != Uf("SP"))) return InscEstadual::Invalida;
  bool ok = false;
  if (code == Uf("TO") && x.n == 11) {
    ok = TocantinsAntiga(x);
  } else if (code == Uf("RO") && x.n == 9) {
    ok = RondoniaAntiga(x);
  } else {
    switch (code) {
      case Uf("BA"):
        ok = Bahia(x);
        break;
      case Uf("MG"):
        ok = MinasGerais(x);
        break;
      case Uf("SP"):
        ok = SaoPaulo(x);
        break;
      case Uf("GO"):
        ok = Goias(x);
        break;
      case Uf("AP"):
        ok = Amapa(x);
        break;
      case Uf("RR"):
        ok = Roraima(x);
        break;
      default:
        for (const Forma& f : kFormas)
          if (f.uf == code && x.n >= f.minimo && x.n <= f.tamanho) {
            ok = ConfereForma(f, x);
            break;
          }
    }
  }
  return ok ? InscEstadual::Valida : InscEstadual::Invalida;
}

}  // namespace ger::Consiste
