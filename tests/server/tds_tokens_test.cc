// The reply tokens: each encoder against its decoder, a few against the
// exact bytes of the protocol, and the replies built from engine outcomes.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "server/tds/columns.h"
#include "server/tds/reply.h"
#include "server/tds/tokens.h"
#include "tests/server/server_test_util.h"

namespace server::tds {
namespace {

using server::testing::Bytes;

// Encodes one token as the server sends it in `layout`.
void EncodeToken(Writer& w, const Token& token, Layout layout) {
  std::visit(
      [&](const auto& t) {
        if constexpr (requires { Encode(w, t, layout); }) {
          Encode(w, t, layout);
        } else if constexpr (requires { Encode(w, t); }) {
          Encode(w, t);
        } else {
          ADD_FAILURE() << "no encoder for token " << token.index();
        }
      },
      token);
}

TEST(TdsTokens, EachTokenRoundTripsInBothLayouts) {
  const ServerMessage info{false,    5701,   2,    10, "Changed database context to 'model'.",
                           "TAVORA", "sp_x", 70000};
  ServerMessage info_71 = info;
  info_71.line = 70000 & 0xFFFF;
  const Done big{kTokenDoneInProc, kDoneFinal, 0, 0x100000000ull};
  Done big_71 = big;
  big_71.row_count = 0;
  struct Case {
    Token token;
    std::optional<Token> in_71 = {};  // what 7.1's narrower fields keep, where they cut
  };
  const Case kCases[] = {
      {EnvChange{kEnvDatabase, "tavora_StandardDataset", "master", {}}},
      {EnvChange{kEnvLanguage, "us_english", "", {}}},
      {EnvChange{kEnvPacketSize, "4096", "4096", {}}},
      {EnvChange{kEnvCollation, "", "", {0x09, 0x04, 0xD0, 0x00, 0x34}}},
      {ServerMessage{true, 208, 1, 16, "Invalid object name 'nosuch'.", "TAVORA", "", 3}},
      {info, info_71},
      {LoginAck{1, 0x71000001, kProgramName, 8, 0, 2039}},
      {Done{kTokenDone, kDoneMore | kDoneCount, 0xC1, 4}},
      {big, big_71},
      {ReturnStatus{-6}},
      {ReturnValue{0, "@handle", 1, ColumnFor("", "int", kCollationCaseInsensitive), int64_t{7}}},
      {ReturnValue{1, "@out", 1, ColumnFor("", "ntext", kCollationCaseInsensitive),
                   std::string("long")}},
  };
  for (Layout layout : {Layout::kTds71, Layout::kTds72}) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(::testing::Message()
                   << (layout == Layout::kTds71 ? "7.1 " : "7.2 ") << "token " << c.token.index());
      Writer w;
      EncodeToken(w, c.token, layout);
      std::vector<Token> decoded = DecodeTokens(w.bytes(), layout);
      ASSERT_EQ(decoded.size(), 1u);
      EXPECT_EQ(decoded[0], layout == Layout::kTds71 && c.in_71 ? *c.in_71 : c.token);
    }
  }
}

TEST(TdsTokens, TokensHaveTheProtocolsExactBytes) {
  Writer collation;
  Encode(collation, EnvChange{kEnvCollation, "", "", {0x09, 0x04, 0xD0, 0x00, 0x34}});
  EXPECT_EQ(collation.bytes(),
            Bytes({0xE3, 0x08, 0x00, 0x07, 0x05, 0x09, 0x04, 0xD0, 0x00, 0x34, 0x00}));
  Writer error;
  Encode(error, ServerMessage{true, 18456, 1, 14, "No", "S", "", 1}, Layout::kTds71);
  EXPECT_EQ(error.bytes(), Bytes({0xAA, 0x12, 0x00,                // token, length 18
                                  0x18, 0x48, 0x00, 0x00,          // 18456
                                  0x01, 0x0E,                      // state, class
                                  0x02, 0x00, 'N',  0,    'o', 0,  // text
                                  0x01, 'S',  0,                   // server
                                  0x00,                            // procedure
                                  0x01, 0x00}));                   // line, 2 bytes
  Writer ack;
  Encode(ack, LoginAck{1, 0x71000001, kProgramName, 8, 0, 2039});
  // Interface, then the TDS version as four bytes, most significant first.
  EXPECT_EQ(std::vector<uint8_t>(ack.bytes().begin(), ack.bytes().begin() + 8),
            Bytes({0xAD, 0x32, 0x00, 0x01, 0x71, 0x00, 0x00, 0x01}));
  Writer done;
  Encode(done, Done{kTokenDone, kDoneMore | kDoneCount, 0xC1, 4}, Layout::kTds71);
  EXPECT_EQ(done.bytes(), Bytes({0xFD, 0x11, 0x00, 0xC1, 0x00, 0x04, 0x00, 0x00, 0x00}));
}

