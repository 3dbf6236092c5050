#pragma once
// An in-memory dataset with a cursor, states, the platform's event order and a change log. It is
// the client dataset of the screens, the inner dataset of queries and the mirror copy of rows.
//
// Event order (as the original platform fires it):
//  Open/SetData: BeforeOpen; rows loaded; state Browse; AfterOpen; AfterScroll when not empty.
//  Insert/Append: CheckBrowseMode; BeforeInsert; BeforeScroll; new row; state Insert;
//                 OnNewRecord; AfterInsert; AfterScroll.
//  Edit: nothing in Edit/Insert; on an empty dataset as Insert; else BeforeEdit; state Edit;
//        AfterEdit.
//  Post: links commit modified controls (UpdateRecord); only in Edit/Insert: BeforePost (an
//        exception refuses the post, state stays); row logged; state Browse; AfterPost.
//  Cancel: only in Edit/Insert: BeforeCancel; row changes dropped (a new row goes); state Browse;
//          AfterCancel.
//  Delete: in Insert it is a Cancel; empty dataset: EDatabaseError; else BeforeDelete;
//          BeforeScroll; row removed (logged); state Browse; AfterDelete; AfterScroll.
//  Moves (First, Next, Locate, RecNo...): CheckBrowseMode; BeforeScroll; move; AfterScroll.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/field.h"
#include "data/packet.h"

namespace ger {

class TDataSource;

enum class DataSetState { Inactive, Browse, Edit, Insert };
std::string_view StateName(DataSetState state);  // "inactive", "browse", "edit", "insert"
// The dataset is being edited: its state is edit or insert.
constexpr bool IsEditing(DataSetState state) {
  return state == DataSetState::Edit || state == DataSetState::Insert;
}

// What a dataset tells its data sources (and they their links).
enum class DataEvent {
  FieldChange,    // one field's value changed (field given)
  RecordChange,   // the current record changed as a whole (cancel, refresh)
  DataSetChange,  // rows or cursor changed a lot (open, load, delete, insert)
  DataSetScroll,  // the cursor moved
  LayoutChange,   // a field's definition changed (mask, label, visibility)
  UpdateRecord,   // commit modified controls now (before post)
  StateChange,    // the state changed
  ActiveChange,   // opened or closed
};

struct LocateOptions {
  bool caseInsensitive = false;
  bool partialKey = false;
};

class TDataSet {
 public:
  using Event = std::function<void(TDataSet&)>;
  // A stable reference to a row; survives edits and moves, not a reload.
  using Bookmark = std::optional<std::uint64_t>;

  explicit TDataSet(std::string name = {});
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  const std::string& Name() const { return name_; }

  // Fields. Persistent fields are added before the dataset is opened; a dataset without any takes
  // its fields from the first packet it loads.
  TField& AddField(FieldDef def);
  TField& FieldByName(std::string_view name);  // EDatabaseError "Campo 'X' não encontrado."
  const TField& FieldByName(std::string_view name) const;
  TField* FindField(std::string_view name);  // names compare case-insensitively
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Field(int index) { return *fields_.at(index); }
  const TField& Field(int index) const { return *fields_.at(index); }
  std::vector<FieldDef> FieldDefs() const;

  // State and cursor.
  DataSetState State() const { return state_; }
  bool Active() const { return state_ != DataSetState::Inactive; }
  void Open();  // with no rows loaded: opens empty
  void Close();
  bool IsEmpty() const;
  int RecordCount() const;
  int RecNo() const;  // 1-based; 0 when empty
  void SetRecNo(int recNo);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  void First();
  void Last();
  void Next();
  void Prior();
  bool Modified() const { return modified_; }

  void Insert();
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  // Posts a modified pending edit, cancels an unmodified one.
  void CheckBrowseMode();

  // Finds the first row whose fields (names separated by ";") equal the values; moves there.
  bool Locate(std::string_view keyFields, const std::vector<Value>& values,
              LocateOptions options = {});
  Bookmark GetBookmark() const;
  bool BookmarkValid(const Bookmark& bookmark) const;
  void GotoBookmark(const Bookmark& bookmark);  // EDatabaseError when the row is gone

