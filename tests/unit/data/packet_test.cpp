#include "data/packet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <boost/json.hpp>

#include "core/exceptions.h"

namespace ger {
namespace {

DataPacket SamplePacket() {
  DataPacket p;
  p.fields = {
      {"CDEMPRESA", FieldKind::String, 2, ProviderFlags::None()},
      {"NMEMPRESA", FieldKind::String, 40, ProviderFlags::InWhere()},
      {"DSMENS", FieldKind::Memo, 0, ProviderFlags::Default()},
      {"VRPEMULEMPR", FieldKind::Float, 0, {true, true, true}},
      {"NRSEQ", FieldKind::Integer, 0, ProviderFlags::Default()},
      {"DTREGJUNCOM", FieldKind::DateTime, 0, ProviderFlags::Default()},
      {"LOGO", FieldKind::Blob, 0, ProviderFlags::Default()},
  };
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
  p.rows.push_back({std::string("01"), std::string("Associação São João \"Ltda\" \\ fim"),
                    std::string("linha 1\nlinha 2\ttab\x01\x1f fim"), 2.5, std::int64_t{42},
                    DateTime::FromParts(2005, 2, 28, 13, 45, 7, 123), Bytes{allBytes}});
  p.rows.push_back({std::string("02"), Value{}, Value{}, Value{}, Value{}, Value{}, Value{}});
  p.rows.push_back({std::string("03"), std::string("😀 emoji e ç"), std::string(""), 0.1 + 0.2,
                    std::numeric_limits<std::int64_t>::min(), DateTime::FromParts(1900, 1, 1),
                    Bytes{""}});
  return p;
}

TEST(PacketCodec, RoundTripKeepsEveryValueExactly) {
  DataPacket p = SamplePacket();
  std::string text = codec::Encode(p);
  DataPacket back = codec::DecodePacket(text);
  EXPECT_EQ(back, p);
  // The text is valid JSON for any other reader too.
  EXPECT_NO_THROW(boost::json::parse(text));
  // The DOM form says the same thing.
  EXPECT_EQ(codec::DecodePacket(codec::ToJson(p)), p);
}

TEST(PacketCodec, EncodesTheDocumentedShape) {
  DataPacket p;
  p.fields = {{"CDEMPRESA", FieldKind::String, 2, ProviderFlags::InWhere()},
              {"VR", FieldKind::Float, 0, {true, true, true}}};
  p.rows = {{std::string("0\"1"), 2.0}, {Value{}, -0.125}};
  EXPECT_EQ(codec::Encode(p),
            R"({"fields":[{"name":"CDEMPRESA","type":"string","size":2,"flags":["where"]},)"
            R"({"name":"VR","type":"float","flags":["update","where","key"]}],)"
            R"("rows":[["0\"1",2],[null,-0.125]]})");
}

TEST(PacketCodec, ControlCharactersAreEscapedAsUnicode) {
  DataPacket p;
  p.fields = {{"S", FieldKind::Memo}};
  p.rows = {{std::string("a\nb\x01")}};
  std::string text = codec::Encode(p);
  EXPECT_NE(text.find(R"("a\u000Ab\u0001")"), std::string::npos) << text;
}

// Plain text is scanned many bytes at a time: a character that needs care must be found wherever
// it falls in the block, at the last byte of a text too, and a sequence cut short by the end of the
// text must still give valid JSON.
TEST(PacketCodec, EveryCharacterNeedingCareIsFoundAtEveryPosition) {
  const std::string plain(40, 'a');
  for (const std::string special : {"\"", "\\", "\x01", "\x1f", "\x7f", "ç", "€", "😀", "\xff"})
    for (std::size_t at = 0; at <= plain.size(); ++at) {
      const std::string whole = plain.substr(0, at) + special + plain.substr(at);
      for (std::size_t cut : {whole.size(), at + 1}) {
        const std::string s = whole.substr(0, cut);
        DataPacket p;
        p.fields = {{"S", FieldKind::Memo}};
        p.rows = {{s}};
        const std::string encoded = codec::Encode(p);
        const std::string back(boost::json::parse(encoded).at("rows").at(0).at(0).as_string());
        const bool split = special.size() > 1 && cut < at + special.size();
        if (special == "\xff") {
          EXPECT_EQ(back, whole.substr(0, at) + "ÿ" + (cut > at + 1 ? plain.substr(at) : ""));
        } else if (!split) {
          EXPECT_EQ(back, s) << at << " " << cut;
        }
      }
    }
}