TEST(TdsTokens, OverlongMessageTextIsCutWithoutSplittingAPair) {
  const std::string pair = "\xF0\x9F\x98\x80";  // two UTF-16 units
  for (size_t before : {3998, 3999}) {
    SCOPED_TRACE(before);
    std::string text = std::string(before, 'x') + pair + std::string(1000, 'x');
    ServerMessage long_text{true, 50000, 1, 16, text, "S", "", 1};
    Writer w;
    Encode(w, long_text, Layout::kTds71);
    auto decoded = std::get<ServerMessage>(DecodeTokens(w.bytes(), Layout::kTds71).front());
    // 4,000 units: the pair fits after 3,998 characters, not after 3,999.
    EXPECT_EQ(decoded.text, before == 3998 ? text.substr(0, 3998 + 4) : std::string(3999, 'x'));
  }
}

TEST(TdsTokens, DecodeRefusesUnknownTokensAndOrphanRows) {
  EXPECT_THROW(DecodeTokens(Bytes({0x42}), Layout::kTds71), DecodeError);
  EXPECT_THROW(DecodeTokens(Bytes({0xD1, 0x00}), Layout::kTds71), DecodeError);
  EXPECT_THROW(DecodeTokens(Bytes({0xFD, 0x00}), Layout::kTds71), DecodeError) << "truncated";
}

// One engine column type, a value of it, and the wire type it must take.
struct ColumnCase {
  const char* sql_type;
  Value value;
  uint8_t wire_type;
  uint32_t max_length;
};

TEST(TdsColumns, EveryEngineTypeRoundTripsThroughMetadataAndRow) {
  const ColumnCase cases[] = {
      {"bit", int64_t{1}, kBitN, 1},
      {"tinyint", int64_t{255}, kIntN, 1},
      {"smallint", int64_t{-32768}, kIntN, 2},
      {"int", int64_t{-2147483647 - 1}, kIntN, 4},
      {"bigint", int64_t{9223372036854775807}, kIntN, 8},
      {"real", 2.5, kFloatN, 4},
      {"float", 3.14159265358979, kFloatN, 8},
      {"money", std::string("-922337203685477.5808"), kMoneyN, 8},
      {"smallmoney", std::string("31.9900"), kMoneyN, 4},
      {"datetime", std::string("2001-01-01 12:34:56.997"), kDateTimeN, 8},
      {"datetime", std::string("1753-01-01 00:00:00.000"), kDateTimeN, 8},
      {"smalldatetime", std::string("2079-06-06 23:59:00.000"), kDateTimeN, 4},
      {"uniqueidentifier", std::string("6F9619FF-8B86-D011-B42D-00C04FC964FF"), kGuid, 16},
      {"decimal(10,2)", std::string("-31.99"), kDecimalN, 9},
      {"decimal(38,0)", std::string("99999999999999999999999999999999999999"), kDecimalN, 17},
      {"numeric(5,5)", std::string("0.12345"), kNumericN, 5},
      {"char(10)", std::string("abc       "), kBigChar, 10},
      {"varchar(32)", std::string("caf\xC3\xA9"), kBigVarChar, 32},
      {"nchar(2)",
       std::string("\xE2\x82\xAC"
                   "a"),
       kNChar, 4},
      {"nvarchar(128)", std::string("\xE2\x82\xAC uro"), kNVarChar, 256},
      {"sysname", std::string("master"), kNVarChar, 256},
      {"binary(2)", std::vector<uint8_t>{0x00, 0xFF}, kBigBinary, 2},
      {"varbinary(8000)", std::vector<uint8_t>{1, 2, 3}, kBigVarBinary, 8000},
      {"timestamp", std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0x07, 0xD1}, kBigBinary, 8},
      {"text", std::string(9000, 't'), kText, 0x7FFFFFFF},
      {"ntext", std::string("\xE2\x82\xAC"), kNText, 0x7FFFFFFE},
      {"image", std::vector<uint8_t>(10000, 0x5A), kImage, 0x7FFFFFFF},
      {"sql_variant", std::string("anything"), kNVarChar, 8000},
  };
  for (Layout layout : {Layout::kTds71, Layout::kTds72}) {
    for (const ColumnCase& c : cases) {
      SCOPED_TRACE(std::string(c.sql_type) + (layout == Layout::kTds71 ? " 7.1" : " 7.2"));
      Column column = ColumnFor("c", c.sql_type, kCollationCaseInsensitive);
      EXPECT_EQ(column.type, c.wire_type);
      EXPECT_EQ(column.max_length, c.max_length);
      Writer w;
      EncodeColMetadata(w, {column}, layout);
      EncodeRow(w, {column}, {c.value});
      EncodeRow(w, {column}, {std::monostate()});
      std::vector<Token> tokens = DecodeTokens(w.bytes(), layout);
      ASSERT_EQ(tokens.size(), 3u);
      EXPECT_EQ(std::get<ColMetadata>(tokens[0]).columns, std::vector<Column>{column});
      EXPECT_EQ(std::get<Row>(tokens[1]).values, std::vector<Value>{c.value});
      EXPECT_EQ(std::get<Row>(tokens[2]).values, std::vector<Value>{std::monostate()});
    }
  }
}

