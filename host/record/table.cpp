#include "record/table.h"

#include <stdexcept>
#include <string>

#include "core/utf8.h"
#include "data/dataset.h"

namespace ger::record {

namespace {

TField& AddField(TDataSet& dataset, FieldDef def, const Shown& shown) {
  TField& field = dataset.AddField(std::move(def));
  if (!shown.label.empty()) field.SetDisplayLabel(std::string(shown.label));
  if (!shown.mask.empty()) field.SetEditMask(std::string(shown.mask));
  if (!shown.displayFormat.empty()) field.SetDisplayFormat(std::string(shown.displayFormat));
  if (shown.displayWidth) field.SetDisplayWidth(shown.displayWidth);
  field.SetVisible(shown.visible);
  field.SetRequired(shown.required);
  field.SetReadOnly(shown.readOnly);
  return field;
}

}  // namespace

FieldDef Column::Def() const {
  return FieldDef{std::string(name), kind, size, flags};
}

const Column* Table::Find(std::string_view column) const {
  for (const Column& c : columns)
    if (utf8::SameText(c.name, column)) return &c;
  return nullptr;
}

const Column& Table::operator[](std::string_view column) const {
  if (const Column* c = Find(column)) return *c;
  throw std::out_of_range("table " + std::string(name) + " has no column " + std::string(column));
}

bool Table::IsKey(std::string_view column) const {
  for (std::string_view k : key)
    if (utf8::SameText(k, column)) return true;
  return false;
}

std::vector<FieldDef> Table::Fields() const {
  std::vector<FieldDef> out;
  out.reserve(columns.size());
  for (const Column& c : columns) out.push_back(c.Def());
  return out;
}

FieldDef DatasetField::Def() const {
  const Column& c = Source();
  return FieldDef{std::string(c.name), c.kind, c.size, flags};
}

void DefineFields(TDataSet& dataset, const Table& table) {
  for (const Column& c : table.columns) AddField(dataset, c.Def(), c.shown);
}

void DefineFields(TDataSet& dataset, const Dataset& declared) {
  for (const DatasetField& f : declared.fields) AddField(dataset, f.Def(), f.shown);
}

}  // namespace ger::record