TEST(PacketCodec, FloatsUseShortestRoundTripAndIntegersStayIntegers) {
  DataPacket p;
  p.fields = {{"F", FieldKind::Float}, {"I", FieldKind::Integer}};
  p.rows = {{0.1, std::int64_t{9007199254740993}},  // above 2^53: a double would lose it
            {1e300, std::numeric_limits<std::int64_t>::max()},
            {-1.0 / 3.0, std::int64_t{-1}}};
  std::string text = codec::Encode(p);
  EXPECT_NE(text.find("[0.1,9007199254740993]"), std::string::npos) << text;
  EXPECT_EQ(codec::DecodePacket(text), p);
}

TEST(PacketCodec, NonFiniteFloatsBecomeNullInsteadOfInvalidJson) {
  DataPacket p;
  p.fields = {{"F", FieldKind::Float}};
  p.rows = {{std::nan("")}, {std::numeric_limits<double>::infinity()}};
  DataPacket back = codec::DecodePacket(codec::Encode(p));
  EXPECT_TRUE(IsNull(back.rows[0][0]));
  EXPECT_TRUE(IsNull(back.rows[1][0]));
}

TEST(PacketCodec, MalformedUtf8StillGivesValidJson) {
  DataPacket p;
  p.fields = {{"S", FieldKind::String, 10}};
  // A Latin-1 "é", a lone continuation byte, a truncated sequence and an encoded surrogate.
  p.rows = {{std::string("caf\xE9")},
            {std::string("\x80x")},
            {std::string("\xE2\x82")},
            {std::string("\xED\xA0\x80")}};
  DataPacket back = codec::DecodePacket(codec::Encode(p));
  ASSERT_EQ(back.rows.size(), 4u);
  EXPECT_EQ(std::get<std::string>(back.rows[0][0]), "café");
  // A byte an older program stored in Windows-1252 arrives as that character, as the host's
  // text routines read it ("\x80" is the euro sign there, not a control character).
  EXPECT_EQ(std::get<std::string>(back.rows[1][0]), "€x");
  codec::PacketWriter w(p.fields);
  w.BeginRow();
  w.Text(
      "\x93"
      "aspas\x94 \x96 fim");
  w.EndRow();
  EXPECT_EQ(std::get<std::string>(codec::DecodePacket(w.Finish()).rows.at(0)[0]), "“aspas” – fim");
}

TEST(PacketCodec, IntegralFloatsAndIntegersConvertByColumnKind) {
  DataPacket p = codec::DecodePacket(
      R"({"fields":[{"name":"F","type":"float"},{"name":"I","type":"integer"}],)"
      R"("rows":[[3,4.0],[1e2,-7]]})");
  EXPECT_EQ(p.rows[0][0], Value{3.0});
  EXPECT_EQ(p.rows[0][1], Value{std::int64_t{4}});
  EXPECT_EQ(p.rows[1][0], Value{100.0});
}

TEST(PacketCodec, FlagsDefaultWhenAbsentAndSizeIsKept) {
  DataPacket p = codec::DecodePacket(
      R"({"fields":[{"name":"A","type":"string","size":5},{"name":"B","type":"memo",)"
      R"("flags":[]}],"rows":[]})");
  EXPECT_EQ(p.fields[0].flags, ProviderFlags::Default());
  EXPECT_EQ(p.fields[0].size, 5);
  EXPECT_EQ(p.fields[1].flags, ProviderFlags::None());
  EXPECT_EQ(p.IndexOf("b"), 1);
  EXPECT_EQ(p.IndexOf("C"), -1);
}

