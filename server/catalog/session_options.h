#ifndef TAVORA_SERVER_CATALOG_SESSION_OPTIONS_H_
#define TAVORA_SERVER_CATALOG_SESSION_OPTIONS_H_

#include <cstdint>

namespace server {

// SET TRANSACTION ISOLATION LEVEL: how long what a statement reads stays
// locked. READ UNCOMMITTED reads without locks, READ COMMITTED holds its
// locks to the end of the statement, and the other two to the end of the
// transaction (whole tables are locked, so they are alike here).
enum class Isolation { kReadUncommitted, kReadCommitted, kRepeatableRead, kSerializable };

// The SET options a session may change. A new session has the values the
// ODBC and OLE DB drivers set when they connect. ANSI_PADDING is always ON
// and NUMERIC_ROUNDABORT always OFF here, so they have no field: SET accepts
// only those values.
struct SessionOptions {
  bool nocount = false;           // DONE tokens carry no row count
  bool noexec = false;            // statements are parsed, not run
  bool parseonly = false;         // statements are parsed only; set while a batch is parsed
  bool fmtonly = false;           // SELECT returns its columns without rows; nothing else runs
  int64_t rowcount = 0;           // rows a statement may return or change; 0 for all
  int64_t textsize = 2147483647;  // bytes of a text, ntext or image value a SELECT returns
  int64_t lock_timeout = -1;      // milliseconds; -1 waits for ever
  bool ansi_null_dflt_on = true;  // columns without NULL or NOT NULL allow NULL
  bool ansi_null_dflt_off = false;
  bool arithabort = true;
  bool ansi_nulls = true;               // OFF: = NULL and <> NULL test for NULL
  bool quoted_identifier = true;        // OFF: "text" is a string, not a name
  bool ansi_warnings = true;            // OFF: overflow gives NULL, storing cuts long strings
  bool concat_null_yields_null = true;  // OFF: 'a' + NULL is 'a'
  bool xact_abort = false;
  bool implicit_transactions =
      false;  // the statements that change or read data begin a transaction
  bool cursor_close_on_commit = false;
  Isolation isolation = Isolation::kReadCommitted;
  bool deadlock_priority_low = false;  // chosen first as a deadlock's victim

  // The @@OPTIONS bit mask.
  int64_t Bits() const {
    int64_t bits = 16;  // ANSI_PADDING
    if (quoted_identifier) bits |= 256;
    if (ansi_warnings) bits |= 8;
    if (ansi_nulls) bits |= 32;
    if (concat_null_yields_null) bits |= 4096;
    if (implicit_transactions) bits |= 2;
    if (cursor_close_on_commit) bits |= 4;
    if (arithabort) bits |= 64;
    if (nocount) bits |= 512;
    if (ansi_null_dflt_on) bits |= 1024;
    if (ansi_null_dflt_off) bits |= 2048;
    if (xact_abort) bits |= 16384;
    return bits;
  }
};

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_SESSION_OPTIONS_H_
