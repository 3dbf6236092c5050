#pragma once
// The person the application server says this host's calls are signed in as: a screen asks once
// and sets it, the toolkit's status bar shows it. Empty until known.
#include <string>

namespace ger {

const std::string& SignedInPerson();
// Sets it; the toolkit reads it at the next model change (Application().Changed()).
void SetSignedInPerson(std::string person);

}  // namespace ger
