#pragma once
// The state registration (inscrição estadual) checked by the rules of the state that gave it:
// its length, its fixed leading digits and its check digits, for the 27 states, with the older
// forms that are still in use.
#include <string_view>

namespace ger::Consiste {

enum class InscEstadual {
  Valida,
  Invalida,
  // The state is none of the 27 (a foreign one, an unknown code): there is no rule to apply.
  SemRegra,
};

// True for "ISENTO" in any case, with blanks around it: a company without a registration.
bool InscEstadualIsenta(std::string_view text);

// Checks `text` against the rules of the state `uf` (two capitals, "SP"). ".", "-", "/" and
// blanks are ignored; any other character but the digits (and São Paulo's leading "P" of a
// rural producer) makes the registration invalid, and so does an empty one. "ISENTO" passes
// for every state, even one without a rule.
InscEstadual ConfereInscEstadual(std::string_view text, std::string_view uf);

}  // namespace ger::Consiste
