#include "data/field.h"

#include <cmath>
#include <fstream>
#include <iterator>

#include "core/editmask.h"
#include "core/exceptions.h"
#include "core/ptbr.h"
#include "core/utf8.h"
#include "data/dataset.h"

namespace ger {

namespace {

[[noreturn]] void NotNumeric(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' não é um valor numérico válido.");
}
[[noreturn]] void NotInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' não é um valor inteiro válido.");
}
[[noreturn]] void NotDate(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' não é uma data válida.");
}

double ParseFloatOrThrow(std::string_view text) {
  auto v = ptbr::ParseFloat(text);
  if (!v) NotNumeric(text);
  return *v;
}

std::int64_t ToInteger(double d, std::string_view original) {
  if (!std::isfinite(d) || d < -9.2e18 || d > 9.2e18) NotInteger(original);
  return static_cast<std::int64_t>(std::llround(d));
}

}  // namespace

TField::TField(TDataSet& dataset, FieldDef def, int index)
    : dataset_(dataset), def_(std::move(def)), index_(index) {}

const std::string& TField::DisplayLabel() const {
  return displayLabel_.empty() ? def_.name : displayLabel_;
}

void TField::SetDisplayLabel(std::string label) {
  displayLabel_ = std::move(label);
  dataset_.NotifyDataEvent(DataEvent::LayoutChange, this);
}

void TField::SetVisible(bool visible) {
  visible_ = visible;
  dataset_.NotifyDataEvent(DataEvent::LayoutChange, this);
}

void TField::SetEditMask(std::string mask) {
  editMask_ = std::move(mask);
  dataset_.NotifyDataEvent(DataEvent::LayoutChange, this);
}

void TField::SetDisplayFormat(std::string format) {
  displayFormat_ = std::move(format);
  dataset_.NotifyDataEvent(DataEvent::LayoutChange, this);
}

int TField::DisplayWidth() const {
  if (displayWidth_ > 0) return displayWidth_;
  if (def_.size > 0) return def_.size;
  return 10;  // numbers, dates and blobs have no size: the platform's default column width
}

void TField::SetDisplayWidth(int width) {
  displayWidth_ = width;
  dataset_.NotifyDataEvent(DataEvent::LayoutChange, this);
}

const Value& TField::GetValue() const {
  return dataset_.CurrentValue(index_);
}

bool TField::IsNull() const {
  return ger::IsNull(GetValue());
}

void TField::Clear() {
  SetValue(Value{});
}

