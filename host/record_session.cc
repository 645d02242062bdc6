#include "host/record_session.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "harness/error.h"
#include "harness/utf.h"
#include "host/batch_splitter.h"
#include "host/connection_string.h"
#include "host/result_table.h"

namespace host {

namespace {

// The platform's data-access errors for a connection used in the wrong state.
constexpr int32_t kClosedError = 3704;
constexpr char16_t kClosedText[] = u"Operation is not allowed when the object is closed.";
constexpr int32_t kOpenError = 3705;
constexpr char16_t kOpenText[] = u"Operation is not allowed when the object is open.";

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

// Position of `needle` in `text` ignoring ASCII case, or npos.
size_t FindNoCase(std::u16string_view text, std::u16string_view needle, size_t from = 0) {
  if (needle.size() > text.size()) return std::u16string_view::npos;
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && Lower(text[i + k]) == Lower(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::u16string_view::npos;
}

// The quoted name of "... WHERE Name='x'", or "" when there is none.
std::u16string QuotedName(std::u16string_view query) {
  constexpr std::u16string_view kMarker = u"Name='";
  size_t start = FindNoCase(query, kMarker);
  if (start == std::u16string_view::npos) return {};
  start += kMarker.size();
  size_t end = query.find(u'\'', start);
  if (end == std::u16string_view::npos) return {};
  return std::u16string(query.substr(start, end - start));
}

// The record double's answers: nothing is run, queries are answered from the
// back end's small table.
class RecordSession final : public harness::ComObject<harness::SqlSession> {
 public:
  explicit RecordSession(std::shared_ptr<RecordBackend> backend) : backend_(std::move(backend)) {}

  void SetLoginTimeout(int32_t) override { RequireNotOpen(open_); }

  void Open(const std::u16string&) override {
    RequireNotOpen(open_);
    open_ = true;
  }

  void Close() override {
    RequireOpen(open_);
    open_ = false;
  }

  harness::ComPtr<harness::ResultSet> Query(const std::u16string& statement) override {
    RequireOpen(open_);
    if (FindNoCase(statement, u"sysdatabases") != std::u16string::npos) {
      const int count = backend_->probe.on ? 0 : backend_->database_rows;
      std::vector<std::vector<harness::Variant>> rows(
          static_cast<size_t>(std::max(count, 0)),
          {harness::Variant::String(QuotedName(statement))});
      return MakeResultSet({{u"Name"}, std::move(rows)});
    }
    if (FindNoCase(statement, u"sysdevices") != std::u16string::npos) {
      return MakeResultSet({{u"phyname"}, {{harness::Variant::String(backend_->master_phyname)}}});
    }
    return MakeResultSet({});
  }

  std::u16string Execute(int32_t, const std::u16string& text) override {
    RequireOpen(open_);
    // The batches are not run, but a text another back end would refuse is
    // refused here too, so a dry run cannot pass what a real one fails.
    SplitBatchViews(text);
    return u"";
  }

 private:
  std::shared_ptr<RecordBackend> backend_;
  bool open_ = false;
};

class TranscribedSession final : public harness::ComObject<harness::SqlSession> {
 public:
  TranscribedSession(harness::ComPtr<harness::SqlSession> inner,
                     std::shared_ptr<RecordBackend> backend)
      : inner_(std::move(inner)), backend_(std::move(backend)) {}

  void SetLoginTimeout(int32_t seconds) override {
    Record("SetLoginTimeout", {{"call", "SetLoginTimeout"}, {"value", seconds}}, u"");
    inner_->SetLoginTimeout(seconds);
  }

  void Open(const std::u16string& connection_string) override {
    // Transcripts are kept in files, so they never hold the password.
    Record("Open", {{"call", "Open"}, {"text", harness::ToUtf8(MaskPasswords(connection_string))}},
           connection_string);
    inner_->Open(connection_string);
  }

  void Close() override {
    Record("Close", {{"call", "Close"}}, u"");
    inner_->Close();
  }

  harness::ComPtr<harness::ResultSet> Query(const std::u16string& statement) override {
    Record("Query", {{"call", "Query"}, {"text", harness::ToUtf8(statement)}}, statement);
    harness::ComPtr<harness::ResultSet> result = inner_->Query(statement);
    if (backend_->probe.on && result->RowCount() > 0 && result->ColumnCount() > 0) {
      backend_->probe.found = result->Value(1, 1).ToText();
    }
    return result;
  }

  std::u16string Execute(int32_t option, const std::u16string& text) override {
    if (backend_->probe.on) {
      ++backend_->probe.held_back;
      throw harness::Error(harness::errors::kInvalidCall, u"held back while probing");
    }
    Record("Execute", {{"call", "Execute"}, {"option", option}, {"text", harness::ToUtf8(text)}},
           text);
    return inner_->Execute(option, text);
  }

 private:
  // Records the call, then fails it if a rule says so; a probe does neither.
  void Record(const char* call, nlohmann::ordered_json entry, std::u16string_view text) {
    if (backend_->probe.on) return;
    backend_->transcript.Add(std::move(entry));
    for (FailRule& rule : backend_->failures) {
      if (rule.call != call || text.find(rule.text_contains) == std::u16string_view::npos) {
        continue;
      }
      if (++rule.seen == rule.occurrence) throw rule.error;
    }
  }

  harness::ComPtr<harness::SqlSession> inner_;
  std::shared_ptr<RecordBackend> backend_;
};

}  // namespace

void RequireOpen(bool open) {
  if (!open) throw harness::Error(kClosedError, kClosedText);
}

void RequireNotOpen(bool open) {
  if (open) throw harness::Error(kOpenError, kOpenText);
}

Transcript::Transcript() = default;
Transcript::Transcript(const Transcript& other) = default;
Transcript::Transcript(Transcript&& other) noexcept = default;
Transcript& Transcript::operator=(const Transcript& other) = default;
Transcript& Transcript::operator=(Transcript&& other) noexcept = default;
Transcript::~Transcript() = default;

void Transcript::Add(nlohmann::ordered_json entry) { entries_.push_back(std::move(entry)); }

void Transcript::Clear() { entries_.clear(); }

std::string Transcript::ToJsonLines() const {
  std::string lines;
  for (const auto& entry : entries_) {
    lines += entry.dump();
    lines += '\n';
  }
  return lines;
}

harness::ComPtr<harness::SqlSession> MakeTranscribedSession(
    harness::ComPtr<harness::SqlSession> inner, std::shared_ptr<RecordBackend> backend) {
  return harness::MakeObject<TranscribedSession>(std::move(inner), std::move(backend));
}

harness::ComPtr<harness::SqlSession> MakeRecordSession(std::shared_ptr<RecordBackend> backend) {
  return MakeTranscribedSession(harness::MakeObject<RecordSession>(backend), backend);
}

}  // namespace host
