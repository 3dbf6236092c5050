// The request parser's bound on memory: a large body is counted before its values are built.
#include <gtest/gtest.h>

#include <boost/json/memory_resource.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <string>

#include "rpc_request.h"

namespace ger::server {
namespace {

std::string Request(const std::string& params) {
  return R"({"jsonrpc":"2.0","id":7,"method":"GetVerifEmpresa","params":)" + params + "}";
}

// What a body reads as: "method id params seat", or "error CODE" for a refused one.
std::string Read(std::string_view body) {
  auto parsed = ParseRpcRequest(body);
  if (auto* refused = std::get_if<std::string>(&parsed))
    return "error " + boost::json::serialize(boost::json::parse(*refused).at("error").at("code"));
  const RpcRequest& r = std::get<RpcRequest>(parsed);
  return r.method + " " + r.id + " " + boost::json::serialize(r.params) + " " + r.seat;
}

TEST(RpcRequest, TheEnvelopeReadsAsTheParsedObjectWould) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {R"({"jsonrpc":"2.0","id":1,"method":"M","params":["01",2]})", R"(M 1 ["01",2] )"},
      // Members in any order, the ones the server does not know skipped whole.
      {R"({"params":[{"a":[1,{"id":9}]}],"x":{"method":"N","params":5},"method":"M",)"
       R"("jsonrpc":"2.0","seat":"caixa-2","id":"a\"b"})",
       R"(M "a\"b" [{"a":[1,{"id":9}]}] caixa-2)"},
      // A member named twice counts by its last value, as in a parsed object.
      {R"({"jsonrpc":"2.0","method":"A","method":"B","params":[1],"params":null,"id":1,"id":2})",
       "B 2 [] "},
      {R"({"jsonrpc":"2.0","method":"M","params":7,"params":[3]})", "M null [3] "},
      {R"({"jsonrpc":"2.0","method":"M","id":[1],"id":3})", "M 3 [] "},
      // Names and texts with escapes are read decoded.
      {R"({"json\u0072pc":"2.0","m\u00e9thod":"X","method":"\u0047et","par\u0061ms":[]})",
       "Get null [] "},
      {R"({"jsonrpc":"2.0","method":"M","id":-0,"seat":5})", "M 0 [] "},
      {R"({"jsonrpc":"2.0","method":"M","id":18446744073709551615})", "M 18446744073709551615 [] "},
      {R"({"jsonrpc":"2.0","method":"M","id":null,"params":null})", "M null [] "},
      // Refused: not JSON, not an object, a bad id, no version or method, odd parameters.
      {R"({"jsonrpc":"2.0","method":"M"} {})", "error -32700"},
      {R"({"jsonrpc":"2.0","method":"M")", "error -32700"},
      {R"([{"jsonrpc":"2.0","method":"M"}])", "error -32600"},
      {R"("text")", "error -32600"},
      {R"({"jsonrpc":"2.0","method":"M","id":1.5})", "error -32600"},
      {R"({"jsonrpc":"2.0","method":"M","id":18446744073709551616})", "error -32600"},
      {R"({"jsonrpc":"2.0","method":"M","id":{"a":1}})", "error -32600"},
      {R"({"jsonrpc":"2.0","method":"M","id":true})", "error -32600"},
      {R"({"jsonrpc":"2.0","id":4})", "error -32600"},
      {R"({"jsonrpc":2.0,"method":"M"})", "error -32600"},
      {R"({"jsonrpc":"2.0","method":["M"]})", "error -32600"},
      {R"({"jsonrpc":"2.0","method":"M","params":{"a":1}})", "error -32602"},
      {R"({"jsonrpc":"2.0","method":"M","params":[1],"params":"x"})", "error -32602"},
  };
  for (const auto& [body, expected] : cases) EXPECT_EQ(Read(body), expected) << body;
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

// Counts what the request's values take from it.
class CountingResource final : public boost::json::memory_resource {
 public:
  std::size_t taken = 0;

 private:
  void* do_allocate(std::size_t n, std::size_t align) override {
    taken += n;
    return ::operator new(n, std::align_val_t(align));
  }
  void do_deallocate(void* p, std::size_t, std::size_t align) override {
    ::operator delete(p, std::align_val_t(align));
  }
  bool do_is_equal(const memory_resource& other) const noexcept override { return this == &other; }
};

TEST(RpcRequest, TheParametersStayInTheStorageTheyWereReadIntoUncopied) {
  // A logo's text is held once, where the parser put it, and a method can give it back there.
  CountingResource storage;
  const std::string text(3 * kParsedSlack, 'x');
  const auto read = ParseRpcRequest(Request("[\"" + text + "\", 1]"), &storage);
  ASSERT_TRUE(std::holds_alternative<RpcRequest>(read));
  const boost::json::array& params = std::get<RpcRequest>(read).params;
  EXPECT_EQ(params.storage().get(), &storage);
  EXPECT_EQ(params.at(0).as_string().size(), text.size());
  EXPECT_EQ(params.at(0).as_string().storage().get(), &storage);
  EXPECT_LT(storage.taken, text.size() + 4096);
}

}  // namespace
}  // namespace ger::server
