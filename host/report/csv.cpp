#include "report/csv.h"

#include "report/output_file.h"

namespace ger::report {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// A plain number ("-12", "+3,5", "-1.234,56"): a sign, then digits in groups joined by single
// points or commas. A spreadsheet reads it as the number it is; any other text that starts with
// a sign, "=", "@", a tab or a carriage return it would take for a formula.
bool PlainNumber(std::string_view s) {
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  bool digitBefore = false;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      digitBefore = true;
    } else if ((c == '.' || c == ',') && digitBefore) {
      digitBefore = false;
    } else {
      return false;
    }
  }
  return digitBefore;
}

}  // namespace

std::string CsvField(std::string_view text) {
  std::string value;
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos &&
      !PlainNumber(text))
    value = "'";
  value += text;
  // A comma is quoted too: a spreadsheet set to read commas as the separator keeps the cell whole.
  const bool quote = value.find_first_of(";,\"\r\n") != std::string::npos ||
                     (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!quote) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string CsvText(const Definition& d, const Table& t) {
  std::string out(kBom);
  auto line = [&out](const std::vector<std::string_view>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i) out += ';';
      out += CsvField(fields[i]);
    }
    out += "\r\n";
  };
  std::vector<std::string_view> fields;
  if (d.group) fields.emplace_back(d.group->label);
  for (const std::string& title : t.titles) fields.emplace_back(title);
  line(fields);
  for (const TableRow& row : t.rows) {
    fields.clear();
    if (d.group) fields.emplace_back(row.group);
    for (const Cell& c : row.cells) fields.emplace_back(c.csv);
    line(fields);
  }
  return out;
}

void WriteCsv(const Definition& d, const Table& t, const std::filesystem::path& file) {
  OutputFile out(file);
  out.Write(CsvText(d, t));
  out.Commit();
}

std::vector<std::vector<std::string>> ParseCsv(std::string_view text) {
  if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  std::vector<std::vector<std::string>> lines;
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
      continue;
    }
    any = true;
    if (c == '"') {
      quoted = true;
    } else if (c == ';') {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      fields.push_back(std::move(field));
      field.clear();
      lines.push_back(std::move(fields));
      fields.clear();
      any = false;
    } else {
      field += c;
    }
  }
  if (any || !field.empty() || !fields.empty()) {
    fields.push_back(std::move(field));
    lines.push_back(std::move(fields));
  }
  return lines;
}

}  // namespace ger::report
