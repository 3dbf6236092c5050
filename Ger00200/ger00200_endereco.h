#pragma once
// The address line of a company split into street, number and complement, as every post of the
// company stores them beside the line the user typed.
#include <string>
#include <string_view>

namespace ger::empresa {

struct PartesEndereco {
  std::string logradouro;  // before the first comma, as typed; empty without a comma
  std::string numero;      // empty without a comma
  std::string complemento;
};

// "Rua das Flores, 120 - Sala 3" → "Rua das Flores", "120 ", "Sala 3";
// "Av. Brasil, 45, Fundos" → "Av. Brasil", "45", "Fundos"; "Rua A, 10-B" → "Rua A", "10", "B".
// After the first comma the rest (trimmed) is split at its first "-", else at its first ","; the
// number keeps its blanks, the complement is trimmed. A rest with neither is all number
// ("Rua A, 10" → "10"), so a number never stays from an address the line no longer holds.
PartesEndereco SeparaEndereco(std::string_view line);

}  // namespace ger::empresa
