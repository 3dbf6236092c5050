#pragma once
// The link between a dataset and the controls that show it. A data source relays the dataset's
// events to its data links; a field data link is what a data-aware control owns.
#include <functional>
#include <string>
#include <vector>

#include "data/dataset.h"

namespace ger {

class TDataLink;

class TDataSource {
 public:
  explicit TDataSource(std::string name = {});
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  const std::string& Name() const { return name_; }
  TDataSet* DataSet() const { return dataset_; }
  void SetDataSet(TDataSet* dataset);
  DataSetState State() const;  // Inactive when there is no dataset

  // The standard form's data source does not edit by itself: false means a control's typing is
  // refused while the dataset is browsed, instead of putting it into edit.
  bool AutoEdit = false;

  std::function<void(TDataSource&)> OnStateChange;
  std::function<void(TDataSource&, TField* field)> OnDataChange;  // field null: whole record
  std::function<void(TDataSource&)> OnUpdateData;

  // Puts the dataset into edit when AutoEdit allows; true when it is (then) edited or inserted.
  bool Edit();

  // Wiring.
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);
  void DataEvent(DataEvent event, TField* field);  // from the dataset
  // Asks the links in turn to focus a control of the field; true when one did.
  bool FocusControl(TField& field);

 private:
  friend class TDataSet;  // clears dataset_ when the dataset goes first
  void UpdateState();

  std::string name_;
  TDataSet* dataset_ = nullptr;
  std::vector<TDataLink*> links_;
  DataSetState lastState_ = DataSetState::Inactive;
};

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  bool Active() const;   // a dataset is attached and open
  bool Editing() const;  // the dataset is in Edit or Insert

  // Relayed by the data source.
  virtual void ActiveChanged() {}
  virtual void EditingChanged() {}
  virtual void RecordChanged(TField* /*field*/) {}  // null: whole record (scroll, load, cancel)
  virtual void LayoutChanged() {}
  virtual void UpdateData() {}  // commit the control's modified value now
  virtual void StateChanged() {}
  // Focus a control showing the field, when the link has one that can take the focus; true when
  // it did, which ends the search.
  virtual bool FocusControl(TField& /*field*/) { return false; }

 private:
  friend class TDataSource;  // sets and clears source_ as links are added and removed
  TDataSource* source_ = nullptr;
};

// The data link of a control bound to one field. It keeps the control's "modified" flag: the user
// changing the control sets it; a change of the bound field from elsewhere refreshes the control
// and clears it; UpdateData (before post, on exit) commits when set.
class TFieldDataLink : public TDataLink {
 public:
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(std::string name);
  TField* Field() const;  // null when unbound or inactive

  bool IsModified() const { return modified_; }
  void Modified() { modified_ = true; }  // the user changed the control
  void Reset();                          // refresh the control from the field, clear modified
  // Asks the data source to put the dataset into edit (AutoEdit); true when editing.
  bool Edit();
  // Commits the modified control through OnUpdateData, then clears the flag.
  void UpdateRecord();

  std::function<void()> OnDataChange;     // refresh the control from the field
  std::function<void()> OnUpdateData;     // write the control's text into the field
  std::function<void()> OnEditingChange;  // editing started or ended
  std::function<void()> OnActiveChange;
  std::function<void()> OnLayoutChange;  // mask, size or label changed

  void ActiveChanged() override;
  void EditingChanged() override;
  void RecordChanged(TField* field) override;
  void LayoutChanged() override;
  void UpdateData() override;

 private:
  std::string fieldName_;
  bool modified_ = false;
};

}  // namespace ger
