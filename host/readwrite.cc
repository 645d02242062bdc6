#include "host/readwrite.h"

#include <chrono>

#include "driver/driver.h"
#include "harness/utf.h"
#include "host/model_json.h"

namespace host {

namespace {

using harness::Variant;
using nlohmann::ordered_json;

Variant VariantFromJson(const ordered_json& value) {
  if (value.is_null()) return Variant::Null();
  if (value.contains("String"))
    return Variant::String(harness::FromUtf8(value["String"].get<std::string>()));
  if (value.contains("Long")) return Variant::Long(value["Long"].get<int32_t>());
  if (value.contains("Integer")) return Variant::Integer(value["Integer"].get<int16_t>());
  if (value.contains("Boolean")) return Variant::Boolean(value["Boolean"].get<bool>());
  return Variant::Null();
}

std::u16string Text(const ordered_json& value) {
  return harness::FromUtf8(value.get<std::string>());
}

// An object of the model with its place on the server, which a rename
// written by the test moves.
struct Node {
  const ordered_json* object = nullptr;
  driver::ObjectRef ref;
  std::vector<std::u16string> path;
  std::vector<Node> children;
  std::vector<size_t> checks;  // positions in the result, one per property
};

void Collect(const ordered_json& collections, const driver::ObjectRef* parent,
             const std::vector<std::u16string>& parent_path, std::vector<Node>& nodes,
             ReadWriteResult& result) {
  for (const auto& collection : collections) {
    for (const auto& object : collection.at("objects")) {
      Node node;
      node.object = &object;
      const std::u16string key = Text(object.at("key"));
      const std::u16string class_name = Text(object.at("class"));
      node.ref = driver::MakeRef(class_name, Text(object.at("type")), key, parent);
      node.path = parent_path;
      node.path.push_back(Text(collection.at("name")));
      node.path.push_back(key);
      for (const auto& property : object.at("properties")) {
        PropertyCheck check;
        check.path = node.path;
        check.class_name = class_name;
        check.property = Text(property.at("name"));
        check.original = VariantFromJson(property.at("value"));
        check.modifiable = property.at("modifiable").get<bool>();
        check.new_value = VariantFromJson(property.at("newValue"));
        check.note = Text(property.at("note"));
        node.checks.push_back(result.checks.size());
        result.checks.push_back(std::move(check));
      }
      if (object.contains("collections")) {
        Collect(object.at("collections"), &node.ref, node.path, node.children, result);
      }
      nodes.push_back(std::move(node));
    }
  }
}

void ReadPass(driver::Driver& driver, const std::vector<Node>& nodes, ReadWriteResult& result) {
  for (const Node& node : nodes) {
    for (size_t index : node.checks) {
      PropertyCheck& check = result.checks[index];
      ++result.read;
      try {
        check.read = driver.Read(node.ref, check.property);
        check.equal = check.read == check.original;
      } catch (...) {
        check.read_error = harness::CurrentError();
      }
      if (check.equal) ++result.equal;
    }
    ReadPass(driver, node.children, result);
  }
}

// Children name their parent by its name on the server; owners never change.
void Reparent(std::vector<Node>& children, const driver::ObjectRef& parent) {
  for (Node& child : children) child.ref.parent_name = parent.name;
}

void WriteOne(driver::Driver& driver, Node& node, PropertyCheck& check) {
  if (!check.modifiable) {
    check.outcome = WriteOutcome::kNotModifiable;
    return;
  }
  const bool noted = !check.note.empty();
  if (!noted && check.new_value.is_null()) {
    // Nothing to write; no other write may have changed it either. What the
    // read pass found counts, so that a mismatch is not reported twice.
    check.outcome = WriteOutcome::kKept;
    try {
      check.read_back = driver.Read(node.ref, check.property);
    } catch (...) {
      check.read_back_error = harness::CurrentError();
    }
    if (check.read_back_error || check.read_error || check.read_back != check.read) {
      check.outcome = WriteOutcome::kUnexpected;
      check.message = u"Nothing was written, yet it no longer reads as it did.";
    }
    return;
  }
  check.attempted = noted ? AttemptedChange(check) : check.new_value;
  try {
    driver.Write(node.ref, check.property, check.attempted);
  } catch (...) {
    harness::Error error = harness::CurrentError();
    check.message = error.description();
    check.outcome = noted ? WriteOutcome::kRefusedAsNoted : WriteOutcome::kUnexpected;
    return;
  }
  if (noted) {
    check.outcome = WriteOutcome::kUnexpected;
    check.message = u"The change was accepted, though the note expects a refusal.";
  }
  if (check.property == u"Name" && check.attempted.kind() == Variant::Kind::kString) {
    node.ref.name = check.attempted.AsString();
    Reparent(node.children, node.ref);
  }
  if (noted) return;
  try {
    check.read_back = driver.Read(node.ref, check.property);
  } catch (...) {
    check.read_back_error = harness::CurrentError();
  }
  if (!check.read_back_error && check.read_back == check.new_value) {
    check.outcome = WriteOutcome::kWritten;
  } else {
    check.outcome = WriteOutcome::kUnexpected;
    check.message = u"The change was accepted, but the property reads back as another value.";
  }
}

// Each object's changes expected to succeed go first, in the model's order;
// then the changes its notes expect to be refused, so that each is tried on
// the object as the test leaves it (a column is only ROWGUIDCOL, and a
// publication only has subscriptions, once the other writes have made it so).
void WritePass(driver::Driver& driver, std::vector<Node>& nodes, ReadWriteResult& result) {
  for (Node& node : nodes) {
    for (bool noted : {false, true}) {
      for (size_t index : node.checks) {
        PropertyCheck& check = result.checks[index];
        if (check.note.empty() != noted) WriteOne(driver, node, check);
      }
    }
    WritePass(driver, node.children, result);
  }
}

std::u16string Bumped(std::u16string text) { return text + u"2"; }

}  // namespace

const char* OutcomeName(WriteOutcome outcome) {
  switch (outcome) {
    case WriteOutcome::kNotModifiable:
      return "not modifiable";
    case WriteOutcome::kWritten:
      return "written";
    case WriteOutcome::kKept:
      return "kept";
    case WriteOutcome::kRefusedAsNoted:
      return "refused as noted";
    case WriteOutcome::kUnexpected:
      return "unexpected";
  }
  return "unexpected";
}

Variant AttemptedChange(const PropertyCheck& check) {
  if (!check.new_value.is_null() && check.new_value != check.original) return check.new_value;
  const Variant& original = check.original;
  switch (original.kind()) {
    case Variant::Kind::kBoolean:
      return Variant::Boolean(!original.AsBoolean());
    case Variant::Kind::kLong:
      return Variant::Long(original.AsLong() == 1 ? 2 : 1);
    case Variant::Kind::kInteger:
      return Variant::Integer(static_cast<int16_t>(original.AsInteger() == 1 ? 2 : 1));
    case Variant::Kind::kString:
      // The change the other records of the property make.
      if (check.property == u"Collation") return Variant::String(u"SQL_Latin1_General_CP1_CS_AS");
      if (check.property == u"DefaultValue") return Variant::String(u"(1)");
      return Variant::String(Bumped(original.AsString()));
    case Variant::Kind::kNull:
      break;
  }
  return Variant::Null();
}

ReadWriteResult RunReadWrite(const ordered_json& model, harness::SqlSession& session,
                             const std::u16string& database) {
  ReadWriteResult result;
  std::vector<Node> nodes;
  for (const auto& project : model.at("projects")) {
    Collect(project.at("collections"), nullptr, {}, nodes, result);
  }
  driver::Driver driver(session, database);
  auto start = std::chrono::steady_clock::now();
  ReadPass(driver, nodes, result);
  auto middle = std::chrono::steady_clock::now();
  WritePass(driver, nodes, result);
  auto end = std::chrono::steady_clock::now();
  result.read_seconds = std::chrono::duration<double>(middle - start).count();
  result.write_seconds = std::chrono::duration<double>(end - middle).count();
  for (const PropertyCheck& check : result.checks) {
    if (!check.modifiable) continue;
    ++result.written;
    switch (check.outcome) {
      case WriteOutcome::kWritten:
      case WriteOutcome::kKept:
        ++result.ok;
        break;
      case WriteOutcome::kRefusedAsNoted:
        ++result.refused_as_noted;
        break;
      default:
        ++result.unexpected;
        break;
    }
  }
  return result;
}

std::string ReadWriteSummary(const std::u16string& test, const ReadWriteResult& result) {
  return harness::ToUtf8(test) + ": " + std::to_string(result.read) + " read, " +
         std::to_string(result.equal) + " equal; " + std::to_string(result.written) +
         " written: " + std::to_string(result.ok) + " ok, " +
         std::to_string(result.refused_as_noted) + " refused as noted, " +
         std::to_string(result.unexpected) + " unexpected";
}

namespace {

std::string Shown(const Variant& value) {
  if (value.is_null()) return "Null";
  return std::string(harness::KindName(value.kind())) + " \"" + harness::ToUtf8(value.ToText()) +
         "\"";
}

}  // namespace

std::string ReadWriteProblems(const std::u16string& test, const ReadWriteResult& result,
                              size_t limit) {
  std::string lines;
  size_t shown = 0;
  size_t more = 0;
  const std::string name = harness::ToUtf8(test);
  for (const PropertyCheck& check : result.checks) {
    const bool mismatch = !check.equal;
    const bool unexpected = check.outcome == WriteOutcome::kUnexpected;
    if (!mismatch && !unexpected) continue;
    if (shown + (mismatch && unexpected ? 2 : 1) > limit) {
      more += (mismatch ? 1 : 0) + (unexpected ? 1 : 0);
      continue;
    }
    std::string path;
    for (const std::u16string& step : check.path)
      path += (path.empty() ? "" : "/") + harness::ToUtf8(step);
    const std::string where = path + " " + harness::ToUtf8(check.property);
    if (mismatch) {
      lines += name + ": mismatch " + where + ": original " + Shown(check.original) + ", " +
               (check.read_error ? "not read: " + harness::ToUtf8(check.read_error->description())
                                 : "read " + Shown(check.read)) +
               "\n";
      ++shown;
    }
    if (unexpected) {
      lines += name + ": unexpected " + where + ": " + harness::ToUtf8(check.message) + "\n";
      ++shown;
    }
  }
  if (more > 0) {
    lines += name + ": and " + std::to_string(more) + " more (--out and --report show them all)\n";
  }
  return lines;
}

ordered_json ReadWriteToJson(const std::u16string& test, const ReadWriteResult& result) {
  ordered_json records = ordered_json::array();
  auto error_json = [](const std::optional<harness::Error>& error) -> ordered_json {
    if (!error) return nullptr;
    return {{"number", error->number()}, {"message", harness::ToUtf8(error->description())}};
  };
  for (const PropertyCheck& check : result.checks) {
    ordered_json path = ordered_json::array();
    for (const std::u16string& step : check.path) path.push_back(harness::ToUtf8(step));
    ordered_json record;
    record["path"] = path;
    record["class"] = harness::ToUtf8(check.class_name);
    record["property"] = harness::ToUtf8(check.property);
    record["original"] = VariantToJson(check.original);
    record["read"] = VariantToJson(check.read);
    record["readError"] = error_json(check.read_error);
    record["equal"] = check.equal;
    record["modifiable"] = check.modifiable;
    record["newValue"] = VariantToJson(check.new_value);
    record["note"] = harness::ToUtf8(check.note);
    record["write"] = OutcomeName(check.outcome);
    record["attempted"] = VariantToJson(check.attempted);
    record["message"] = harness::ToUtf8(check.message);
    record["readBack"] = VariantToJson(check.read_back);
    record["readBackError"] = error_json(check.read_back_error);
    records.push_back(std::move(record));
  }
  return {{"test", harness::ToUtf8(test)},
          {"summary",
           {{"read", result.read},
            {"equal", result.equal},
            {"written", result.written},
            {"ok", result.ok},
            {"refusedAsNoted", result.refused_as_noted},
            {"unexpected", result.unexpected},
            {"readSeconds", result.read_seconds},
            {"writeSeconds", result.write_seconds}}},
          {"properties", records}};
}

}  // namespace host
