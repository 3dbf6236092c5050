#pragma once
// The company screen without a server, what the tests of its gestures share: the list loaded by
// hand, a post staying in the dataset's change log, the dialogs scripted, and a scratch folder of
// the test's own for the files it picks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Ger00200/ger00200.h"

namespace ger {

class OfflineScreen : public ::testing::Test {
 protected:
  using Values = std::vector<std::pair<std::string, Value>>;

  void SetUp() override {
    Application().Reset();
    dialogs_ = std::make_shared<ui::ScriptedDialogs>();
    Application().SetDialogs(dialogs_);
    auto form = std::make_unique<TfrmEmpresa>();
    f_ = form.get();
    Application().Adopt(std::move(form));
    // No server here: a post stays in the dataset's change log.
    f_->cdsEmpresa.AfterPost = nullptr;
    dir_ = std::filesystem::temp_directory_path() / ("ger-screen-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    Application().Reset();
    std::filesystem::remove_all(dir_);
  }

  // Companies "01", "02", ... whose columns hold the given values, the others null.
  void LoadCompanies(const std::vector<Values>& companies) {
    TClientDataSet& cds = f_->cdsEmpresa;
    DataPacket packet{cds.FieldDefs(), {}};
    for (std::size_t i = 0; i < companies.size(); ++i) {
      std::vector<Value> row(packet.fields.size());
      row[cds.FieldByName("CDEMPRESA").Index()] =
          std::string(i < 9 ? "0" : "") + std::to_string(i + 1);
      for (const auto& [name, value] : companies[i]) row[cds.FieldByName(name).Index()] = value;
      packet.rows.push_back(std::move(row));
    }
    cds.SetData(packet);
  }
  TField& F(const char* name) { return f_->cdsEmpresa.FieldByName(name); }
  // The column's text, nothing when it is null.
  std::optional<std::string> Stored(const char* field) {
    const TField& f = f_->cdsEmpresa.FieldByName(field);
    return f.IsNull() ? std::nullopt : std::optional<std::string>(f.AsString());
  }
  // A file of the scratch folder with these bytes; answers its path.
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  // The unread messages, oldest first; marks them read.
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    while (auto m = dialogs_->NextMessage()) out.push_back(*m);
    return out;
  }

  TfrmEmpresa* f_ = nullptr;
  std::shared_ptr<ui::ScriptedDialogs> dialogs_;
  std::filesystem::path dir_;
};

}  // namespace ger
