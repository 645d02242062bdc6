#ifndef TAVORA_HOST_READWRITE_H_
#define TAVORA_HOST_READWRITE_H_

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "harness/error.h"
#include "harness/session.h"
#include "harness/variant.h"

namespace host {

// What the write pass did with one property record.
enum class WriteOutcome {
  kNotModifiable,   // the model does not let the test change it
  kWritten,         // written, and read back as the new value
  kKept,            // modifiable, but the model gives no new value: left as it is
  kRefusedAsNoted,  // the model's note expects a refusal, and the change was refused
  kUnexpected,      // anything else: refused without a note, accepted against a
                    // note, or read back as another value
};

const char* OutcomeName(WriteOutcome outcome);

// One property record of the model and what the test found.
struct PropertyCheck {
  std::vector<std::u16string> path;  // collection, key, collection, key, ...
  std::u16string class_name;
  std::u16string property;
  harness::Variant original;
  bool modifiable = false;
  harness::Variant new_value;
  std::u16string note;

  // The read pass.
  harness::Variant read;
  std::optional<harness::Error> read_error;
  bool equal = false;  // read without error, and equal to the original, kind included

  // The write pass.
  WriteOutcome outcome = WriteOutcome::kNotModifiable;
  harness::Variant attempted;  // the value written (a noted record with no new value gets one)
  std::u16string message;      // the refusal, the server's or the driver's
  harness::Variant read_back;
  std::optional<harness::Error> read_back_error;
};

struct ReadWriteResult {
  std::vector<PropertyCheck> checks;
  size_t read = 0;
  size_t equal = 0;
  size_t written = 0;  // every modifiable record
  size_t ok = 0;       // written and read back, or kept
  size_t refused_as_noted = 0;
  size_t unexpected = 0;
  double read_seconds = 0;
  double write_seconds = 0;
};

// Reads every property of the model (its JSON form) from the database on
// `session` and compares it with its original value; then, in the model's
// order, writes each modifiable property and reads it back; an object's
// noted changes, expected to be refused, come after its other changes. A failure of one
// property never stops the rest.
ReadWriteResult RunReadWrite(const nlohmann::ordered_json& model, harness::SqlSession& session,
                             const std::u16string& database);

// The value a noted change attempts when the model gives none (or gives the
// original again): the change the note talks about.
harness::Variant AttemptedChange(const PropertyCheck& check);

// "Standard: 1145 read, 1145 equal; 871 written: 845 ok, 26 refused as
// noted, 0 unexpected".
std::string ReadWriteSummary(const std::u16string& test, const ReadWriteResult& result);

// What needs a person's attention, a line each: every read that differs
// from its original and every unexpected write, at most `limit` of them and
// then how many more there are. Lines are "TEST: mismatch PATH PROPERTY:
// original V, read V" and "TEST: unexpected PATH PROPERTY: MESSAGE", PATH
// the collections and keys joined by "/".
std::string ReadWriteProblems(const std::u16string& test, const ReadWriteResult& result,
                              size_t limit);

// One record per property, as readwrite-T.json holds them.
nlohmann::ordered_json ReadWriteToJson(const std::u16string& test, const ReadWriteResult& result);

}  // namespace host

#endif  // TAVORA_HOST_READWRITE_H_
