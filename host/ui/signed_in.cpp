#include "ui/signed_in.h"

namespace ger {

namespace {
// The model is used from the UI thread only, as the rest of the application object.
std::string& Person() {
  static std::string person;
  return person;
}
}  // namespace

const std::string& SignedInPerson() {
  return Person();
}

void SetSignedInPerson(std::string person) {
  Person() = std::move(person);
}

}  // namespace ger
