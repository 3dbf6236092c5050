#include "data/dataset.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/exceptions.h"
#include "core/ptbr.h"
#include "core/utf8.h"
#include "data/datasource.h"

namespace ger {

namespace {

enum class RowStatus : std::uint8_t {
  Base,      // as loaded or last merged
  Modified,  // edited since; the base values are kept aside
  Inserted,  // posted since the last merge
  Deleted,   // deleted since the last merge; values are the base values
  Fresh,     // being inserted, not posted yet
};

bool Compatible(FieldKind field, FieldKind column) {
  auto text = [](FieldKind k) { return k == FieldKind::String || k == FieldKind::Memo; };
  auto number = [](FieldKind k) { return k == FieldKind::Float || k == FieldKind::Integer; };
  return field == column || (text(field) && text(column)) || (number(field) && number(column));
}

// Brings a packet value, already decoded, to the field's kind; false when it cannot be.
bool Conform(FieldKind kind, Value& v) {
  return codec::ConformValue(kind, v, codec::TextForm::Decoded);
}

const Value kNull{};

}  // namespace

struct TDataSet::Record {
  std::uint64_t id = 0;
  Row values;                   // as shown
  std::optional<Row> original;  // base values of a Modified row
  RowStatus status = RowStatus::Base;
  std::uint64_t logSeq = 0;  // order of the first change since the last merge; 0 = unchanged
};

struct TDataSet::Store {
  // Every row, base order, deleted rows included (so cancelling updates puts them back in place).
  std::vector<std::unique_ptr<Record>> all;
  // The rows as shown, in order.
  std::vector<Record*> view;
  int cur = -1;
  Row buffer;  // edit buffer while editing or inserting
  std::uint64_t nextId = 1;
  std::uint64_t nextSeq = 1;
  std::uint64_t returnId = 0;                   // row that was current when an insert began
  std::unordered_map<std::string, int> byName;  // by utf8::ToUpper, the fold of SameText
  bool persistent = false;  // fields added by the program, not taken from a packet
  DataSetState stateAtDisable = DataSetState::Inactive;
  int peek = -1;  // row read by a RowPeek, -1 when none

  Record* Current() const {
    return cur >= 0 && cur < static_cast<int>(view.size()) ? view[cur] : nullptr;
  }
  bool Peeking() const { return peek >= 0 && peek != cur; }
  // The row the fields read: the peeked one, else the current one.
  Record* Read() const {
    if (!Peeking()) return Current();
    return peek < static_cast<int>(view.size()) ? view[peek] : nullptr;
  }
  int ViewIndexOf(std::uint64_t id) const {
    for (std::size_t i = 0; i < view.size(); ++i)
      if (view[i]->id == id) return static_cast<int>(i);
    return -1;
  }
  void Erase(Record* r) {
    auto it = std::find_if(all.begin(), all.end(), [&](const auto& p) { return p.get() == r; });
    if (it != all.end()) all.erase(it);
  }
  void ClearRows() {
    all.clear();
    view.clear();
    cur = -1;
    buffer.clear();
    returnId = 0;
  }
};

std::string_view StateName(DataSetState state) {
  switch (state) {
    case DataSetState::Inactive:
      return "inactive";
    case DataSetState::Browse:
      return "browse";
    case DataSetState::Edit:
      return "edit";
    case DataSetState::Insert:
      return "insert";
  }
  return "inactive";
}

TDataSet::TDataSet(std::string name) : name_(std::move(name)), store_(std::make_unique<Store>()) {}

// Sources outlive or predecease their dataset in any order: the dataset only unhooks them here,
// without calling back into controls that may be half destroyed.
TDataSet::~TDataSet() {
  for (TDataSource* s : sources_) {
    s->dataset_ = nullptr;
    s->lastState_ = DataSetState::Inactive;
  }
}

// ---------------------------------------------------------------------------------------------
// Fields

TField& TDataSet::AddField(FieldDef def) {
  if (Active()) throw EDatabaseError("Operação não permitida em um conjunto de dados aberto.");
  if (FindField(def.name)) throw EDatabaseError("Campo '" + def.name + "' já existe.");
  int index = FieldCount();
  fields_.push_back(std::make_unique<TField>(*this, std::move(def), index));
  store_->byName.emplace(utf8::ToUpper(fields_.back()->FieldName()), index);
  store_->persistent = true;
  return *fields_.back();
}

void TDataSet::IndexFields() {
  store_->byName.clear();
  for (const auto& f : fields_) store_->byName.emplace(utf8::ToUpper(f->FieldName()), f->Index());
}

TField* TDataSet::FindField(std::string_view name) {
  auto it = store_->byName.find(utf8::ToUpper(name));
  return it == store_->byName.end() ? nullptr : fields_[it->second].get();
}

TField& TDataSet::FieldByName(std::string_view name) {
  if (TField* f = FindField(name)) return *f;
  throw EDatabaseError("Campo '" + std::string(name) + "' não encontrado.");
}

const TField& TDataSet::FieldByName(std::string_view name) const {
  return const_cast<TDataSet*>(this)->FieldByName(name);
}

std::vector<FieldDef> TDataSet::FieldDefs() const {
  std::vector<FieldDef> defs;
  defs.reserve(fields_.size());
  for (const auto& f : fields_) defs.push_back(f->Def());
  return defs;
}

// ---------------------------------------------------------------------------------------------
// State, events, notification

void TDataSet::Fire(const Event& event) {
  if (event) event(*this);
}

void TDataSet::SetState(DataSetState state) {
  if (state_ == state) return;
  state_ = state;
  NotifyDataEvent(DataEvent::StateChange);
}

void TDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError("Operação não permitida em um conjunto de dados fechado.");
}

