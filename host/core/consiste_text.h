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
// leaves in `text` the number to store and returns the person type: 'J' for 14 digits (a CNPJ),
// 'F' for 11 digits (a CPF), 'O' for any other length from 1 to 20 digits. Letters (small ones
// taken as capitals) make the text an alphanumeric CNPJ: 12 digits or capitals and two check
// digits, 'J'; any other text with a letter is a wrong CNPJ. A CNPJ or CPF whose check digits
// are wrong raises ger::Exception "C.G.C. inválido." or "C.P.F. inválido."; no digits, or more
// than 20, raise ger::Exception too. On any error `text` is left unchanged.
char Ajusta_Inscricao(std::string& text);

// The edit mask of a person type's registration number: "J" CNPJ (capitals allowed but in the
// check digits), "F" CPF, "O" (other) twenty digits, "I" (not yet known) twenty positions whose
// first twelve also take capitals; any other type is taken as "I".
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

// Check digits of the legal registration numbers. The validators take the bare number (14
// characters for a CNPJ, 11 digits for a CPF); anything else, and numbers of one repeated digit
// such as 11111111111, are invalid. A CNPJ's first twelve characters may be capitals, each
// counting its character code minus 48 ("A" 17 ... "Z" 42); its last two are digits. The
// generators take the base (12 or 9 characters) and return the two check digits; they raise
// ger::Exception for a base of the wrong length or with characters it may not hold.
bool ValidaCNPJ(std::string_view number);
bool ValidaCPF(std::string_view digits);
std::string DigitosCNPJ(std::string_view base12);
std::string DigitosCPF(std::string_view base9);

}  // namespace ger::Consiste
