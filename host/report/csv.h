#pragma once
// The report as a spreadsheet file: UTF-8 with a byte-order mark, fields separated by ";",
// lines ended by CR LF, numbers with a decimal comma and no thousands separator, dates
// dd/mm/yyyy — what a spreadsheet set up for Brazil opens with a double click. The first line
// holds the column titles; a grouped report gets its group value as a first column.
//
// Fields holding ";", quotes, line breaks or blanks at either end are quoted ("" for a quote).
// A text a spreadsheet would run as a formula (starting with "=", "+", "-" or "@" and not just a
// number or a telephone) gets a leading apostrophe, so that opening the file computes nothing
// that a company's data could smuggle in.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "report/definition.h"
#include "report/table.h"

namespace ger::report {

std::string CsvText(const Definition& definition, const Table& table);
// Through OutputFile: whole or not at all.
void WriteCsv(const Definition& definition, const Table& table, const std::filesystem::path& file);

// One field as written (quoted and guarded when needed).
std::string CsvField(std::string_view text);
// The lines of a CSV text, each as its fields (tests read files back with it).
std::vector<std::vector<std::string>> ParseCsv(std::string_view text);

}  // namespace ger::report
