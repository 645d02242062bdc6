#pragma once

// Running a client program against `tavora serve` and reading what it said:
// the end-to-end tests of real client libraries and tools share these.

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/scratch_folder.h"

#ifndef TAVORA_SOURCE_DIR
#define TAVORA_SOURCE_DIR "."
#endif

namespace tavora::testing {

inline std::string ClientScript(const std::string& name) {
  return (std::filesystem::path(TAVORA_SOURCE_DIR) / "tests" / "e2e" / "clients" / name).string();
}

struct ScriptRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::ostream& operator<<(std::ostream& os, const ScriptRun& run) {
  return os << "exit status " << run.status << "\n--- stdout\n"
            << run.out << "--- stderr\n"
            << run.err;
}

// Runs `command` (each word single-quoted for the shell; none holds a
// quote), bounded so that a client waiting for ever fails the test instead
// of hanging it (exit status 124). `environment` are NAME=VALUE words put
// before it with env(1).
inline ScriptRun RunClient(const std::vector<std::string>& command,
                           const std::vector<std::string>& environment = {}) {
  const std::filesystem::path err_file = ScratchFolder("client") / "stderr.txt";
  std::string line = "timeout 60";
  if (!environment.empty()) line += " env";
  for (const std::string& word : environment) line += " '" + word + "'";
  for (const std::string& word : command) line += " '" + word + "'";
  line += " 2>'" + err_file.string() + "'";
  ScriptRun run;
  FILE* pipe = ::popen(line.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = ReadFile(err_file);
  return run;
}

// Whether the shell command succeeds, its output discarded: whether a
// library loads or a tool is there; a test whose client is not is skipped.
inline bool Loads(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace tavora::testing