void TDataSet::CheckEditing() const {
  if (store_->peek >= 0)
    throw EDatabaseError("Os campos não podem ser alterados durante a leitura de outro registro.");
  if (!IsEditing(state_))
    throw EDatabaseError("Conjunto de dados não está em modo de edição ou inserção.");
}

void TDataSet::DoBeforeScroll() {
  Fire(BeforeScroll);
}
void TDataSet::DoAfterScroll() {
  Fire(AfterScroll);
}

void TDataSet::AttachDataSource(TDataSource* source) {
  if (source && std::find(sources_.begin(), sources_.end(), source) == sources_.end())
    sources_.push_back(source);
}

void TDataSet::DetachDataSource(TDataSource* source) {
  std::erase(sources_, source);
}

void TDataSet::NotifyDataEvent(DataEvent event, TField* field) {
  if (event != DataEvent::DataSetScroll && event != DataEvent::StateChange &&
      event != DataEvent::UpdateRecord && event != DataEvent::LayoutChange)
    ++generation_;
  if (disableCount_ > 0 && event != DataEvent::UpdateRecord) return;
  // A handler may detach or destroy a source while we walk: work on a copy and skip the gone.
  std::vector<TDataSource*> snapshot = sources_;
  for (TDataSource* s : snapshot)
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end())
      s->DataEvent(event, field);
}

void TDataSet::UpdateRecord() {
  NotifyDataEvent(DataEvent::UpdateRecord);
}

bool TDataSet::FocusControl(TField& field) {
  std::vector<TDataSource*> snapshot = sources_;
  for (TDataSource* s : snapshot)
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end() && s->FocusControl(field))
      return true;
  return false;
}

void TDataSet::DisableControls() {
  if (disableCount_++ == 0) store_->stateAtDisable = state_;
}

void TDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ == 0) {
    if (state_ != store_->stateAtDisable) NotifyDataEvent(DataEvent::StateChange);
    NotifyDataEvent(DataEvent::DataSetChange);
  }
}

// ---------------------------------------------------------------------------------------------
// Open, close, cursor

void TDataSet::Open() {
  if (Active()) return;
  Fire(BeforeOpen);
  store_->ClearRows();
  bof_ = eof_ = true;
  modified_ = false;
  SetState(DataSetState::Browse);
  NotifyDataEvent(DataEvent::DataSetChange);
  Fire(AfterOpen);
}

void TDataSet::Close() {
  if (!Active()) return;
  Fire(BeforeClose);
  store_->ClearRows();
  bof_ = eof_ = true;
  modified_ = false;
  SetState(DataSetState::Inactive);
  Fire(AfterClose);
}

bool TDataSet::IsEmpty() const {
  return store_->view.empty();
}
int TDataSet::RecordCount() const {
  return static_cast<int>(store_->view.size());
}
int TDataSet::RecNo() const {
  return store_->Current() ? store_->cur + 1 : 0;
}