// A value stored before datetimes were rounded on the way in still goes out
// as a valid time: the rounding carries into the next day or minute.
TEST(TdsColumns, UnroundedStoredDateTimesCarryIntoTheNextDay) {
  const struct {
    const char* sql_type;
    const char* stored;
    const char* sent;
  } cases[] = {
      {"datetime", "2024-02-29 23:59:59.999", "2024-03-01 00:00:00.000"},
      {"datetime", "1999-12-31 23:59:59.998", "1999-12-31 23:59:59.997"},
      {"datetime", "2001-01-01 10:00:00.002", "2001-01-01 10:00:00.003"},
      {"smalldatetime", "2000-05-08 12:35:29.999", "2000-05-08 12:36:00.000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    Column column = ColumnFor("c", c.sql_type, kCollationCaseInsensitive);
    Writer w;
    EncodeColMetadata(w, {column}, Layout::kTds71);
    EncodeRow(w, {column}, {std::string(c.stored)});
    std::vector<Token> tokens = DecodeTokens(w.bytes(), Layout::kTds71);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(std::get<Row>(tokens[1]).values, std::vector<Value>{std::string(c.sent)});
  }
}

TEST(TdsColumns, CharacterDataUsesTheCollationsCodePage) {
  Column column = ColumnFor("c", "varchar(10)", kCollationCaseSensitive);
  EXPECT_EQ(column.collation, kCollationCaseSensitive);
  Writer w;
  EncodeRow(w, {column}, {std::string("\xC3\xA9\xE2\x82\xAC")});
  // 'é' is one Latin-1 byte; '€' has none and becomes '?'.
  EXPECT_EQ(w.bytes(), Bytes({0xD1, 0x02, 0x00, 0xE9, '?'}));
}

TEST(TdsColumns, ValuesThatDoNotFitTheirColumnAreErrors) {
  struct Case {
    const char* sql_type;
    Value value;
  };
  const Case cases[] = {
      {"int", std::string("seven")},           {"decimal(3,0)", std::string("12345678901")},
      {"datetime", std::string("not a date")}, {"uniqueidentifier", std::string("1234")},
      {"varchar(2)", std::string("abc")},      {"money", std::string("x")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql_type);
    Writer w;
    EXPECT_THROW(EncodeRow(w, {ColumnFor("c", c.sql_type, kCollationCaseInsensitive)}, {c.value}),
                 EncodeError);
  }
  Writer w;
  EXPECT_THROW(EncodeRow(w, {ColumnFor("c", "int", kCollationCaseInsensitive)}, {}), EncodeError)
      << "a row with the wrong number of values";
}

ReplyContext Context() { return ReplyContext{"TAVORA", kCollationCaseInsensitive, Layout::kTds71}; }

TEST(TdsReply, BatchGivesOneDonePerStatementAndSelectResultsInPlace) {
  BatchOutcome outcome;
  // USE, INSERT of 2, SELECT of 2, UPDATE of 2: the rows belong to the
  // SELECT, not to the first statement with a matching count.
  outcome.row_counts = {-1, 2, 2, 2};
  ResultSet result{{"name"}, {"sysname"}, {{std::string("a")}, {std::string("b")}}, 2};
  outcome.results = {result};
  outcome.messages = {SqlError{5701, 10, 1, "Changed database context to 'model'.", 1}};
  std::vector<Token> tokens =
      DecodeTokens(BatchReply(Context(), outcome, "master", "model"), Layout::kTds71);
  ASSERT_EQ(tokens.size(), 9u);
  EXPECT_EQ(std::get<EnvChange>(tokens[0]), (EnvChange{kEnvDatabase, "model", "master", {}}));
  // Severity 10 goes out as class 0, as SQL Server sends it.
  EXPECT_EQ(
      std::get<ServerMessage>(tokens[1]),
      (ServerMessage{false, 5701, 1, 0, "Changed database context to 'model'.", "TAVORA", "", 1}));
  EXPECT_EQ(std::get<Done>(tokens[2]), (Done{kTokenDone, kDoneMore, 0, 0}));
  EXPECT_EQ(std::get<Done>(tokens[3]), (Done{kTokenDone, kDoneMore | kDoneCount, 0, 2}));
  EXPECT_TRUE(std::holds_alternative<ColMetadata>(tokens[4]));
  EXPECT_EQ(std::get<Row>(tokens[5]).values, std::vector<Value>{std::string("a")});
  EXPECT_EQ(std::get<Row>(tokens[6]).values, std::vector<Value>{std::string("b")});
  EXPECT_EQ(std::get<Done>(tokens[7]), (Done{kTokenDone, kDoneMore | kDoneCount, 0xC1, 2}));
  EXPECT_EQ(std::get<Done>(tokens[8]), (Done{kTokenDone, kDoneFinal | kDoneCount, 0, 2}));
}

TEST(TdsReply, FailedBatchEndsWithErrorAndErrorDone) {
  BatchOutcome outcome;
  outcome.row_counts = {1};
  outcome.AddError(SqlError{208, 16, 1, "Invalid object name 'x'.", 2}, true);
  std::vector<Token> tokens =
      DecodeTokens(BatchReply(Context(), outcome, "master", "master"), Layout::kTds71);
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(std::get<Done>(tokens[0]), (Done{kTokenDone, kDoneMore | kDoneCount, 0, 1}));
  EXPECT_EQ(std::get<ServerMessage>(tokens[1]),
            (ServerMessage{true, 208, 1, 16, "Invalid object name 'x'.", "TAVORA", "", 2}));
  EXPECT_EQ(std::get<Done>(tokens[2]), (Done{kTokenDone, kDoneError, 0, 0}));
}

// A statement that fails alone gets its ERROR and an error DONE where it
// ran; the statements after it follow, and the last DONE ends the reply.
TEST(TdsReply, AStatementsErrorComesWhereItHappened) {
  BatchOutcome outcome;
  outcome.row_counts = {1};
  outcome.AddError(SqlError{2627, 14, 1, "Violation", 2}, false);
  outcome.row_counts.push_back(1);
  outcome.AddError(SqlError{515, 16, 2, "NULL", 3}, false);
  std::vector<Token> tokens =
      DecodeTokens(BatchReply(Context(), outcome, "master", "master"), Layout::kTds71);
  ASSERT_EQ(tokens.size(), 6u);
  EXPECT_EQ(std::get<Done>(tokens[0]), (Done{kTokenDone, kDoneMore | kDoneCount, 0, 1}));
  EXPECT_EQ(std::get<ServerMessage>(tokens[1]).number, 2627);
  EXPECT_EQ(std::get<Done>(tokens[2]), (Done{kTokenDone, kDoneMore | kDoneError, 0, 0}));
  EXPECT_EQ(std::get<Done>(tokens[3]), (Done{kTokenDone, kDoneMore | kDoneCount, 0, 1}));
  EXPECT_EQ(std::get<ServerMessage>(tokens[4]).number, 515);
  EXPECT_EQ(std::get<Done>(tokens[5]), (Done{kTokenDone, kDoneError, 0, 0}));
}

TEST(TdsReply, EmptyBatchStillGetsItsDone) {
  std::vector<Token> tokens =
      DecodeTokens(BatchReply(Context(), BatchOutcome{}, "master", "master"), Layout::kTds71);
  ASSERT_EQ(tokens.size(), 1u);
  EXPECT_EQ(std::get<Done>(tokens[0]), Done{});
}

TEST(TdsReply, UnsendableValueBecomesError50000) {
  BatchOutcome outcome;
  outcome.row_counts = {1};
  outcome.results = {ResultSet{{"n"}, {"int"}, {{std::string("seven")}}}};
  std::vector<Token> tokens =
      DecodeTokens(BatchReply(Context(), outcome, "master", "master"), Layout::kTds71);
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(std::get<ServerMessage>(tokens[0]).number, 50000);
  EXPECT_EQ(std::get<Done>(tokens[1]).status, kDoneError);
}

TEST(TdsReply, ProcedureReplyEndsWithStatusOutputAndDoneProc) {
  BatchOutcome outcome;
  outcome.row_counts = {1};
  outcome.results = {ResultSet{{"n"}, {"int"}, {{int64_t{1}}}}};
  ReturnValue handle{0, "", 1, ColumnFor("", "int", kCollationCaseInsensitive), int64_t{3}};
  std::vector<Token> tokens = DecodeTokens(
      ProcedureReply(Context(), outcome, "master", "master", 0, {handle}), Layout::kTds71);
  ASSERT_EQ(tokens.size(), 6u);
  EXPECT_TRUE(std::holds_alternative<ColMetadata>(tokens[0]));
  EXPECT_TRUE(std::holds_alternative<Row>(tokens[1]));
  EXPECT_EQ(std::get<Done>(tokens[2]), (Done{kTokenDoneInProc, kDoneMore | kDoneCount, 0xC1, 1}));
  EXPECT_EQ(std::get<ReturnStatus>(tokens[3]), ReturnStatus{0});
  EXPECT_EQ(std::get<ReturnValue>(tokens[4]), handle);
  EXPECT_EQ(std::get<Done>(tokens[5]), (Done{kTokenDoneProc, kDoneFinal, 0, 0}));

  BatchOutcome failed;
  failed.AddError(SqlError{208, 16, 1, "Invalid object name 'x'.", 1}, true);
  std::vector<Token> error_tokens = DecodeTokens(
      ProcedureReply(Context(), failed, "master", "master", std::nullopt, {}), Layout::kTds71);
  ASSERT_EQ(error_tokens.size(), 3u);
  EXPECT_EQ(std::get<ServerMessage>(error_tokens[0]).number, 208);
  EXPECT_EQ(std::get<Done>(error_tokens[1]),
            (Done{kTokenDoneInProc, kDoneMore | kDoneError, 0, 0}));
  EXPECT_EQ(std::get<Done>(error_tokens[2]), (Done{kTokenDoneProc, kDoneError, 0, 0}));
}

TEST(TdsReply, LoginReplyInTheOrderClientsExpect) {
  ReplyContext context = Context();
  context.layout = Layout::kTds72;  // a client that asked for 7.2 reads with its widths first
  std::vector<uint8_t> bytes = LoginReply(context, "master", 8192);
  // Everything before LOGINACK in 7.2 widths, the rest in 7.1's.
  Reader r(bytes);
  std::vector<uint8_t> types;
  std::vector<std::pair<int32_t, int>> classes;  // of the informational messages
  while (!r.empty()) {
    uint8_t type = r.U8();
    types.push_back(type);
    if (type == kTokenEnvChange) {
      DecodeEnvChange(r);
    } else if (type == kTokenInfo) {
      ServerMessage info = DecodeServerMessage(r, false, Layout::kTds72);
      classes.emplace_back(info.number, info.severity);
    } else if (type == kTokenLoginAck) {
      EXPECT_EQ(DecodeLoginAck(r).tds_version, 0x71000001u);
    } else if (type == kTokenDone) {
      EXPECT_EQ(DecodeDone(r, type, Layout::kTds71), Done{});
    } else {
      ADD_FAILURE() << "unexpected token " << int{type};
      break;
    }
  }
  EXPECT_EQ(types, Bytes({kTokenEnvChange, kTokenInfo, kTokenEnvChange, kTokenEnvChange, kTokenInfo,
                          kTokenLoginAck, kTokenEnvChange, kTokenDone}));
  EXPECT_EQ(classes, (std::vector<std::pair<int32_t, int>>{{5701, 0}, {5703, 0}}));
}

}  // namespace
}  // namespace server::tds