std::string DecodeError(std::string_view text) {
  try {
    codec::DecodePacket(text);
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(PacketCodec, MalformedPacketsRaiseClearPortugueseErrors) {
  const std::string fields =
      R"({"fields":[{"name":"A","type":"string","size":2},{"name":"B","type":"float"},)"
      R"({"name":"D","type":"datetime"},{"name":"X","type":"blob"}],"rows":)";
  EXPECT_EQ(DecodeError(fields + R"([["a",1,null,null],["b",2,null,null],["c",3,null]]})"),
            "Pacote de dados inválido: linha 3 tem 3 valores, esperados 4.");
  EXPECT_EQ(DecodeError(fields + R"([["a","x",null,null]]})"),
            "Pacote de dados inválido: linha 1, campo 'B': esperado um número.");
  EXPECT_EQ(DecodeError(fields + R"([["a",1,"2005-02-31",null]]})"),
            "Pacote de dados inválido: linha 1, campo 'D': data inválida '2005-02-31'.");
  EXPECT_EQ(DecodeError(fields + R"([["a",1,null,"@@@"]]})"),
            "Pacote de dados inválido: linha 1, campo 'X': base64 inválido.");
  EXPECT_EQ(DecodeError(fields + R"([[1,1,null,null]]})"),
            "Pacote de dados inválido: linha 1, campo 'A': esperado um texto.");
  EXPECT_EQ(DecodeError(fields + "[[\"a\",1,null,null]"),
            "Pacote de dados inválido: o texto não é um documento JSON válido.");
  // Whatever follows the document is refused, not silently dropped; white space is allowed.
  EXPECT_EQ(DecodeError(R"({"fields":[],"rows":[]} {"fields":[],"rows":[]})"),
            "Pacote de dados inválido: o texto não é um documento JSON válido.");
  EXPECT_NO_THROW(codec::DecodePacket(" {\"fields\":[],\"rows\":[]}\r\n"));
  EXPECT_EQ(DecodeError(R"({"rows":[]})"),
            "Pacote de dados inválido: falta o membro 'fields' em o documento.");
  EXPECT_EQ(DecodeError(R"({"fields":[{"name":"A","type":"text"}],"rows":[]})"),
            "Pacote de dados inválido: o campo 'A' tem o tipo desconhecido 'text'.");
  EXPECT_EQ(DecodeError(R"({"fields":[{"name":"A","type":"memo"},{"name":"a","type":"memo"}],)"
                        R"("rows":[]})"),
            "Pacote de dados inválido: o campo 'a' aparece mais de uma vez.");
  EXPECT_EQ(DecodeError(R"({"fields":[{"name":"A","type":"memo","flags":["delete"]}],"rows":[]})"),
            "Pacote de dados inválido: o campo 'A' tem um sinalizador desconhecido.");
  EXPECT_EQ(DecodeError(R"({"fields":[{"name":"I","type":"integer"}],"rows":[[1.5]]})"),
            "Pacote de dados inválido: linha 1, campo 'I': esperado um número inteiro.");
  EXPECT_EQ(DecodeError("[1,2]"), "Pacote de dados inválido: o documento não é um objeto.");
  // Invalid UTF-8 inside a string is refused by the parser, not passed on.
  EXPECT_EQ(DecodeError("{\"fields\":[{\"name\":\"A\",\"type\":\"memo\"}],\"rows\":[[\"\xC3\"]]}"),
            "Pacote de dados inválido: o texto não é um documento JSON válido.");
}

TEST(PacketCodec, RowsAreCheckedWhateverTheirShape) {
  const std::string fields =
      R"({"fields":[{"name":"A","type":"string"},{"name":"B","type":"float"}])";
  EXPECT_EQ(DecodeError(fields + R"(,"rows":[["a",1],{"A":"b"}]})"),
            "Pacote de dados inválido: linha 2 não é uma lista de valores.");
  EXPECT_EQ(DecodeError(fields + R"(,"rows":[["a",1],"b"]})"),
            "Pacote de dados inválido: linha 2 não é uma lista de valores.");
  EXPECT_EQ(DecodeError(fields + R"(,"rows":[["a",[1]]]})"),
            "Pacote de dados inválido: linha 1, campo 'B': valor inválido.");
  EXPECT_EQ(DecodeError(fields + R"(,"rows":[[true,1]]})"),
            "Pacote de dados inválido: linha 1, campo 'A': valor inválido.");
  // An earlier row's fault is the one reported.
  EXPECT_EQ(DecodeError(fields + R"(,"rows":[["a"],["b",{"x":1}]]})"),
            "Pacote de dados inválido: linha 1 tem 1 valores, esperados 2.");
  EXPECT_EQ(DecodeError(fields + R"(,"rows":null})"),
            "Pacote de dados inválido: o membro 'rows' de o documento não é uma lista.");
  EXPECT_EQ(DecodeError(fields + R"(,"rows":{"a":[1]}})"),
            "Pacote de dados inválido: o membro 'rows' de o documento não é uma lista.");
  EXPECT_EQ(DecodeError(fields + "}"),
            "Pacote de dados inválido: falta o membro 'rows' em o documento.");
  EXPECT_EQ(DecodeError(R"({"rows":[],"other":[1,{"x":[]}]})"),
            "Pacote de dados inválido: falta o membro 'fields' em o documento.");
}

TEST(PacketCodec, MemberOrderAndUnknownMembersDoNotMatter) {
  DataPacket p = codec::DecodePacket(
      R"({"version":[1,{"a":null}],"rows":[["x\u00e7\"y",1e0],[null,-2]],"meta":{"k":"v"},)"
      R"("fields":[{"name":"A","type":"string","size":3,"extra":true},{"name":"B","type":"float"}]})");
  ASSERT_EQ(p.fields.size(), 2u);
  ASSERT_EQ(p.rows.size(), 2u);
  EXPECT_EQ(p.rows[0][0], Value{std::string("xç\"y")});
  EXPECT_EQ(p.rows[0][1], Value{1.0});
  EXPECT_EQ(p.rows[1][1], Value{-2.0});
  EXPECT_EQ(p.fields[0].size, 3);
}