void TDataSet::MoveCursor(int index) {
  store_->cur = index;
  NotifyDataEvent(DataEvent::DataSetScroll);
}

void TDataSet::First() {
  CheckActive();
  CheckBrowseMode();
  DoBeforeScroll();
  bool empty = store_->view.empty();
  MoveCursor(empty ? -1 : 0);
  bof_ = true;
  eof_ = empty;
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckActive();
  CheckBrowseMode();
  DoBeforeScroll();
  bool empty = store_->view.empty();
  MoveCursor(static_cast<int>(store_->view.size()) - 1);
  eof_ = true;
  bof_ = empty;
  DoAfterScroll();
}

void TDataSet::Next() {
  CheckActive();
  CheckBrowseMode();
  DoBeforeScroll();
  if (store_->cur + 1 < static_cast<int>(store_->view.size())) {
    MoveCursor(store_->cur + 1);
    bof_ = eof_ = false;
  } else {
    eof_ = true;
  }
  DoAfterScroll();
}

void TDataSet::Prior() {
  CheckActive();
  CheckBrowseMode();
  DoBeforeScroll();
  if (store_->cur > 0) {
    MoveCursor(store_->cur - 1);
    bof_ = eof_ = false;
  } else {
    bof_ = true;
  }
  DoAfterScroll();
}

void TDataSet::SetRecNo(int recNo) {
  CheckActive();
  CheckBrowseMode();
  if (recNo < 1 || recNo > RecordCount()) return;
  DoBeforeScroll();
  MoveCursor(recNo - 1);
  bof_ = eof_ = false;
  DoAfterScroll();
}

// ---------------------------------------------------------------------------------------------
// Editing

void TDataSet::Insert() {
  DoInsert(false);
}
void TDataSet::Append() {
  DoInsert(true);
}

void TDataSet::DoInsert(bool append) {
  CheckActive();
  CheckBrowseMode();
  Fire(BeforeInsert);
  DoBeforeScroll();
  Store& st = *store_;
  Record* previous = st.Current();
  st.returnId = previous ? previous->id : 0;
  auto rec = std::make_unique<Record>();
  rec->id = st.nextId++;
  rec->values.resize(fields_.size());
  rec->status = RowStatus::Fresh;
  Record* raw = rec.get();
  int pos;
  if (append || !previous) {
    pos = static_cast<int>(st.view.size());
    st.all.push_back(std::move(rec));
  } else {
    // Before the current row, in the shown order and in the base order alike.
    pos = st.cur;
    auto it = std::find_if(st.all.begin(), st.all.end(),
                           [&](const auto& p) { return p.get() == previous; });
    st.all.insert(it, std::move(rec));
  }
  st.view.insert(st.view.begin() + pos, raw);
  st.cur = pos;
  st.buffer.assign(fields_.size(), Value{});
  bof_ = eof_ = false;
  SetState(DataSetState::Insert);
  try {
    Fire(OnNewRecord);
  } catch (...) {
    // Defaults that cannot be set leave no half-made row behind.
    DropFreshRow();
    st.buffer.clear();
    modified_ = false;
    SetState(DataSetState::Browse);
    NotifyDataEvent(DataEvent::DataSetChange);
    throw;
  }
  modified_ = false;  // defaults alone do not make the new row worth keeping
  NotifyDataEvent(DataEvent::DataSetChange);
  Fire(AfterInsert);
  DoAfterScroll();
}

void TDataSet::DropFreshRow() {
  Store& st = *store_;
  Record* r = st.Current();
  if (!r || r->status != RowStatus::Fresh) return;
  st.view.erase(st.view.begin() + st.cur);
  st.Erase(r);
  int back = st.returnId ? st.ViewIndexOf(st.returnId) : -1;
  if (back < 0) back = std::min(st.cur, static_cast<int>(st.view.size()) - 1);
  st.cur = back;
  bof_ = eof_ = st.view.empty();
}

void TDataSet::Edit() {
  CheckActive();
  if (IsEditing(state_)) return;
  if (IsEmpty()) {
    Insert();
    return;
  }
  Fire(BeforeEdit);
  store_->buffer = store_->Current()->values;
  modified_ = false;
  SetState(DataSetState::Edit);
  Fire(AfterEdit);
}

