#ifndef TAVORA_HOST_COMMAND_LINE_H_
#define TAVORA_HOST_COMMAND_LINE_H_

#include <ostream>

namespace host {

// The `tavora` command: parses the command line, runs the command and returns
// the exit status: 0 on success, 1 when an operation failed (reported as
// "error NUMBER: DESCRIPTION" on `err`), 2 for a usage error naming what is
// valid.
int TavoraMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace host

#endif  // TAVORA_HOST_COMMAND_LINE_H_
