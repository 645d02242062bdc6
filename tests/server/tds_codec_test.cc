// The TDS framing and the client's opening messages: packets, pre-login,
// LOGIN7 and SQL batch text, each encoded and decoded in memory.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/tds/login7.h"
#include "server/tds/packet.h"
#include "server/tds/prelogin.h"
#include "server/tds/rpc.h"
#include "server/tds/sql_batch.h"
#include "server/tds/wire.h"
#include "tests/server/server_test_util.h"

namespace server::tds {
namespace {

using server::testing::Bytes;

std::span<const uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(TdsWire, Ucs2IsLittleEndianUtf16AndRefusesWhatIsNotText) {
  const std::string utf8 = "h\xC3\xA9\xF0\x9F\x98\x80";  // a surrogate pair on the wire
  const std::vector<uint8_t> ucs2 = Bytes({'h', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE});
  EXPECT_EQ(Utf8ToUcs2(utf8), std::string(ucs2.begin(), ucs2.end()));
  EXPECT_EQ(Ucs2ToUtf8(ucs2), utf8);
  EXPECT_THROW(Utf8ToUcs2("\xC0\x80"), EncodeError);
  EXPECT_THROW(Ucs2ToUtf8(Bytes({0x00, 0xD8, 'a', 0})), DecodeError) << "a lone surrogate";
  EXPECT_THROW(Ucs2ToUtf8(Bytes({'a', 0, 'b'})), DecodeError) << "an odd byte count";
}

TEST(TdsWire, ReaderRefusesToReadPastTheEnd) {
  std::vector<uint8_t> data = Bytes({1, 2, 3});
  Reader r(data);
  EXPECT_EQ(r.U16(), 0x0201);
  EXPECT_THROW(r.U16(), DecodeError);
  std::vector<uint8_t> short_name = Bytes({5, 'a', 0});
  Reader names(short_name);
  EXPECT_THROW(names.BVarChar(), DecodeError) << "a count beyond the data";
}

TEST(TdsPacket, HeaderIsBigEndianAndRoundTrips) {
  PacketHeader header{PacketType::kReply, kStatusEndOfMessage, 0x0123, 0x0034, 7, 0};
  uint8_t bytes[kHeaderSize];
  EncodeHeader(header, bytes);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + kHeaderSize),
            Bytes({0x04, 0x01, 0x01, 0x23, 0x00, 0x34, 0x07, 0x00}));
  EXPECT_EQ(DecodeHeader(std::span<const uint8_t, kHeaderSize>(bytes, kHeaderSize)), header);
}

TEST(TdsPacket, MessagesSurviveAnySplitOfTheStream) {
  std::vector<uint8_t> payload(3000);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  // Two messages of several 512-byte packets each, back to back.
  std::vector<uint8_t> stream = Packetize(PacketType::kSqlBatch, payload, 0, 512);
  std::vector<uint8_t> second = Packetize(PacketType::kAttention, {}, 0, 512);
  stream.insert(stream.end(), second.begin(), second.end());
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{8}, size_t{513}, stream.size()}) {
    SCOPED_TRACE(chunk);
    MessageAssembler assembler;
    size_t first_end = stream.size() - second.size();
    for (size_t at = 0; at < stream.size(); at += chunk) {
      size_t n = std::min(chunk, stream.size() - at);
      assembler.Feed(std::span<const uint8_t>(stream).subspan(at, n));
      // Until the first message is whole, the assembler holds part of it.
      if (at + n < first_end) {
        ASSERT_FALSE(assembler.idle() && at + n > 0);
      }
    }
    std::optional<Message> first = assembler.Next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->type, PacketType::kSqlBatch);
    EXPECT_EQ(first->payload, payload);
    std::optional<Message> attention = assembler.Next();
    ASSERT_TRUE(attention);
    EXPECT_EQ(attention->type, PacketType::kAttention);
    EXPECT_TRUE(attention->payload.empty());
    EXPECT_TRUE(assembler.idle());
  }
}