void TDataSet::Post() {
  CheckActive();
  UpdateRecord();
  if (!IsEditing(state_)) return;
  Fire(BeforePost);
  Store& st = *store_;
  for (const auto& f : fields_)
    if (f->Required() && ger::IsNull(st.buffer[f->Index()]))
      throw EDatabaseError("Campo '" + f->DisplayLabel() + "' deve ser informado.");
  Record* r = st.Current();
  if (state_ == DataSetState::Insert) {
    r->values = std::move(st.buffer);
    r->status = RowStatus::Inserted;
    r->logSeq = st.nextSeq++;
  } else if (st.buffer != r->values) {
    switch (r->status) {
      case RowStatus::Base:
        r->original = std::move(r->values);
        r->values = std::move(st.buffer);
        r->status = RowStatus::Modified;
        r->logSeq = st.nextSeq++;
        break;
      case RowStatus::Modified:
        r->values = std::move(st.buffer);
        if (r->values == *r->original) {  // edited back to what it was: nothing pending
          r->original.reset();
          r->status = RowStatus::Base;
          r->logSeq = 0;
        }
        break;
      default:  // Inserted: still one insert, with the latest values
        r->values = std::move(st.buffer);
        break;
    }
  }
  st.buffer.clear();
  modified_ = false;
  SetState(DataSetState::Browse);
  NotifyDataEvent(DataEvent::RecordChange);
  Fire(AfterPost);
}

void TDataSet::Cancel() {
  if (!IsEditing(state_)) return;
  Fire(BeforeCancel);
  bool inserting = state_ == DataSetState::Insert;
  if (inserting) DropFreshRow();
  store_->buffer.clear();
  modified_ = false;
  SetState(DataSetState::Browse);
  NotifyDataEvent(inserting ? DataEvent::DataSetChange : DataEvent::RecordChange);
  Fire(AfterCancel);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == DataSetState::Insert) {
    Cancel();
    return;
  }
  if (IsEmpty()) throw EDatabaseError("Operação não permitida em um conjunto de dados vazio.");
  Fire(BeforeDelete);
  DoBeforeScroll();
  Store& st = *store_;
  Record* r = st.Current();
  st.view.erase(st.view.begin() + st.cur);
  switch (r->status) {
    case RowStatus::Inserted:  // never reached the base: nothing to tell anyone
      st.Erase(r);
      break;
    case RowStatus::Modified:  // the server must find the row by what it had
      r->values = std::move(*r->original);
      r->original.reset();
      r->status = RowStatus::Deleted;
      break;
    default:
      r->status = RowStatus::Deleted;
      r->logSeq = st.nextSeq++;
      break;
  }
  st.cur = std::min(st.cur, static_cast<int>(st.view.size()) - 1);
  bof_ = eof_ = st.view.empty();
  st.buffer.clear();
  modified_ = false;
  SetState(DataSetState::Browse);
  NotifyDataEvent(DataEvent::DataSetChange);
  Fire(AfterDelete);
  DoAfterScroll();
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (!IsEditing(state_)) return;
  UpdateRecord();
  if (modified_)
    Post();
  else
    Cancel();
}

const Value& TDataSet::CurrentValue(int index) const {
  if (!store_->Peeking() && (IsEditing(state_)))
    return store_->buffer.at(static_cast<std::size_t>(index));
  if (Record* r = store_->Read()) return r->values.at(static_cast<std::size_t>(index));
  return kNull;
}

TDataSet::RowPeek::RowPeek(TDataSet& dataset, int index)
    : dataset_(dataset), outer_(dataset.store_->peek) {
  dataset.CheckActive();
  if (index < 0 || index >= dataset.RecordCount()) throw EDatabaseError("Registro não encontrado.");
  dataset.store_->peek = index;
}

TDataSet::RowPeek::~RowPeek() {
  dataset_.store_->peek = outer_;
}

void TDataSet::SetCurrentValue(int index, Value value) {
  CheckEditing();
  store_->buffer.at(static_cast<std::size_t>(index)) = std::move(value);
  modified_ = true;
  TField* field = fields_.at(static_cast<std::size_t>(index)).get();
  NotifyDataEvent(DataEvent::FieldChange, field);
  if (field->OnChange) field->OnChange(*field);
}