// Brings a value to the field's kind before it is stored, so a row always holds the kinds its
// field list says (the codec and the change set rely on it).
void TField::SetValue(Value value) {
  dataset_.CheckEditing();
  if (readOnly_) throw EDatabaseError("Campo '" + DisplayLabel() + "' não pode ser modificado.");
  if (!ger::IsNull(value)) {
    switch (def_.kind) {
      case FieldKind::String:
      case FieldKind::Memo: {
        auto* s = std::get_if<std::string>(&value);
        if (!s) {
          // Another kind written to a text field is stored as its text.
          std::string text;
          if (auto* d = std::get_if<double>(&value))
            text = ptbr::FormatFloat(*d);
          else if (auto* i = std::get_if<std::int64_t>(&value))
            text = std::to_string(*i);
          else if (auto* dt = std::get_if<DateTime>(&value))
            text = ptbr::FormatDateTime(*dt);
          else
            text = std::get<Bytes>(value).data;
          value = std::move(text);
          s = std::get_if<std::string>(&value);
        }
        if (s->empty()) {
          value = Value{};
        } else if (def_.kind == FieldKind::String && def_.size > 0 &&
                   s->size() > static_cast<std::size_t>(def_.size)) {
          // Sizes count characters: never cut a multi-byte character in half.
          s->resize(utf8::Left(*s, static_cast<std::size_t>(def_.size)).size());
        }
        break;
      }
      case FieldKind::Float:
        if (auto* i = std::get_if<std::int64_t>(&value)) {
          value = static_cast<double>(*i);
        } else if (auto* s = std::get_if<std::string>(&value)) {
          SetAsString(*s);
          return;
        } else if (!std::holds_alternative<double>(value)) {
          throw EConvertError("Valor incompatível com o campo '" + DisplayLabel() + "'.");
        }
        break;
      case FieldKind::Integer:
        if (auto* d = std::get_if<double>(&value)) {
          value = ToInteger(*d, ptbr::FormatFloat(*d));
        } else if (auto* s = std::get_if<std::string>(&value)) {
          SetAsString(*s);
          return;
        } else if (!std::holds_alternative<std::int64_t>(value)) {
          throw EConvertError("Valor incompatível com o campo '" + DisplayLabel() + "'.");
        }
        break;
      case FieldKind::DateTime:
        if (auto* s = std::get_if<std::string>(&value)) {
          SetAsString(*s);
          return;
        } else if (!std::holds_alternative<DateTime>(value)) {
          throw EConvertError("Valor incompatível com o campo '" + DisplayLabel() + "'.");
        }
        break;
      case FieldKind::Blob:
        if (auto* s = std::get_if<std::string>(&value)) {
          value = Bytes{std::move(*s)};
        } else if (!std::holds_alternative<Bytes>(value)) {
          throw EConvertError("Valor incompatível com o campo '" + DisplayLabel() + "'.");
        }
        break;
    }
  }
  dataset_.SetCurrentValue(index_, std::move(value));
}

std::string TField::AsString() const {
  return std::visit(Overloaded{[](std::monostate) { return std::string(); },
                               [](const std::string& s) { return s; },
                               [](double d) { return ptbr::FormatFloat(d); },
                               [](std::int64_t i) { return std::to_string(i); },
                               [](const DateTime& t) { return ptbr::FormatDateTime(t); },
                               [](const Bytes& b) { return b.data; }},
                    GetValue());
}

void TField::SetAsString(std::string_view text) {
  dataset_.CheckEditing();  // before parsing: the state error is the one that explains
  switch (def_.kind) {
    case FieldKind::String:
    case FieldKind::Memo:
      SetValue(std::string(text));
      return;
    case FieldKind::Blob:
      SetValue(text.empty() ? Value{} : Value{Bytes{std::string(text)}});
      return;
    default:
      break;
  }
  if (utf8::Trim(text).empty()) {
    SetValue(Value{});
    return;
  }
  switch (def_.kind) {
    case FieldKind::Float:
      SetValue(ParseFloatOrThrow(text));
      return;
    case FieldKind::Integer: {
      auto v = ptbr::ParseInteger(text);
      if (!v) NotInteger(text);
      SetValue(*v);
      return;
    }
    case FieldKind::DateTime: {
      auto v = ptbr::ParseDate(text);
      if (!v) NotDate(text);
      SetValue(*v);
      return;
    }
    default:
      return;
  }
}

double TField::AsFloat() const {
  return std::visit(
      Overloaded{[](std::monostate) { return 0.0; },
                 [](const std::string& s) { return ParseFloatOrThrow(s); },
                 [](double d) { return d; }, [](std::int64_t i) { return static_cast<double>(i); },
                 [this](const auto&) -> double {  // a date, bytes
                   throw EConvertError("O campo '" + DisplayLabel() + "' não é numérico.");
                 }},
      GetValue());
}

void TField::SetAsFloat(double v) {
  SetValue(v);
}

std::int64_t TField::AsInteger() const {
  return std::visit(
      Overloaded{[](std::monostate) -> std::int64_t { return 0; },
                 [](const std::string& s) -> std::int64_t {
                   if (auto i = ptbr::ParseInteger(s)) return *i;
                   NotInteger(s);
                 },
                 [](double d) { return ToInteger(d, ptbr::FormatFloat(d)); },
                 [](std::int64_t i) { return i; },
                 [this](const auto&) -> std::int64_t {  // a date, bytes
                   throw EConvertError("O campo '" + DisplayLabel() + "' não é numérico.");
                 }},
      GetValue());
}