TEST(PacketCodec, OddFieldListsStillDecodeOrFailCleanly) {
  // A type that is not a text is refused even though rows follow that look fine.
  EXPECT_EQ(DecodeError(R"({"fields":[{"name":"A","type":5}],"rows":[["x"]]})"),
            "Pacote de dados inválido: o campo 'A' não tem tipo.");
  // Members of a field after its type, and flags lists, do not confuse the column kinds.
  DataPacket p = codec::DecodePacket(
      R"({"fields":[{"type":"datetime","flags":["key"],"name":"D","size":0},)"
      R"({"name":"X","flags":[],"type":"blob"}],"rows":[["2005-02-28T13:45:00","AAE="]]})");
  EXPECT_EQ(p.rows[0][0], Value{DateTime::FromParts(2005, 2, 28, 13, 45)});
  EXPECT_EQ(p.rows[0][1], Value{Bytes{std::string("\0\1", 2)}});
  EXPECT_EQ(p.fields[0].flags, (ProviderFlags{false, false, true}));
}

// Whatever a damaged answer holds, decoding ends in a packet or in the Portuguese error; never
// in a crash, another exception or a packet whose rows disagree with its fields.
TEST(PacketCodec, DamagedTextNeverGetsPastTheChecks) {
  const std::string good = codec::Encode(SamplePacket());
  const std::string bytes = "\"\\[]{},:0e-.nul\x01\xC3\xFF ";
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  auto check = [&](const std::string& text) {
    try {
      DataPacket p = codec::DecodePacket(text);
      for (const Row& r : p.rows) ASSERT_EQ(r.size(), p.fields.size());
    } catch (const EDatabaseError&) {
    } catch (const std::exception& e) {
      FAIL() << "unexpected " << e.what() << " for: " << text;
    }
  };
  for (std::size_t cut = 0; cut < good.size(); cut += 7) check(good.substr(0, cut));
  for (int i = 0; i < 3000; ++i) {
    std::string text = good;
    for (int k = 0; k < 1 + i % 3; ++k) text[next() % text.size()] = bytes[next() % bytes.size()];
    check(text);
  }
}

TEST(ChangeSetCodec, RoundTripOfEveryKind) {
  ChangeSet cs;
  cs.fields = {{"CD", FieldKind::String, 2, {false, true, true}},
               {"NM", FieldKind::String, 40, ProviderFlags::Default()},
               {"DT", FieldKind::DateTime, 0, ProviderFlags::Default()}};
  cs.changes.push_back({ChangeKind::Insert, {}, {std::string("01"), std::string("Nova"), Value{}}});
  cs.changes.push_back({ChangeKind::Update,
                        {std::string("02"), std::string("Velha"), DateTime::FromParts(2020, 1, 2)},
                        {std::string("02"), std::string("Nova ç"), Value{}}});
  cs.changes.push_back({ChangeKind::Delete, {std::string("03"), Value{}, Value{}}, {}});
  std::string text = codec::Encode(cs);
  EXPECT_EQ(codec::DecodeChangeSet(text), cs);
  EXPECT_EQ(codec::DecodeChangeSet(codec::ToJson(cs)), cs);
  EXPECT_EQ(cs.IndexOf("nm"), 1);
}

