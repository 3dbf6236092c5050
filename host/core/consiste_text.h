#pragma once
// The host's text routines that need no screen: blank tests, code widths, legal registration
// numbers (CNPJ, CPF) and their masks, the digit limiter of number boxes, the month names.
// The routines that show something (MensErro, CheckResultServ, ...) live in the UI layer, in the
// same namespace.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ger::Consiste {

// True when the text is empty or only blanks (spaces, tabs, line breaks).
bool EmptyString(std::string_view text);

// A code brought to its field width: blanks trimmed, then zeros added on the left up to `width`
// characters ("1" → "01", "7" with 4 → "0007"). A longer text is returned trimmed, as it is, so
// that nothing typed is cut away (the field's size refuses it later). A blank text stays empty:
// there is no code to adjust, and "00" would invent one.
std::string Ajusta(std::string_view text, std::size_t width);

// Given "C" followed by a legal registration text (as typed, with or without separators),
// leaves in `text` the digits to store and returns the person type: 'J' for 14 digits (a CNPJ),
// 'F' for 11 digits (a CPF), 'O' for any other length from 1 to 20 digits. A CNPJ or CPF whose
// check digits are wrong raises ger::Exception "C.G.C. inválido." or "C.P.F. inválido.";
// no digits, or more than 20, raise ger::Exception too. On any error `text` is left unchanged.
char Ajusta_Inscricao(std::string& text);

// The edit mask of a person type's registration number: "J" CNPJ, "F" CPF, "I" (not yet known)
// and "O" (other) twenty digits; any other type is taken as "I".
std::string PictPess(std::string_view personType);

// Digit limiter of a number box: `ch` (one typed character) is what the box is about to receive
// over the selection [selStart, selStart + selLength) of `text` (positions in characters). When
// it is a digit that would leave more than `intDigits` digits before the decimal comma or more
// than `decDigits` after it, `ch` is emptied (the key is dropped). Other characters pass: the
// comma itself is the caller's business.
void MaxNumber(std::string_view text, int intDigits, int decDigits, std::string& ch,
               std::size_t selStart, std::size_t selLength);

// "Janeiro" ... "Dezembro".
std::vector<std::string> ListaMeses();

// Check digits of the legal registration numbers. The validators take the bare digits (14 for a
// CNPJ, 11 for a CPF); anything else, and numbers of one repeated digit such as 11111111111, are
// invalid. The generators take the base (12 or 9 digits) and return the two check digits; they
// raise ger::Exception for a base of the wrong length or with non-digits.
bool ValidaCNPJ(std::string_view digits);
bool ValidaCPF(std::string_view digits);
std::string DigitosCNPJ(std::string_view base12);
std::string DigitosCPF(std::string_view base9);

}  // namespace ger::Consiste
