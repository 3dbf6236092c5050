#include "data/datasource.h"

#include <algorithm>

namespace ger {

// ---------------------------------------------------------------------------------------------
// TDataSource

TDataSource::TDataSource(std::string name) : name_(std::move(name)) {}

// Screens destroy their members in any order: unhook from both sides without calling back.
TDataSource::~TDataSource() {
  if (dataset_) dataset_->DetachDataSource(this);
  for (TDataLink* link : links_) link->source_ = nullptr;
}

void TDataSource::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_) dataset_->DetachDataSource(this);
  dataset_ = dataset;
  if (dataset_) dataset_->AttachDataSource(this);
  DataSetState before = lastState_;
  UpdateState();
  // Same state on another dataset: the controls still show another record now.
  if (before == lastState_ && lastState_ != DataSetState::Inactive)
    DataEvent(ger::DataEvent::DataSetChange, nullptr);
}

DataSetState TDataSource::State() const {
  return dataset_ ? dataset_->State() : DataSetState::Inactive;
}

bool TDataSource::Edit() {
  if (!dataset_) return false;
  if (!IsEditing(dataset_->State()) && AutoEdit && dataset_->Active()) dataset_->Edit();
  return IsEditing(dataset_->State());
}

void TDataSource::AddLink(TDataLink* link) {
  if (!link) return;
  if (link->source_ && link->source_ != this) link->source_->RemoveLink(link);
  link->source_ = this;
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link) {
  std::erase(links_, link);
  if (link && link->source_ == this) link->source_ = nullptr;
}

void TDataSource::UpdateState() {
  DataSetState now = State();
  if (now == lastState_) return;
  bool wasActive = lastState_ != DataSetState::Inactive;
  bool wasEditing = IsEditing(lastState_);
  lastState_ = now;
  std::vector<TDataLink*> snapshot = links_;
  auto alive = [&](TDataLink* l) {
    return std::find(links_.begin(), links_.end(), l) != links_.end();
  };
  for (TDataLink* l : snapshot) {
    if (!alive(l)) continue;
    if (wasActive != (now != DataSetState::Inactive)) l->ActiveChanged();
    if (alive(l) && wasEditing != IsEditing(now)) l->EditingChanged();
    if (alive(l)) l->StateChanged();
  }
  if (OnStateChange) OnStateChange(*this);
}

void TDataSource::DataEvent(ger::DataEvent event, TField* field) {
  if (event == ger::DataEvent::StateChange || event == ger::DataEvent::ActiveChange) {
    UpdateState();
    return;
  }
  if (lastState_ == DataSetState::Inactive) return;
  // Links first, then the source's own handler, as the controls expect to be current when the
  // screen's handler runs. Links removed by a handler on the way are skipped.
  std::vector<TDataLink*> snapshot = links_;
  for (TDataLink* l : snapshot) {
    if (std::find(links_.begin(), links_.end(), l) == links_.end()) continue;
    switch (event) {
      case ger::DataEvent::FieldChange:
        l->RecordChanged(field);
        break;
      case ger::DataEvent::RecordChange:
      case ger::DataEvent::DataSetChange:
      case ger::DataEvent::DataSetScroll:
        l->RecordChanged(nullptr);
        break;
      case ger::DataEvent::LayoutChange:
        l->LayoutChanged();
        break;
      case ger::DataEvent::UpdateRecord:
        l->UpdateData();
        break;
      default:
        break;
    }
  }
  switch (event) {
    case ger::DataEvent::FieldChange:
      if (OnDataChange) OnDataChange(*this, field);
      break;
    case ger::DataEvent::RecordChange:
    case ger::DataEvent::DataSetChange:
    case ger::DataEvent::DataSetScroll:
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case ger::DataEvent::UpdateRecord:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default:
      break;
  }
}

bool TDataSource::FocusControl(TField& field) {
  std::vector<TDataLink*> snapshot = links_;
  for (TDataLink* l : snapshot)
    if (std::find(links_.begin(), links_.end(), l) != links_.end() && l->FocusControl(field))
      return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
// TDataLink

TDataLink::~TDataLink() {
  if (source_) source_->RemoveLink(this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_) source_->RemoveLink(this);
  if (source) source->AddLink(this);
  ActiveChanged();
}

TDataSet* TDataLink::DataSet() const {
  return source_ ? source_->DataSet() : nullptr;
}

bool TDataLink::Active() const {
  TDataSet* ds = DataSet();
  return ds && ds->Active();
}

bool TDataLink::Editing() const {
  TDataSet* ds = DataSet();
  return ds && IsEditing(ds->State());
}

// ---------------------------------------------------------------------------------------------
// TFieldDataLink

void TFieldDataLink::SetFieldName(std::string name) {
  fieldName_ = std::move(name);
  Reset();
}

TField* TFieldDataLink::Field() const {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || fieldName_.empty()) return nullptr;
  return ds->FindField(fieldName_);
}

void TFieldDataLink::Reset() {
  modified_ = false;
  if (OnDataChange) OnDataChange();
}

bool TFieldDataLink::Edit() {
  TField* f = Field();
  if (f && f->ReadOnly()) return false;
  return DataSource() ? DataSource()->Edit() : false;
}

void TFieldDataLink::UpdateRecord() {
  UpdateData();
}

void TFieldDataLink::ActiveChanged() {
  Reset();
  if (OnActiveChange) OnActiveChange();
}

void TFieldDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange();
}

void TFieldDataLink::RecordChanged(TField* field) {
  if (field && field != Field()) return;  // another field's change is not ours to show
  Reset();
}

void TFieldDataLink::LayoutChanged() {
  if (OnLayoutChange) OnLayoutChange();
}

// A failed commit (a text that does not convert) keeps the flag, so the control keeps the text
// and the gesture can be repeated.
void TFieldDataLink::UpdateData() {
  if (!modified_) return;
  if (OnUpdateData) OnUpdateData();
  modified_ = false;
}

}  // namespace ger
