#ifndef TAVORA_HOST_RECORD_SESSION_H_
#define TAVORA_HOST_RECORD_SESSION_H_

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "harness/error.h"
#include "harness/session.h"

namespace host {

// The session calls of one run, in order, as JSON objects:
// {"call":"SetLoginTimeout","value":15}, {"call":"Open","text":...},
// {"call":"Execute","option":0,"text":...}, {"call":"Query","text":...},
// {"call":"Close"}.
// Members that touch the entries are defined in the .cc, so that only the
// code that reads them needs the whole JSON library.
class Transcript {
 public:
  Transcript();
  Transcript(const Transcript& other);
  Transcript(Transcript&& other) noexcept;
  Transcript& operator=(const Transcript& other);
  Transcript& operator=(Transcript&& other) noexcept;
  ~Transcript();

  void Add(nlohmann::ordered_json entry);
  const std::vector<nlohmann::ordered_json>& entries() const { return entries_; }
  void Clear();
  // One JSON object per line, each line ending in "\n".
  std::string ToJsonLines() const;

 private:
  std::vector<nlohmann::ordered_json> entries_;
};

// A chosen failure of the record double: the `occurrence`-th call named
// `call` ("Open", "Execute", "Query", "Close", "SetLoginTimeout") whose text
// contains `text_contains` throws `error`. The failed call is still recorded.
struct FailRule {
  std::string call;
  std::u16string text_contains;
  int occurrence = 1;
  harness::Error error{0, u""};
  // Matching calls seen so far; the record back end counts them here.
  int seen = 0;
};

// A look at what a dataset's Delete would change, without the change. While
// it is on, the back end's sessions record nothing and fail nothing on
// purpose: Open, Query and Close reach the server, every Execute is held back
// (refused and counted). The record double, which has no server, finds no
// database then.
struct Probe {
  bool on = false;
  int held_back = 0;
  // The first cell of the last query result that had one, as text: what an
  // existence query found.
  std::u16string found;
};

// State shared by every session of the record back end: what they recorded,
// how queries are answered, and the failures to inject.
struct RecordBackend {
  Transcript transcript;
  // Rows the existence query on sysdatabases finds (1 means "exists").
  int database_rows = 1;
  // The master device's physical file name the sysdevices query returns.
  std::u16string master_phyname =
      u"C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\master.mdf";
  std::vector<FailRule> failures;
  Probe probe;
};

// A new session of the record back end writing into `backend`.
harness::ComPtr<harness::SqlSession> MakeRecordSession(std::shared_ptr<RecordBackend> backend);

// `inner` with every call recorded in `backend`'s transcript and failed when
// one of its rules says so, before `inner` sees it: any back end keeps the
// same transcript and takes the same injected failures. An Open is recorded
// with its password masked (MaskPasswords).
harness::ComPtr<harness::SqlSession> MakeTranscribedSession(
    harness::ComPtr<harness::SqlSession> inner, std::shared_ptr<RecordBackend> backend);

// The data-access errors of a connection used in the wrong state, shared by
// every back end so that each refuses the same misuse with the same error.
void RequireOpen(bool open);
void RequireNotOpen(bool open);

}  // namespace host

#endif  // TAVORA_HOST_RECORD_SESSION_H_
