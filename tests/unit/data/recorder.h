#pragma once
// Records the events of a dataset (and optionally a data source) as short names, so a test can
// compare the whole sequence an operation produced.
#include <string>
#include <vector>

#include "data/datasource.h"

namespace ger::test {

struct Recorder {
  std::vector<std::string> log;

  void Hook(TDataSet& ds) {
    auto on = [this](TDataSet::Event& e, const char* name) {
      e = [this, name](TDataSet& d) { log.push_back(std::string(name) + StateTag(d)); };
    };
    on(ds.BeforeOpen, "BeforeOpen");
    on(ds.AfterOpen, "AfterOpen");
    on(ds.BeforeClose, "BeforeClose");
    on(ds.AfterClose, "AfterClose");
    on(ds.BeforeInsert, "BeforeInsert");
    on(ds.AfterInsert, "AfterInsert");
    on(ds.BeforeEdit, "BeforeEdit");
    on(ds.AfterEdit, "AfterEdit");
    on(ds.BeforePost, "BeforePost");
    on(ds.AfterPost, "AfterPost");
    on(ds.BeforeCancel, "BeforeCancel");
    on(ds.AfterCancel, "AfterCancel");
    on(ds.BeforeDelete, "BeforeDelete");
    on(ds.AfterDelete, "AfterDelete");
    on(ds.BeforeScroll, "BeforeScroll");
    on(ds.AfterScroll, "AfterScroll");
    on(ds.OnNewRecord, "NewRecord");
  }

  // The state is part of each entry: "AfterPost/browse" says the event ran after the state moved.
  static std::string StateTag(const TDataSet& d) { return "/" + std::string(StateName(d.State())); }

  void Hook(TDataSource& src) {
    src.OnStateChange = [this](TDataSource& s) {
      log.push_back("State:" + std::string(StateName(s.State())));
    };
    src.OnDataChange = [this](TDataSource&, TField* f) {
      log.push_back("Data:" + (f ? f->FieldName() : std::string("*")));
    };
    src.OnUpdateData = [this](TDataSource&) { log.push_back("UpdateData"); };
  }

  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(log);
    return out;
  }
};

}  // namespace ger::test
