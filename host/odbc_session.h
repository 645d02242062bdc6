#ifndef TAVORA_HOST_ODBC_SESSION_H_
#define TAVORA_HOST_ODBC_SESSION_H_

#include "harness/session.h"

namespace host {

// A session over the system's ODBC driver manager. Open hands the connection
// string to SQLDriverConnect unchanged, after the login timeout last set;
// a string the TDS driver would read otherwise than ODBC says (a braced
// value holding '}') or that is not one (error 5) is refused first.
// Execute splits the text on GO lines and runs each batch with
// SQLExecDirect, reading every result and message; it returns the
// informational messages, one a line (CR LF between them). Query runs its
// text and returns the rows of its first result set. The first error of a
// batch fails the call with the message's native number (or -2147467259,
// the platform's generic failure, when the driver gives none) and the
// driver's message text; later batches do not run. Using the session in the
// wrong state gets the same errors as every back end (3704, 3705). Releasing
// an open session disconnects it.
//
// Unless the environment already names one in TDSVER, the first session pins
// TDS protocol 7.1 (what SQL Server 2000 speaks) in TDSVER for the whole
// process: the datasets' connection string, passed on unchanged, does not
// name it, and the TDS driver reads the version from a DSN, the connection
// string or the environment, never from its odbcinst.ini entry.
harness::ComPtr<harness::SqlSession> MakeOdbcSession();

}  // namespace host

#endif  // TAVORA_HOST_ODBC_SESSION_H_