TEST(TdsPacket, PacketizeNumbersPacketsAndMarksOnlyTheLast) {
  std::vector<uint8_t> payload(1100, 0xAB);
  std::vector<uint8_t> stream = Packetize(PacketType::kReply, payload, 52, 512);
  ASSERT_EQ(stream.size(), 1100 + 3 * kHeaderSize);
  EXPECT_EQ(std::vector<uint8_t>(stream.begin(), stream.begin() + 8),
            Bytes({0x04, 0x00, 0x02, 0x00, 0x00, 0x34, 1, 0}));
  EXPECT_EQ(std::vector<uint8_t>(stream.begin() + 512, stream.begin() + 520),
            Bytes({0x04, 0x00, 0x02, 0x00, 0x00, 0x34, 2, 0}));
  EXPECT_EQ(std::vector<uint8_t>(stream.begin() + 1024, stream.begin() + 1032),
            Bytes({0x04, 0x01, 0x00, 0x64, 0x00, 0x34, 3, 0}));
}

TEST(TdsPacket, AssemblerRejectsBrokenFraming) {
  struct Case {
    const char* name;
    std::vector<uint8_t> stream;
  };
  std::vector<uint8_t> not_last = Bytes({0x01, 0x00, 0x00, 0x0A, 0, 0, 1, 0, 'a', 0});
  std::vector<uint8_t> other_type = Bytes({0x12, 0x01, 0x00, 0x08, 0, 0, 2, 0});
  std::vector<uint8_t> mixed = not_last;
  mixed.insert(mixed.end(), other_type.begin(), other_type.end());
  std::vector<Case> cases = {{"another type inside a message", mixed}};
  // A length must cover the header and stay within 32767.
  for (int length : {0, 7, 32768, 0xFFFF}) {
    cases.push_back({"length", Bytes({0x01, 0x01, length >> 8, length & 0xFF, 0, 0, 1, 0})});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.name << " " << (c.stream[2] << 8 | c.stream[3]));
    MessageAssembler assembler;
    EXPECT_THROW(assembler.Feed(c.stream), DecodeError);
  }
}

TEST(TdsPacket, AssemblerBoundsTheMessageSize) {
  MessageAssembler assembler(1000);
  std::vector<uint8_t> payload(1001, 'x');
  EXPECT_THROW(assembler.Feed(Packetize(PacketType::kSqlBatch, payload, 0, 512)), DecodeError);
  MessageAssembler fits(1000);
  fits.Feed(Packetize(PacketType::kSqlBatch, std::vector<uint8_t>(1000, 'x'), 0, 512));
  EXPECT_TRUE(fits.Next());
}

TEST(TdsPacket, TruncatedPacketLeavesTheAssemblerBusy) {
  MessageAssembler assembler;
  std::vector<uint8_t> stream = Packetize(PacketType::kSqlBatch, Bytes({'a', 0}), 0, 4096);
  assembler.Feed(std::span<const uint8_t>(stream).first(stream.size() - 1));
  EXPECT_FALSE(assembler.Next());
  EXPECT_FALSE(assembler.idle());
}

TEST(TdsPreLogin, ServerReplyHasTheExactBytes) {
  // VERSION 8.0.2039, ENCRYPTION not supported, the default instance,
  // THREADID; offsets count from the message start, after a 21-byte table.
  EXPECT_EQ(EncodePreLogin(PreLoginReply(9)),
            Bytes({0x00, 0x00, 0x15, 0x00, 0x06,  //
                   0x01, 0x00, 0x1B, 0x00, 0x01,  //
                   0x02, 0x00, 0x1C, 0x00, 0x01,  //
                   0x03, 0x00, 0x1D, 0x00, 0x04,  //
                   0xFF,                          //
                   0x08, 0x00, 0x07, 0xF7, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x09}));
}

TEST(TdsPreLogin, ClientOptionsRoundTrip) {
  PreLogin options;
  options.version = PreLogin::Version{7, 1, 1234, 5};
  options.encryption = kEncryptOff;
  options.instance = "MSSQLServer";
  options.thread_id = 0x01020304;
  options.mars = 0;
  EXPECT_EQ(DecodePreLogin(EncodePreLogin(options)), options);
  EXPECT_EQ(DecodePreLogin(EncodePreLogin(PreLogin{})), PreLogin{});
}

