// The request parser's bound on memory: a large body is counted before its values are built.
#include <gtest/gtest.h>

#include <boost/json/value.hpp>
#include <string>

#include "rpc_request.h"

namespace ger::server {
namespace {

std::string Request(const std::string& params) {
  return R"({"jsonrpc":"2.0","id":7,"method":"GetVerifEmpresa","params":)" + params + "}";
}

TEST(RpcRequest, ALargeBodyOfTinyValuesIsRefusedUnbuiltAndALargeTextIsRead) {
  // Millions of zeros would take 16 bytes each as values, eight times their text.
  std::string zeros = "[0";
  while (zeros.size() < (kParsedSlack + kCountedBody) * 2) zeros += ",0";
  const auto refused = ParseRpcRequest(Request(zeros + "]"));
  ASSERT_TRUE(std::holds_alternative<std::string>(refused));
  EXPECT_NE(std::get<std::string>(refused).find("valores demais para o seu tamanho"),
            std::string::npos)
      << std::get<std::string>(refused).substr(0, 200);

  // One long text (a logo) takes about its size: read whole.
  const std::string text(3 * kParsedSlack, 'x');
  const auto read = ParseRpcRequest(Request("[\"" + text + "\"]"));
  ASSERT_TRUE(std::holds_alternative<RpcRequest>(read));
  EXPECT_EQ(std::get<RpcRequest>(read).params.at(0).as_string().size(), text.size());

  // Below the counted size any request is read as before.
  const auto small = ParseRpcRequest(Request("[0,0,0,0]"));
  ASSERT_TRUE(std::holds_alternative<RpcRequest>(small));
  EXPECT_EQ(std::get<RpcRequest>(small).params.size(), 4u);
  EXPECT_EQ(ParsedSize("[1,2]"), 3 * sizeof(boost::json::value));
  EXPECT_EQ(ParsedSize("[1,"), 0u);
}

}  // namespace
}  // namespace ger::server
