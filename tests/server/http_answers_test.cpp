// The real server's HTTP answers over a bare socket: pipelined calls, the refusals of wrong
// paths, methods and tokens, and what the log keeps of them.
#include <boost/json.hpp>

#include "raw_client.h"
#include "server_fixture.h"

using namespace gertest;
namespace json = boost::json;

namespace {

std::string RpcBody(int id, const std::string& method, const std::string& params = "[]") {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
         R"(","params":)" + params + "}";
}

}  // namespace

TEST_F(ServerTest, PipelinedCallsAreAnsweredInOrderOnOneConnection) {
  Start({"--demo"});
  RawClient c(server_->Port());
  std::string burst;
  for (int i = 0; i < 20; ++i)
    burst += Post(RpcBody(i, i % 2 ? "GetVerifEmpresa" : "NaoExiste", R"(["01"])"));
  ASSERT_TRUE(c.Send(burst));
  for (int i = 0; i < 20; ++i) {
    auto a = c.Read();
    ASSERT_TRUE(a) << i;
    EXPECT_EQ(a->status, 200);
    EXPECT_TRUE(a->HasHeader("Content-Type: application/json\r\n"));
    json::object reply = json::parse(a->body).as_object();
    EXPECT_EQ(reply.at("id"), json::value(i));
    EXPECT_EQ(reply.contains("result"), i % 2 == 1) << a->body;
  }
}

TEST_F(ServerTest, WrongPathMethodOrTokenIsRefusedWithItsStatus) {
  Start({"--token", "s3cret"});
  const std::string auth = "Authorization: Bearer s3cret\r\n";
  RawClient c(server_->Port());
  ASSERT_TRUE(c.Send(Post(RpcBody(1, "GetVEmp"), auth, "/outro")));
  EXPECT_EQ(c.ReadStatus(), 404);
  ASSERT_TRUE(c.Send("GET /GER00200.rdmEmpresa HTTP/1.1\r\n" + auth + "\r\n"));
  auto get = c.Read();
  ASSERT_TRUE(get);
  EXPECT_EQ(get->status, 405);
  EXPECT_TRUE(get->HasHeader("Allow: POST\r\n"));
  // The query string does not change the path; the connection served on after the refusals.
  ASSERT_TRUE(c.Send(Post(RpcBody(2, "GetVEmp"), auth, "/GER00200.rdmEmpresa?x=1")));
  EXPECT_EQ(c.ReadStatus(), 200);
  // Nor does the absolute form of the target.
  for (const char* target :
       {"http://127.0.0.1/GER00200.rdmEmpresa", "HTTP://servidor:8200/GER00200.rdmEmpresa?x=1"}) {
    ASSERT_TRUE(c.Send(Post(RpcBody(2, "GetVEmp"), auth, target)));
    EXPECT_EQ(c.ReadStatus(), 200) << target;
  }
  ASSERT_TRUE(c.Send(Post(RpcBody(2, "GetVEmp"), auth, "http://servidor/outro")));
  EXPECT_EQ(c.ReadStatus(), 404);
  // Two Authorization headers, even two right ones, are refused.
  RawClient twice(server_->Port());
  ASSERT_TRUE(twice.Send(Post(RpcBody(4, "GetVEmp"), auth + auth)));
  EXPECT_EQ(twice.ReadStatus(), 400);

  for (const char* wrong : {"", "Authorization: Bearer s3cre\r\n",
                            "Authorization: Bearer s3crets\r\n", "Authorization: s3cret\r\n"}) {
    RawClient other(server_->Port());
    ASSERT_TRUE(other.Send(Post(RpcBody(3, "GetVEmp"), wrong)));
    auto a = other.Read();
    ASSERT_TRUE(a) << wrong;
    EXPECT_EQ(a->status, 401) << wrong;
    EXPECT_TRUE(a->HasHeader("WWW-Authenticate: Bearer\r\n"));
    EXPECT_EQ(json::parse(a->body).as_object().at("error").as_object().at("message"),
              json::value("Acesso não autorizado: peça ao administrador um novo acesso."));
    // A refused token ends the connection: a guess costs a new connection each time.
    EXPECT_TRUE(a->HasHeader("Connection: close\r\n"));
    EXPECT_TRUE(other.ClosedByServer()) << wrong;
  }
  // Without the token even a wrong path tells nothing more than 401.
  RawClient probe(server_->Port());
  ASSERT_TRUE(probe.Send(Post("{}", {}, "/outro")));
  EXPECT_EQ(probe.ReadStatus(), 401);
}

// The parser's own tests set their limits; this is the limit the server itself runs with.
TEST_F(ServerTest, HeadersBeyondTheServersDefaultLimitAreRefusedWith431) {
  Start();
  const std::string body = RpcBody(1, "GetVEmp");
  RawClient fits(server_->Port());
  ASSERT_TRUE(fits.Send(Post(body, "X-Filler: " + std::string(15'000, 'a') + "\r\n")));
  EXPECT_EQ(fits.ReadStatus(), 200);

  RawClient large(server_->Port());
  ASSERT_TRUE(large.Send(Post(body, "X-Filler: " + std::string(20'000, 'a') + "\r\n")));
  auto refused = large.Read();
  ASSERT_TRUE(refused) << "no answer to a 20,000-byte header";
  EXPECT_EQ(refused->status, 431);
  EXPECT_TRUE(large.ClosedByServer());
}

TEST_F(ServerTest, IdsAreEchoedExactlyAndRefusalsSaidOnce) {
  Start();
  RawClient c(server_->Port());
  // An id that is not a 64-bit integer would come back as another number: refused instead.
  for (const char* id : {"18446744073709551616", "1.5", "-1e400"}) {
    ASSERT_TRUE(
        c.Send(Post(std::string(R"({"jsonrpc":"2.0","id":)") + id + R"(,"method":"GetVEmp"})")));
    auto a = c.Read();
    ASSERT_TRUE(a) << id;
    json::object reply = json::parse(a->body).as_object();
    EXPECT_TRUE(reply.at("id").is_null()) << a->body;
    EXPECT_EQ(reply.at("error").at("message"),
              json::value("Requisição inválida: identificador inválido."));
  }
  ASSERT_TRUE(c.Send(Post(R"({"jsonrpc":"2.0","id":18446744073709551615,"method":"GetVEmp"})")));
  auto top = c.Read();
  ASSERT_TRUE(top);
  EXPECT_NE(top->body.find(R"("id":18446744073709551615,)"), std::string::npos) << top->body;

  ASSERT_TRUE(c.Send(Post(
      RpcBody(9, "SetEmpresa",
              R"([{"fields":[],"changes":[{"old":[1]}]},false,false,false,false,false,false])"))));
  auto bad = c.Read();
  ASSERT_TRUE(bad);
  const std::string message(json::parse(bad->body).at("error").at("message").as_string());
  EXPECT_TRUE(message.starts_with("Conjunto de alterações inválido: ")) << message;
  EXPECT_EQ(message.find("inválido", 30), std::string::npos) << message;
}