void TField::SetAsInteger(std::int64_t v) {
  SetValue(v);
}

DateTime TField::AsDateTime() const {
  const Value& v = GetValue();
  if (auto* dt = std::get_if<DateTime>(&v)) return *dt;
  if (auto* s = std::get_if<std::string>(&v)) {
    if (auto dt = ptbr::ParseDate(*s)) return *dt;
    NotDate(*s);
  }
  if (ger::IsNull(v)) return DateTime{};
  throw EConvertError("O campo '" + DisplayLabel() + "' não é uma data.");
}

void TField::SetAsDateTime(DateTime v) {
  SetValue(v);
}

Bytes TField::AsBytes() const {
  const Value& v = GetValue();
  if (auto* b = std::get_if<Bytes>(&v)) return *b;
  if (auto* s = std::get_if<std::string>(&v)) return Bytes{*s};
  if (ger::IsNull(v)) return Bytes{};
  throw EConvertError("O campo '" + DisplayLabel() + "' não é binário.");
}

void TField::SetAsBytes(Bytes v) {
  SetValue(std::move(v));
}

void TField::LoadFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EDatabaseError("Não foi possível ler o arquivo '" + path + "'.");
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EDatabaseError("Não foi possível ler o arquivo '" + path + "'.");
  SetValue(Bytes{std::move(data)});
}

Value TField::OldValue() const {
  return dataset_.OldValueOf(index_);
}

std::string TField::FormattedText(bool display) const {
  return std::visit(
      Overloaded{[](std::monostate) { return std::string(); },
                 [&](double d) {
                   if (display && !displayFormat_.empty())
                     return ptbr::FormatFloat(d, displayFormat_);
                   return ptbr::FormatFloat(d);
                 },
                 [&](std::int64_t i) {
                   if (display && !displayFormat_.empty())
                     return ptbr::FormatFloat(static_cast<double>(i), displayFormat_);
                   return std::to_string(i);
                 },
                 // A picture or document is not text; grids show a marker instead of its bytes.
                 [&](const Bytes&) { return display ? std::string("(BLOB)") : std::string(); },
                 [&](const auto&) {  // a text or a date
                   // A text with an edit mask is shown as the mask shows it ("52998224725"
                   // under a CPF mask reads "529.982.247-25").
                   if (display && def_.kind == FieldKind::String && !editMask_.empty())
                     return ger::EditMask(editMask_).Format(AsString());
                   return AsString();
                 }},
      GetValue());
}

std::string TField::DisplayText() const {
  if (OnGetText) {
    std::string text;
    OnGetText(const_cast<TField&>(*this), text, true);
    return text;
  }
  return FormattedText(true);
}

std::string TField::Text() const {
  if (OnGetText) {
    std::string text;
    OnGetText(const_cast<TField&>(*this), text, false);
    return text;
  }
  return FormattedText(false);
}

void TField::SetText(std::string_view text) {
  if (OnSetText) {
    OnSetText(*this, std::string(text));
    return;
  }
  SetAsString(text);
}

void TField::FocusControl() {
  dataset_.FocusControl(*this);
}

bool TField::IsValidChar(char32_t ch) const {
  bool digit = ch >= U'0' && ch <= U'9';
  switch (def_.kind) {
    case FieldKind::Float:
      return digit || ch == U'+' || ch == U'-' || ch == U',' || ch == U'e' || ch == U'E';
    case FieldKind::Integer:
      return digit || ch == U'+' || ch == U'-';
    default:
      return true;
  }
}

char32_t TField::TypedChar(char32_t ch) const {
  return ch == U'.' && def_.kind == FieldKind::Float ? U',' : ch;
}

}  // namespace ger
