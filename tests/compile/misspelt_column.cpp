// Code names the record's columns through the names the declaration gives each table, so this
// file, which misspells one, must not compile (test record.misspelt_column builds it).
#include "contract/tables.h"

namespace ger {

std::string_view CompanyName() {
  return record::Empresa::NMEMPRESSA;
}

}  // namespace ger