TEST(TdsPreLogin, MalformedTablesAreRefused) {
  struct Case {
    const char* name;
    std::vector<uint8_t> payload;
  };
  const Case cases[] = {
      {"no terminator", Bytes({0x00, 0x00, 0x06, 0x00, 0x06})},
      {"empty", {}},
      {"data past the end", Bytes({0x01, 0x00, 0x06, 0x00, 0x05, 0xFF, 0x00})},
      {"data inside the table", Bytes({0x01, 0x00, 0x00, 0x00, 0x01, 0xFF})},
      {"short version", Bytes({0x00, 0x00, 0x06, 0x00, 0x02, 0xFF, 0x08, 0x00})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(DecodePreLogin(c.payload), DecodeError);
  }
  EXPECT_EQ(DecodePreLogin(Bytes({0x42, 0x00, 0x06, 0x00, 0x00, 0xFF})), PreLogin{})
      << "an unknown option is skipped";
}

TEST(TdsLogin7, PasswordScrambleSwapsNibblesThenXors) {
  // 'a' 0x00 -> nibbles swapped 0x16 0x00 -> XOR 0xA5: 0xB3 0xA5.
  EXPECT_EQ(ScramblePassword(std::string("a\0", 2)), "\xB3\xA5");
  EXPECT_EQ(UnscramblePassword(Bytes({0xB3, 0xA5})), std::string("a\0", 2));
}

TEST(TdsLogin7, RoundTripsInBothFixedPartSizes) {
  Login7 login;
  login.packet_size = 8192;
  login.client_pid = 4711;
  login.option_flags1 = 0xE0;
  login.option_flags2 = 0x03;
  login.time_zone = -60;
  login.lcid = 0x0409;
  login.host_name = "host";
  login.user_name = "sa";
  login.password =
      "s\xC3\xA9"
      "cret";
  login.app_name = "tsql";
  login.server_name = "127.0.0.1,1433";
  login.library_name = "DB-Library";
  login.language = "us_english";
  login.database = "model";
  login.client_id = {1, 2, 3, 4, 5, 6};
  login.sspi = {0x4E, 0x54};
  for (uint32_t version : {kTds71, kTds72}) {
    SCOPED_TRACE(version);
    login.tds_version = version;
    std::vector<uint8_t> bytes = EncodeLogin7(login);
    // The first variable field starts right after the fixed part.
    EXPECT_EQ(bytes[36] | (bytes[37] << 8), version == kTds71 ? 86 : 94);
    EXPECT_EQ(DecodeLogin7(bytes), login);
  }
}

TEST(TdsLogin7, BrokenMessagesAreRefused) {
  Login7 login;
  login.user_name = "sa";
  std::vector<uint8_t> good = EncodeLogin7(login);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> wrong_length = good;
  wrong_length[0] += 1;
  std::vector<uint8_t> short_fixed(good.begin(), good.begin() + 60);
  short_fixed[0] = 60;
  std::vector<uint8_t> offset_out = good;
  offset_out[40] = 0xF0;  // UserName's offset far past the end
  std::vector<uint8_t> length_out = good;
  length_out[42] = 0x7F;  // UserName's length: 127 characters
  const Case cases[] = {
      {"declared length differs", wrong_length},
      {"fixed part cut short", short_fixed},
      {"offset outside", offset_out},
      {"length outside", length_out},
      {"empty", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(DecodeLogin7(c.bytes), DecodeError);
  }
}

TEST(TdsSqlBatch, TextWithOrWithoutAllHeaders) {
  const std::string sql = "SELECT name FROM sysdatabases";
  EXPECT_EQ(DecodeSqlBatch(EncodeSqlBatch(sql, false)), sql);
  EXPECT_EQ(DecodeSqlBatch(EncodeSqlBatch(sql, true)), sql);
  std::vector<uint8_t> headers = EncodeSqlBatch("", true);
  EXPECT_EQ(headers.size(), 22u);
  EXPECT_EQ(DecodeSqlBatch({}), "");
  // Text that merely starts like a header block stays text.
  std::string ucs2 = Utf8ToUcs2("\x16");
  EXPECT_EQ(DecodeSqlBatch(AsBytes(ucs2)), "\x16");
}

TEST(TdsRpc, DecodesAPreparedCallAsTheOdbcDriverSendsIt) {
  // sp_prepexec by id: @handle int OUTPUT (NULL), @params ntext (NULL) and
  // the statement as ntext; bytes as a 7.1 driver put them on the wire.
  std::vector<uint8_t> payload =
      Bytes({0xFF, 0xFF, 0x0D, 0x00, 0x00, 0x00,                          // id 13, options
             0x00, 0x01, 0x26, 0x04, 0x00,                                // @handle
             0x00, 0x00, 0x63, 0x00, 0x00, 0x00, 0x00, 0x09, 0x04, 0xD0,  // @params ...
             0x00, 0x34, 0xFF, 0xFF, 0xFF, 0xFF,                          // ... NULL
             0x00, 0x00, 0x63, 0x10, 0x00, 0x00, 0x00, 0x09, 0x04, 0xD0,  // @stmt ...
             0x00, 0x34, 0x10, 0x00, 0x00, 0x00, 'S',  0,    'E',  0,    'L',
             0,    'E',  0,    'C',  0,    'T',  0,    ' ',  0,    '1',  0});
  RpcRequest call = DecodeRpc(payload).at(0);
  EXPECT_EQ(call.proc_id, kSpPrepExec);
  ASSERT_EQ(call.parameters.size(), 3u);
  EXPECT_EQ(call.parameters[0].status, kParamOutput);
  EXPECT_EQ(call.parameters[0].type.type, kIntN);
  EXPECT_EQ(call.parameters[0].value, Value{});
  EXPECT_EQ(call.parameters[1].value, Value{});
  EXPECT_EQ(call.parameters[2].value, Value{std::string("SELECT 1")});
  // Encoding gives the same bytes back.
  EXPECT_EQ(EncodeRpc(call, false), payload);
  EXPECT_EQ(DecodeRpc(EncodeRpc(call, true)), std::vector<RpcRequest>{call});
}

TEST(TdsRpc, ANumericParameterTakesOnlyTheBytesItsPrecisionNeeds) {
  // The ODBC driver sends 12.34 as numeric(4,2) in three bytes: the sign
  // and a two-byte magnitude.
  RpcRequest call = DecodeRpc(Bytes({0xFF, 0xFF, 0x0D, 0x00, 0x00, 0x00,  // id 13
                                     0x00, 0x00, 0x6C, 0x03, 0x04, 0x02,  // numeric(4,2)
                                     0x03, 0x01, 0xD2, 0x04}))            // +1234
                        .at(0);
  ASSERT_EQ(call.parameters.size(), 1u);
  EXPECT_EQ(call.parameters[0].value, Value{std::string("12.34")});
}

TEST(TdsRpc, ByNameSeveralAndBrokenCalls) {
  RpcRequest by_name;
  by_name.proc_name = "sp_who";
  EXPECT_EQ(DecodeRpc(EncodeRpc(by_name, false)), std::vector<RpcRequest>{by_name});
  // Calls after the first follow a batch flag, 0x80 in TDS 7.1 and 0xFF later.
  RpcRequest by_id;
  by_id.proc_id = kSpExecuteSql;
  for (uint8_t flag : {0x80, 0xFF}) {
    std::vector<uint8_t> two_calls = EncodeRpc(by_name, true);
    two_calls.push_back(flag);
    std::vector<uint8_t> second = EncodeRpc(by_id, false);
    two_calls.insert(two_calls.end(), second.begin(), second.end());
    EXPECT_EQ(DecodeRpc(two_calls), (std::vector<RpcRequest>{by_name, by_id})) << int{flag};
    // A flag with nothing after it is no call.
    std::vector<uint8_t> dangling = EncodeRpc(by_name, false);
    dangling.push_back(flag);
    EXPECT_THROW(DecodeRpc(dangling), DecodeError);
  }
  EXPECT_THROW(DecodeRpc(Bytes({0xFF, 0xFF, 0x0A})), DecodeError);
  EXPECT_THROW(DecodeRpc(Bytes({0xFF, 0xFF, 0x0A, 0, 0, 0, 0, 0, 0x99})), DecodeError)
      << "an unknown parameter type";
}

}  // namespace
}  // namespace server::tds