Value TDataSet::OldValueOf(int index) const {
  Record* r = store_->Read();
  if (!r) return {};
  switch (r->status) {
    case RowStatus::Fresh:
    case RowStatus::Inserted:
      return {};
    case RowStatus::Modified:
      return r->original->at(static_cast<std::size_t>(index));
    default:
      return r->values.at(static_cast<std::size_t>(index));
  }
}

// ---------------------------------------------------------------------------------------------
// Locate and bookmarks

namespace {

// The key value in the field's terms: a text typed for a number or a date is read pt-BR.
std::optional<Value> KeyFor(const TField& f, const Value& key) {
  const auto* text = std::get_if<std::string>(&key);
  switch (f.Kind()) {
    case FieldKind::String:
    case FieldKind::Memo: {
      std::string s;
      if (text)
        s = *text;
      else if (auto* d = std::get_if<double>(&key))
        s = ptbr::FormatFloat(*d);
      else if (auto* i = std::get_if<std::int64_t>(&key))
        s = std::to_string(*i);
      else if (ger::IsNull(key))
        return Value{};
      else
        return std::nullopt;
      return Value{std::move(s)};
    }
    case FieldKind::Float:
    case FieldKind::Integer:
      if (text) {
        auto d = ptbr::ParseFloat(*text);
        if (!d) return std::nullopt;
        return Value{*d};
      }
      if (auto* i = std::get_if<std::int64_t>(&key)) return Value{static_cast<double>(*i)};
      return key;
    case FieldKind::DateTime:
      if (text) {
        auto d = ptbr::ParseDate(*text);
        if (!d) return std::nullopt;
        return Value{*d};
      }
      return key;
    case FieldKind::Blob:
      if (text) return Value{Bytes{*text}};
      return key;
  }
  return key;
}

bool Matches(const TField& f, const Value& cell, const Value& key, LocateOptions opt) {
  if (ger::IsNull(key)) return ger::IsNull(cell);
  switch (f.Kind()) {
    case FieldKind::String:
    case FieldKind::Memo: {
      const std::string& k = std::get<std::string>(key);
      const auto* c = std::get_if<std::string>(&cell);
      std::string_view cs = c ? std::string_view(*c) : std::string_view();
      if (opt.partialKey) cs = utf8::Left(cs, utf8::Length(k));
      return opt.caseInsensitive ? utf8::SameText(cs, k) : cs == k;
    }
    case FieldKind::Float:
    case FieldKind::Integer: {
      double k = std::get<double>(key);
      if (auto* d = std::get_if<double>(&cell)) return *d == k;
      if (auto* i = std::get_if<std::int64_t>(&cell)) return static_cast<double>(*i) == k;
      return false;
    }
    default:
      return cell == key;
  }
}

}  // namespace

bool TDataSet::Locate(std::string_view keyFields, const std::vector<Value>& values,
                      LocateOptions options) {
  CheckActive();
  CheckBrowseMode();
  std::vector<const TField*> keys;
  for (std::size_t start = 0; start <= keyFields.size();) {
    std::size_t end = keyFields.find(';', start);
    if (end == std::string_view::npos) end = keyFields.size();
    std::string_view name = utf8::Trim(keyFields.substr(start, end - start));
    if (!name.empty()) keys.push_back(&FieldByName(name));
    start = end + 1;
  }
  if (keys.empty() || keys.size() != values.size())
    throw EDatabaseError("Localização com " + std::to_string(values.size()) + " valores para " +
                         std::to_string(keys.size()) + " campos.");
  std::vector<Value> wanted;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    auto k = KeyFor(*keys[i], values[i]);
    if (!k) return false;  // a key that cannot be of the field's kind matches nothing
    wanted.push_back(std::move(*k));
  }
  const auto& view = store_->view;
  for (std::size_t row = 0; row < view.size(); ++row) {
    bool all = true;
    for (std::size_t i = 0; i < keys.size() && all; ++i)
      all = Matches(*keys[i], view[row]->values[keys[i]->Index()], wanted[i], options);
    if (all) {
      DoBeforeScroll();
      MoveCursor(static_cast<int>(row));
      bof_ = eof_ = false;
      DoAfterScroll();
      return true;
    }
  }
  return false;
}

TDataSet::Bookmark TDataSet::GetBookmark() const {
  if (Record* r = store_->Current()) return r->id;
  return std::nullopt;
}

