#include "server/tds/tokens.h"

#include <string>

namespace server::tds {

namespace {

// Longest message text sent; SQL Server's own messages stay well below it,
// and the token's 2-byte length must hold the rest.
constexpr size_t kMaxMessageChars = 4000;

}  // namespace

void Encode(Writer& w, const EnvChange& token) {
  w.U8(kTokenEnvChange);
  LengthPrefix16 length(w);
  w.U8(token.type);
  if (token.type == kEnvCollation) {
    w.U8(static_cast<uint8_t>(token.new_bytes.size()));
    w.Bytes(token.new_bytes);
    w.U8(0);
  } else {
    w.BVarChar(token.new_value);
    w.BVarChar(token.old_value);
  }
}

EnvChange DecodeEnvChange(Reader& r) {
  uint16_t length = r.U16();
  Reader body(r.Bytes(length));
  EnvChange token;
  token.type = body.U8();
  if (token.type == kEnvCollation) {
    auto bytes = body.Bytes(body.U8());
    token.new_bytes.assign(bytes.begin(), bytes.end());
    body.Bytes(body.U8());
  } else {
    token.new_value = body.BVarChar();
    token.old_value = body.BVarChar();
  }
  return token;
}

void Encode(Writer& w, const ServerMessage& token, Layout layout) {
  w.U8(token.error ? kTokenError : kTokenInfo);
  LengthPrefix16 length(w);
  w.U32(static_cast<uint32_t>(token.number));
  w.U8(token.state);
  w.U8(token.severity);
  w.UsVarChar(CutToUnits(token.text, kMaxMessageChars));
  w.BVarChar(token.server);
  w.BVarChar(token.procedure);
  if (layout == Layout::kTds72) {
    w.U32(static_cast<uint32_t>(token.line));
  } else {
    w.U16(static_cast<uint16_t>(token.line));
  }
}

ServerMessage DecodeServerMessage(Reader& r, bool error, Layout layout) {
  uint16_t length = r.U16();
  Reader body(r.Bytes(length));
  ServerMessage token;
  token.error = error;
  token.number = static_cast<int32_t>(body.U32());
  token.state = body.U8();
  token.severity = body.U8();
  token.text = body.UsVarChar();
  token.server = body.BVarChar();
  token.procedure = body.BVarChar();
  token.line = layout == Layout::kTds72 ? static_cast<int32_t>(body.U32()) : body.U16();
  return token;
}

void Encode(Writer& w, const LoginAck& token) {
  w.U8(kTokenLoginAck);
  LengthPrefix16 length(w);
  w.U8(token.interface);
  w.U32Be(token.tds_version);
  w.BVarChar(token.program);
  w.U8(token.major);
  w.U8(token.minor);
  w.U16Be(token.build);
}

LoginAck DecodeLoginAck(Reader& r) {
  uint16_t length = r.U16();
  Reader body(r.Bytes(length));
  LoginAck token;
  token.interface = body.U8();
  token.tds_version = body.U32Be();
  token.program = body.BVarChar();
  token.major = body.U8();
  token.minor = body.U8();
  token.build = body.U16Be();
  return token;
}

void Encode(Writer& w, const Done& token, Layout layout) {
  w.U8(token.token);
  w.U16(token.status);
  w.U16(token.command);
  if (layout == Layout::kTds72) {
    w.U64(token.row_count);
  } else {
    w.U32(static_cast<uint32_t>(token.row_count));
  }
}

Done DecodeDone(Reader& r, uint8_t token, Layout layout) {
  Done done;
  done.token = token;
  done.status = r.U16();
  done.command = r.U16();
  done.row_count = layout == Layout::kTds72 ? r.U64() : r.U32();
  return done;
}

void Encode(Writer& w, const ReturnStatus& token) {
  w.U8(kTokenReturnStatus);
  w.U32(static_cast<uint32_t>(token.value));
}

ReturnStatus DecodeReturnStatus(Reader& r) { return ReturnStatus{static_cast<int32_t>(r.U32())}; }

void Encode(Writer& w, const ReturnValue& token, Layout layout) {
  w.U8(kTokenReturnValue);
  w.U16(token.ordinal);
  w.BVarChar(token.name);
  w.U8(token.status);
  if (layout == Layout::kTds72) {
    w.U32(0);
  } else {
    w.U16(0);  // user type
  }
  w.U16(token.type.flags);
  EncodeTypeInfo(w, token.type, layout, false);
  EncodeParameterValue(w, token.type, token.value);
}

ReturnValue DecodeReturnValue(Reader& r, Layout layout) {
  ReturnValue token;
  token.ordinal = r.U16();
  token.name = r.BVarChar();
  token.status = r.U8();
  if (layout == Layout::kTds72) {
    r.U32();
  } else {
    r.U16();
  }
  uint16_t flags = r.U16();
  token.type = DecodeTypeInfo(r, layout, false);
  token.type.flags = flags;
  token.value = DecodeParameterValue(r, token.type);
  return token;
}

std::vector<Token> DecodeTokens(std::span<const uint8_t> stream, Layout layout) {
  Reader r(stream);
  std::vector<Token> tokens;
  std::vector<Column> columns;
  bool have_columns = false;
  while (!r.empty()) {
    uint8_t type = r.U8();
    switch (type) {
      case kTokenEnvChange:
        tokens.push_back(DecodeEnvChange(r));
        break;
      case kTokenError:
      case kTokenInfo:
        tokens.push_back(DecodeServerMessage(r, type == kTokenError, layout));
        break;
      case kTokenLoginAck:
        tokens.push_back(DecodeLoginAck(r));
        break;
      case kTokenDone:
      case kTokenDoneProc:
      case kTokenDoneInProc:
        tokens.push_back(DecodeDone(r, type, layout));
        break;
      case kTokenColMetadata:
        columns = DecodeColMetadata(r, layout);
        have_columns = true;
        tokens.push_back(ColMetadata{columns});
        break;
      case kTokenRow:
        if (!have_columns) throw DecodeError("ROW without COLMETADATA before it");
        tokens.push_back(Row{DecodeRow(r, columns)});
        break;
      case kTokenReturnStatus:
        tokens.push_back(DecodeReturnStatus(r));
        break;
      case kTokenReturnValue:
        tokens.push_back(DecodeReturnValue(r, layout));
        break;
      default:
        throw DecodeError("unknown token " + std::to_string(type) + " at offset " +
                          std::to_string(r.position() - 1));
    }
  }
  return tokens;
}

}  // namespace server::tds
