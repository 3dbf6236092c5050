#pragma once
// The company screen's data: the company record of 71 columns, the small datasets that check on
// closing and saving that related data exists, the representatives' datasets (all as the record
// layer declares them) and the branch query's statement.
#include <string_view>

#include "core/messages.h"
#include "data/dataset.h"

namespace ger::empresa {

// Adds the 71 persistent fields of the company record, in order, with their labels, masks,
// display formats, provider flags and visibility (only the code and the name are shown in grids).
// The record is declared in contract/tables.h.
void DefineEmpresa(TDataSet& cdsEmpresa);

// One hidden string column: cdsVerifEmpresa and cdsVEmp (CDEMPRESA 2), cdsVParGeral (CDFILIAL 4).
void DefineVerifEmpresa(TDataSet& dataset);
void DefineVEmp(TDataSet& dataset);
void DefineVParGeral(TDataSet& dataset);

// The company's legal representatives as the server returns them, and the mirror copy with the
// same seven columns.
void DefineRepresentante(TDataSet& dataset);
// The representative search's four columns (no IDATIVO, no CDQUALIFASSINA).
void DefinePesqRepres(TDataSet& dataset);

// The statement of the branch check, the same for every kind of database.
inline constexpr std::string_view kSqlVeriFilial =
    "SELECT CDFILIAL \n"
    "FROM FILIAL";

// The screen's message catalogue, built into the module from msgPadrao.txt.
const TMessages& CatalogoPadrao();

}  // namespace ger::empresa
