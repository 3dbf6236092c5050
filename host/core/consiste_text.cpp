#include "core/consiste_text.h"

#include <algorithm>

#include "core/exceptions.h"
#include "core/utf8.h"

namespace ger::Consiste {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsCapital(char c) {
  return c >= 'A' && c <= 'Z';
}

bool AllDigits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), IsDigit);
}

// A CNPJ base may hold capitals since the alphanumeric CNPJ came in.
bool CnpjBase(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return IsDigit(c) || IsCapital(c); });
}

// One modulo-11 check digit over `base` with the weights given from the left. A character
// counts its code minus that of "0": digits their own value, capitals 17 to 42.
char CheckDigit(std::string_view base, const int* weights) {
  int sum = 0;
  for (std::size_t i = 0; i < base.size(); ++i) sum += (base[i] - '0') * weights[i];
  const int r = sum % 11;
  return static_cast<char>('0' + (r < 2 ? 0 : 11 - r));
}

std::string TwoCheckDigits(std::string base, const int* weights1, const int* weights2) {
  const char d1 = CheckDigit(base, weights1);
  base.push_back(d1);
  const char d2 = CheckDigit(base, weights2);
  return {d1, d2};
}

constexpr int kCnpj1[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
constexpr int kCnpj2[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
constexpr int kCpf1[] = {10, 9, 8, 7, 6, 5, 4, 3, 2};
constexpr int kCpf2[] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2};

bool OneRepeatedDigit(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [&](char c) { return c == s.front(); });
}

}  // namespace

bool EmptyString(std::string_view text) {
  return utf8::Trim(text).empty();
}

std::string Ajusta(std::string_view text, std::size_t width) {
  const std::string_view t = utf8::Trim(text);
  if (t.empty()) return {};
  const std::size_t len = utf8::Length(t);
  std::string out;
  if (len < width) out.assign(width - len, '0');
  out += t;
  return out;
}

std::string DigitosCNPJ(std::string_view base12) {
  if (base12.size() != 12 || !CnpjBase(base12))
    throw Exception("DigitosCNPJ: the base must be 12 digits or capital letters, got '" +
                    std::string(base12) + "'");
  return TwoCheckDigits(std::string(base12), kCnpj1, kCnpj2);
}

std::string DigitosCPF(std::string_view base9) {
  if (base9.size() != 9 || !AllDigits(base9))
    throw Exception("DigitosCPF: the base must be 9 digits, got '" + std::string(base9) + "'");
  return TwoCheckDigits(std::string(base9), kCpf1, kCpf2);
}

bool ValidaCNPJ(std::string_view number) {
  if (number.size() != 14 || !CnpjBase(number.substr(0, 12)) || !AllDigits(number.substr(12)) ||
      OneRepeatedDigit(number))
    return false;
  return DigitosCNPJ(number.substr(0, 12)) == number.substr(12);
}

bool ValidaCPF(std::string_view digits) {
  if (digits.size() != 11 || !AllDigits(digits) || OneRepeatedDigit(digits)) return false;
  return DigitosCPF(digits.substr(0, 9)) == digits.substr(9);
}

char Ajusta_Inscricao(std::string& text) {
  if (text.empty() || text.front() != 'C')
    throw Exception("Ajusta_Inscricao: the text must start with 'C', got '" + text + "'");
  // Separators and blanks fall away; letters stay (in capitals), since only an alphanumeric
  // CNPJ may hold them and anything else with a letter must be refused, not shortened. A
  // character beyond ASCII (an accented letter) stays too: no registration takes it.
  std::string digits;
  bool letters = false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c =
        text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    const bool foreign = static_cast<unsigned char>(c) >= 0x80;
    if (IsCapital(c) || foreign) letters = true;
    if (IsDigit(c) || IsCapital(c) || foreign) digits.push_back(c);
  }
  if (letters) {
    if (!ValidaCNPJ(digits)) throw Exception("C.G.C. inválido.");
    text = std::move(digits);
    return 'J';
  }
  if (digits.empty()) throw Exception("Inscrição inválida: nenhum dígito informado.");
  if (digits.size() > 20) throw Exception("Inscrição inválida: mais de 20 dígitos.");
  char type = 'O';
  if (digits.size() == 14) {
    if (!ValidaCNPJ(digits)) throw Exception("C.G.C. inválido.");
    type = 'J';
  } else if (digits.size() == 11) {
    if (!ValidaCPF(digits)) throw Exception("C.P.F. inválido.");
    type = 'F';
  }
  text = std::move(digits);
  return type;
}

std::string PictPess(std::string_view personType) {
  // Capitals in the first twelve positions of a CNPJ ("a" takes a letter or a digit, ">" turns
  // it to a capital); the two check digits stay digits.
  if (personType == "J") return ">aa.aaa.aaa/aaaa-99;0; ";
  if (personType == "F") return "999.999.999-99;0; ";
  if (personType == "O") return "99999999999999999999;0; ";
  return ">aaaaaaaaaaaa99999999;0; ";
}

void MaxNumber(std::string_view text, int intDigits, int decDigits, std::string& ch,
               std::size_t selStart, std::size_t selLength) {
  if (ch.size() != 1 || !IsDigit(ch[0])) return;
  const std::size_t from = utf8::Offset(text, selStart);
  const std::size_t to = from + utf8::Offset(text.substr(from), selLength);
  std::string after(text.substr(0, from));
  after += ch;
  after += text.substr(to);
  const std::size_t comma = after.find(',');
  const std::string_view whole = std::string_view(after).substr(0, comma);
  const std::string_view fraction =
      comma == std::string::npos ? std::string_view() : std::string_view(after).substr(comma + 1);
  const auto digitsIn = [](std::string_view s) {
    return std::count_if(s.begin(), s.end(), IsDigit);
  };
  // Only the part the key lands in is judged, so that a value loaded with more digits than the
  // box allows can still be corrected in its other part.
  const bool inFraction = comma != std::string::npos && from > comma;
  if (inFraction ? digitsIn(fraction) > decDigits : digitsIn(whole) > intDigits) ch.clear();
}

std::vector<std::string> ListaMeses() {
  return {"Janeiro", "Fevereiro", "Março",    "Abril",   "Maio",     "Junho",
          "Julho",   "Agosto",    "Setembro", "Outubro", "Novembro", "Dezembro"};
}

}  // namespace ger::Consiste
