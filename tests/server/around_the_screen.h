#pragma once
// What another seat or an operator does while a test watches: a company renamed through the
// server as another seat saves it, and a command (ger-admin) run with its output read back.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "contract/rdm_empresa.h"
#include "data/packet.h"

namespace gertest {

// Renames company `code` through `client`: the list read, the company's row sent back with the
// new name, as the company screen saves it.
inline void RenameThroughServer(ger::TRdmEmpresa& client, const std::string& code,
                                const std::string& name) {
  ger::ServerAnswer a = client.GetEmpresa();
  ASSERT_TRUE(a.ok()) << a.error;
  const ger::DataPacket list = ger::codec::DecodePacket(a.payload->Text());
  for (const ger::Row& row : list.rows) {
    if (std::get<std::string>(row[list.IndexOf("CDEMPRESA")]) != code) continue;
    ger::Row now = row;
    now[list.IndexOf("NMEMPRESA")] = name;
    ger::ChangeSet delta;
    delta.fields = list.fields;
    delta.changes.push_back({ger::ChangeKind::Update, row, now});
    a = client.SetEmpresa(delta, false, false, false, false, false, false);
    ASSERT_TRUE(a.ok()) << a.error;
    return;
  }
  FAIL() << "no company " << code;
}

// Runs `command` through the shell; its output and errors together. A failed command fails the
// test.
inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << command;
    return out;
  }
  std::array<char, 4096> buffer{};
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    out.append(buffer.data(), n);
  EXPECT_EQ(pclose(pipe), 0) << command << "\n" << out;
  return out;
}

// The last line of a command's output (ger-admin's token, say).
inline std::string LastLine(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  return t.substr(t.rfind('\n') + 1);
}

}  // namespace gertest