TEST(ChangeSetCodec, MalformedChangesAreRefused) {
  auto err = [](std::string_view text) -> std::string {
    try {
      codec::DecodeChangeSet(text);
    } catch (const EDatabaseError& e) {
      return e.what();
    }
    return "(no error)";
  };
  const std::string head = R"({"fields":[{"name":"A","type":"string","size":2}],"changes":)";
  EXPECT_EQ(err(head + R"([{"kind":"update","new":["x"]}]})"),
            "Conjunto de alterações inválido: falta o membro 'old' em a alteração 1.");
  EXPECT_EQ(err(head + R"([{"kind":"insert","new":["x"]},{"kind":"upsert","new":["x"]}]})"),
            "Conjunto de alterações inválido: a alteração 2 tem um tipo desconhecido.");
  EXPECT_EQ(err(head + R"([{"kind":"delete","old":["x","y"]}]})"),
            "Conjunto de alterações inválido: a alteração 1 ('old') tem 2 valores, esperados 1.");
}

// The envelope of an answer is split without reading its members: each value's text must be
// exactly the value, whatever it holds, or the decoder downstream reads the wrong thing.
TEST(ObjectMembers, GivesEachValueAsWrittenAndRefusesWhatIsNotOneObject) {
  const std::string packet = codec::Encode(SamplePacket());
  const std::string text =
      " {\"jsonrpc\" : \"2.0\", \"id\":-1.5e3,\"a\\\"b\\u0041\":[1,{\"x\":\"]}\\\\\"}],"
      "\"nada\":null, \"result\":" +
      packet + "\n}\t";
  auto members = codec::ObjectMembers(text);
  ASSERT_EQ(members.size(), 5u);
  EXPECT_EQ(members[0], (std::pair<std::string, std::string_view>{"jsonrpc", "\"2.0\""}));
  EXPECT_EQ(members[1].second, "-1.5e3");
  EXPECT_EQ(members[2].first, "a\"bA");                    // escaped key read by the parser
  EXPECT_EQ(members[2].second, "[1,{\"x\":\"]}\\\\\"}]");  // brackets and quotes inside text
  EXPECT_EQ(members[3].second, "null");
  EXPECT_EQ(members[4].first, "result");
  EXPECT_EQ(codec::DecodePacket(members[4].second), SamplePacket());
  EXPECT_TRUE(codec::ObjectMembers("{}").empty());
  EXPECT_TRUE(codec::ObjectMembers(" { } ").empty());

  for (const char* bad :
       {"", "[]", "\"x\"", "{", "{\"a\"}", "{\"a\":}", "{\"a\":1,}", "{\"a\":1 \"b\":2}",
        "{\"a\":[1}", "{\"a\":{\"b\":1]}", "{\"a\":\"sem fim}", "{\"a\":1}}", "{\"a\":1} x",
        "{a:1}", "{\"a\":\"x\\\"}"})
    EXPECT_THROW(codec::ObjectMembers(bad), EDatabaseError) << bad;
}

TEST(Base64, EncodesAndDecodesAllLengths) {
  EXPECT_EQ(codec::Base64Encode(""), "");
  EXPECT_EQ(codec::Base64Encode("f"), "Zg==");
  EXPECT_EQ(codec::Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(codec::Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(codec::Base64Encode("\xff\xfe"), "//4=");
  for (int n = 0; n < 10; ++n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(250 + i));
    EXPECT_EQ(codec::Base64Decode(codec::Base64Encode(s)), s) << n;
  }
  EXPECT_EQ(codec::Base64Decode("Zm8"), "fo");  // padding is optional
  EXPECT_THROW(codec::Base64Decode("Zm9v!"), EDatabaseError);
  EXPECT_THROW(codec::Base64Decode("Z"), EDatabaseError);
  EXPECT_THROW(codec::Base64Decode("Zm8=="), EDatabaseError);
  EXPECT_THROW(codec::Base64Decode("Zg=A"), EDatabaseError);
}

}  // namespace
}  // namespace ger