  // While disabled (counted), data sources are not told of moves; enabling sends one change.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }

  // Data packets and the change log.
  // Replaces rows and log; EDatabaseError if it does not fit (and then nothing changes). The
  // rvalue form takes the rows without copying them.
  void SetData(const DataPacket& packet);
  void SetData(DataPacket&& packet);
  DataPacket Data() const;                // the rows as shown, pending changes included
  ChangeSet GetDelta() const;             // inserts, updates (old and new), deletes, in log order
  int GetChangeCount() const;             // rows with pending changes
  void MergeChangeLog();                  // pending changes become the base
  void CancelUpdates();                   // throws every pending change away
  void CopyFrom(const TDataSet& source);  // source's rows as shown become this one's base rows
  void EmptyDataSet();                    // no rows, no log

  // Brings rows the server changed into the base rows without reloading the others: each row of
  // `rows` replaces the values of the columns it carries in the row of the same `keyField` value
  // (a row not there is added where the rows' ascending key order puts it; rows out of that order
  // are put back in it), and the rows of
  // `removedKeys` go. A row with pending changes, or being edited, is left as it stands and its
  // key is returned. The cursor stays on its row (on the same position when that row went); no
  // scroll event fires, the data sources are told of the change. EDatabaseError when the packet
  // does not fit the fields it names (and then nothing changes); the dataset must be active.
  std::vector<std::string> MergeRows(const DataPacket& rows, std::string_view keyField,
                                     const std::vector<std::string>& removedKeys = {});

  // Events.
  Event BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  Event BeforeInsert, AfterInsert, BeforeEdit, AfterEdit, BeforePost, AfterPost;
  Event BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  Event OnNewRecord;

  // Data-source wiring (used by TDataSource).
  void AttachDataSource(TDataSource* source);
  void DetachDataSource(TDataSource* source);
  void NotifyDataEvent(DataEvent event, TField* field = nullptr);
  // Grows whenever rows or values may have changed (every data event but a move, a state change,
  // a field's new mask or label, or a commit request), also while controls are disabled: what is
  // worked out from the rows (a list's filter and order) is kept until it grows.
  std::uint64_t Generation() const { return generation_; }
  // Asks the data links to commit their modified controls.
  void UpdateRecord();
  // Asks the data links, source by source, to focus a control of the field; the first that does
  // ends the search. True when one did.
  bool FocusControl(TField& field);

  // Reads row `index` (from 0, in the order shown) without moving the cursor: while a peek lives,
  // the fields (GetValue, AsString, DisplayText and so get-text handlers) read that row, no event
  // fires, and writing a field raises EDatabaseError. The current row reads as it stands (its
  // edit buffer while editing). Peeks nest; the innermost wins.
  class RowPeek {
   public:
    RowPeek(TDataSet& dataset, int index);  // EDatabaseError when closed or no such row
    ~RowPeek();
    RowPeek(const RowPeek&) = delete;
    RowPeek& operator=(const RowPeek&) = delete;

   private:
    TDataSet& dataset_;
    int outer_;
  };

  // Field access for TField.
  const Value& CurrentValue(int index) const;
  void SetCurrentValue(int index, Value value);
  Value OldValueOf(int index) const;
  // EDatabaseError "Conjunto de dados não está em modo de edição ou inserção." unless editing.
  void CheckEditing() const;

 private:
  struct Record;
  struct Store;
  void SetState(DataSetState state);
  void CheckActive() const;
  void DoBeforeScroll();
  void DoAfterScroll();
  void DoInsert(bool append);
  void Fire(const Event& event);
  void Load(const DataPacket& packet, DataPacket* owned);
  void MoveCursor(int index);
  void DropFreshRow();
  void IndexFields();

  std::string name_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<TDataSource*> sources_;
  std::unique_ptr<Store> store_;
  DataSetState state_ = DataSetState::Inactive;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  int disableCount_ = 0;
  std::uint64_t generation_ = 0;
};

// The screens' in-memory client dataset. All behaviour lives in TDataSet; the class exists so
// that screens and tests name it as the platform does.
class TClientDataSet : public TDataSet {
 public:
  using TDataSet::TDataSet;
};

}  // namespace ger