bool TDataSet::BookmarkValid(const Bookmark& bookmark) const {
  return bookmark && store_->ViewIndexOf(*bookmark) >= 0;
}

void TDataSet::GotoBookmark(const Bookmark& bookmark) {
  CheckActive();
  CheckBrowseMode();
  int index = bookmark ? store_->ViewIndexOf(*bookmark) : -1;
  if (index < 0) throw EDatabaseError("Registro não encontrado.");
  DoBeforeScroll();
  MoveCursor(index);
  bof_ = eof_ = false;
  DoAfterScroll();
}

// ---------------------------------------------------------------------------------------------
// Packets and the change log

void TDataSet::SetData(const DataPacket& packet) {
  Load(packet, nullptr);
}

void TDataSet::SetData(DataPacket&& packet) {
  Load(packet, &packet);
}

// Everything that can fail is checked before anything changes: a packet that does not fit leaves
// the dataset exactly as it was.
void TDataSet::Load(const DataPacket& packet, DataPacket* owned) {
  const auto& cols = packet.fields;
  for (std::size_t i = 0; i < cols.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (utf8::SameText(cols[i].name, cols[j].name))
        throw EDatabaseError("Pacote de dados inválido: o campo '" + cols[i].name +
                             "' aparece mais de uma vez.");

  // Which packet column feeds each field, and the kind it must have.
  std::vector<int> source;
  std::vector<FieldKind> kinds;
  std::vector<FieldDef> newDefs;
  const bool persistent = store_->persistent;
  if (persistent) {
    for (const auto& f : fields_) {
      int j = packet.IndexOf(f->FieldName());
      if (j < 0)
        throw EDatabaseError("Campo '" + f->FieldName() + "' não encontrado no pacote de dados.");
      if (!Compatible(f->Kind(), cols[j].kind))
        throw EDatabaseError(
            "Campo '" + f->FieldName() + "' é do tipo " + std::string(FieldKindName(f->Kind())) +
            " e o pacote de dados o traz como " + std::string(FieldKindName(cols[j].kind)) + ".");
      source.push_back(j);
      kinds.push_back(f->Kind());
    }
  } else {
    newDefs = cols;
    for (std::size_t j = 0; j < cols.size(); ++j) {
      source.push_back(static_cast<int>(j));
      kinds.push_back(cols[j].kind);
    }
  }
  bool identity = source.size() == cols.size();
  for (std::size_t i = 0; identity && i < source.size(); ++i)
    identity = source[i] == static_cast<int>(i);

  auto badValue = [&](std::size_t row, std::size_t col) {
    throw EDatabaseError("Pacote de dados inválido: linha " + std::to_string(row + 1) +
                         ", campo '" + cols[col].name + "': valor incompatível com o tipo " +
                         std::string(FieldKindName(kinds[col])) + ".");
  };
  std::vector<Row> rows;
  rows.reserve(packet.rows.size());
  for (std::size_t r = 0; r < packet.rows.size(); ++r) {
    const Row& in = packet.rows[r];
    if (in.size() != cols.size())
      throw EDatabaseError("Pacote de dados inválido: linha " + std::to_string(r + 1) + " tem " +
                           std::to_string(in.size()) + " valores, esperados " +
                           std::to_string(cols.size()) + ".");
    if (identity) {
      // Not one push_back of `owned ? std::move(..) : in`: that conditional is a const prvalue,
      // which push_back copies, strings and all.
      if (owned)
        rows.push_back(std::move(owned->rows[r]));
      else
        rows.push_back(in);
      Row& out = rows.back();
      for (std::size_t c = 0; c < out.size(); ++c)
        if (!Conform(kinds[c], out[c])) badValue(r, c);
    } else {
      Row out;
      out.reserve(source.size());
      for (std::size_t c = 0; c < source.size(); ++c) {
        out.push_back(in[source[c]]);
        if (!Conform(kinds[c], out.back())) {
          throw EDatabaseError("Pacote de dados inválido: linha " + std::to_string(r + 1) +
                               ", campo '" + fields_[c]->FieldName() +
                               "': valor incompatível com o tipo " +
                               std::string(FieldKindName(kinds[c])) + ".");
        }
      }
      rows.push_back(std::move(out));
    }
  }

  // From here on nothing fails but the program's own event handlers.
  Cancel();
  Fire(BeforeOpen);
  if (!persistent && FieldDefs() != newDefs) {
    fields_.clear();
    for (std::size_t i = 0; i < newDefs.size(); ++i)
      fields_.push_back(std::make_unique<TField>(*this, newDefs[i], static_cast<int>(i)));
    IndexFields();
  }
  Store& st = *store_;
  st.ClearRows();
  st.all.reserve(rows.size());
  st.view.reserve(rows.size());
  for (Row& row : rows) {
    auto rec = std::make_unique<Record>();
    rec->id = st.nextId++;
    rec->values = std::move(row);
    st.view.push_back(rec.get());
    st.all.push_back(std::move(rec));
  }
  st.cur = st.view.empty() ? -1 : 0;
  bof_ = true;
  eof_ = st.view.empty();
  modified_ = false;
  SetState(DataSetState::Browse);
  NotifyDataEvent(DataEvent::DataSetChange);
  Fire(AfterOpen);
  if (!st.view.empty()) DoAfterScroll();
}

DataPacket TDataSet::Data() const {
  DataPacket p;
  p.fields = FieldDefs();
  p.rows.reserve(store_->view.size());
  for (const Record* r : store_->view)
    if (r->status != RowStatus::Fresh) p.rows.push_back(r->values);
  return p;
}

ChangeSet TDataSet::GetDelta() const {
  std::vector<const Record*> logged;
  for (const auto& r : store_->all)
    if (r->logSeq) logged.push_back(r.get());
  std::sort(logged.begin(), logged.end(),
            [](const Record* a, const Record* b) { return a->logSeq < b->logSeq; });
  ChangeSet cs;
  cs.fields = FieldDefs();
  cs.changes.reserve(logged.size());
  for (const Record* r : logged) {
    Change c;
    switch (r->status) {
      case RowStatus::Inserted:
        c.kind = ChangeKind::Insert;
        c.newValues = r->values;
        break;
      case RowStatus::Modified:
        c.kind = ChangeKind::Update;
        c.oldValues = *r->original;
        c.newValues = r->values;
        break;
      case RowStatus::Deleted:
        c.kind = ChangeKind::Delete;
        c.oldValues = r->values;
        break;
      default:
        continue;
    }
    cs.changes.push_back(std::move(c));
  }
  return cs;
}

int TDataSet::GetChangeCount() const {
  int n = 0;
  for (const auto& r : store_->all)
    if (r->logSeq) ++n;
  return n;
}

void TDataSet::MergeChangeLog() {
  Store& st = *store_;
  std::erase_if(st.all, [](const auto& r) { return r->status == RowStatus::Deleted; });
  for (auto& r : st.all) {
    if (r->status == RowStatus::Fresh) continue;
    r->status = RowStatus::Base;
    r->original.reset();
    r->logSeq = 0;
  }
}

void TDataSet::CancelUpdates() {
  if (!Active()) return;
  Cancel();
  Store& st = *store_;
  Record* current = st.Current();
  std::uint64_t currentId = current ? current->id : 0;
  int oldCur = st.cur;
  std::erase_if(st.all, [](const auto& r) { return r->status == RowStatus::Inserted; });
  st.view.clear();
  for (auto& r : st.all) {
    if (r->status == RowStatus::Modified) r->values = std::move(*r->original);
    r->original.reset();
    r->status = RowStatus::Base;
    r->logSeq = 0;
    st.view.push_back(r.get());
  }
  // Stay on the same row when it is still there, else on the same position.
  int index = currentId ? st.ViewIndexOf(currentId) : -1;
  if (index < 0) index = std::min(std::max(oldCur, 0), static_cast<int>(st.view.size()) - 1);
  st.cur = index;
  bof_ = eof_ = st.view.empty();
  NotifyDataEvent(DataEvent::DataSetChange);
}

void TDataSet::CopyFrom(const TDataSet& source) {
  SetData(source.Data());
}

void TDataSet::EmptyDataSet() {
  CheckActive();
  Cancel();
  store_->ClearRows();
  bof_ = eof_ = true;
  NotifyDataEvent(DataEvent::DataSetChange);
}

std::vector<std::string> TDataSet::MergeRows(const DataPacket& rows, std::string_view keyField,
                                             const std::vector<std::string>& removedKeys) {
  CheckActive();
  TField& keyFieldRef = FieldByName(keyField);
  const int key = keyFieldRef.Index();
  const int packetKey = rows.IndexOf(keyField);
  if (!rows.rows.empty() && packetKey < 0)
    throw EDatabaseError("Campo '" + std::string(keyField) +
                         "' não encontrado no pacote de dados.");
  // Which field each packet column feeds (-1: none), checked before anything changes.
  std::vector<int> target(rows.fields.size(), -1);
  for (std::size_t j = 0; j < rows.fields.size(); ++j)
    if (TField* f = FindField(rows.fields[j].name)) target[j] = f->Index();
  std::vector<Row> incoming;
  incoming.reserve(rows.rows.size());
  for (std::size_t r = 0; r < rows.rows.size(); ++r) {
    const Row& in = rows.rows[r];
    if (in.size() != rows.fields.size())
      throw EDatabaseError("Pacote de dados inválido: linha " + std::to_string(r + 1) + " tem " +
                           std::to_string(in.size()) + " valores, esperados " +
                           std::to_string(rows.fields.size()) + ".");
    Row out = in;
    for (std::size_t j = 0; j < out.size(); ++j)
      if (target[j] >= 0 && !Conform(fields_[static_cast<std::size_t>(target[j])]->Kind(), out[j]))
        throw EDatabaseError(
            "Pacote de dados inválido: linha " + std::to_string(r + 1) + ", campo '" +
            rows.fields[j].name + "': valor incompatível com o tipo " +
            std::string(FieldKindName(fields_[static_cast<std::size_t>(target[j])]->Kind())) + ".");
    incoming.push_back(std::move(out));
  }

  Store& st = *store_;
  Record* current = st.Current();
  const int position = st.cur;
  const bool editing = IsEditing(state_);
  auto keyOf = [&](const Record& r) -> std::string {
    const auto* s = std::get_if<std::string>(&r.values[static_cast<std::size_t>(key)]);
    return s ? *s : std::string();
  };
  auto find = [&](const std::string& k) -> Record* {
    for (Record* r : st.view)
      if (keyOf(*r) == k) return r;
    return nullptr;
  };
  auto held = [&](const Record* r) {
    return r->status != RowStatus::Base || (editing && r == current);
  };
  std::vector<std::string> kept;
  for (Row& in : incoming) {
    const auto* k = std::get_if<std::string>(&in[static_cast<std::size_t>(packetKey)]);
    if (!k) continue;
    if (Record* r = find(*k)) {
      if (held(r)) {
        kept.push_back(*k);
        continue;
      }
      for (std::size_t j = 0; j < in.size(); ++j)
        if (target[j] >= 0) r->values[static_cast<std::size_t>(target[j])] = std::move(in[j]);
      continue;
    }
    auto rec = std::make_unique<Record>();
    rec->id = st.nextId++;
    rec->values.resize(fields_.size());
    for (std::size_t j = 0; j < in.size(); ++j)
      if (target[j] >= 0) rec->values[static_cast<std::size_t>(target[j])] = std::move(in[j]);
    const std::string newKey = *k;
    auto at = std::find_if(st.view.begin(), st.view.end(),
                           [&](const Record* r) { return keyOf(*r) > newKey; });
    st.view.insert(at, rec.get());
    st.all.push_back(std::move(rec));
  }
  for (const std::string& k : removedKeys) {
    Record* r = find(k);
    if (!r) continue;
    if (held(r)) {
      kept.push_back(k);
      continue;
    }
    st.view.erase(std::find(st.view.begin(), st.view.end(), r));
    if (r == current) current = nullptr;
    st.Erase(r);
  }
  // A row posted here (an include) sits where it was typed; the server's order is the key's.
  auto byKey = [&](const Record* a, const Record* b) { return keyOf(*a) < keyOf(*b); };
  if (!std::is_sorted(st.view.begin(), st.view.end(), byKey))
    std::stable_sort(st.view.begin(), st.view.end(), byKey);
  if (current) {
    st.cur = static_cast<int>(std::find(st.view.begin(), st.view.end(), current) - st.view.begin());
  } else {
    st.cur = st.view.empty() ? -1 : std::clamp(position, 0, static_cast<int>(st.view.size()) - 1);
  }
  bof_ = st.view.empty() || st.cur == 0;
  eof_ = st.view.empty();
  NotifyDataEvent(DataEvent::DataSetChange);
  return kept;
}

}  // namespace ger
