// The request parser's bound on memory: a large body is counted before its values are built.
#include <gtest/gtest.h>

#include <boost/json/memory_resource.hpp>
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
