#ifndef TAVORA_TESTS_DATASETS_STANDARD_BUILDER_FIXTURE_H_
#define TAVORA_TESTS_DATASETS_STANDARD_BUILDER_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness/activation.h"
#include "harness/error.h"
#include "harness/object_model.h"
#include "harness/session.h"
#include "harness/utf.h"
#include "host/harness_classes.h"
#include "host/model_json.h"
#include "host/record_session.h"

namespace tavora::testing {

using Json = nlohmann::ordered_json;

inline constexpr char16_t kDatabase[] = u"tavora_StandardDataset";

// A standard builder called on its own: a model with Project1 and the nine
// collections Create adds, and an open session of the record double.
class StandardBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = std::make_shared<host::RecordBackend>();
    host::InstallHarnessClasses(host::Settings{}, host::RecordSessions(backend_));
    model_ = harness::CreateObject<harness::ObjectModel>();
    project_ = model_->AddProject(u"Project1");
    for (const char16_t* name :
         {u"Defaults", u"FullTextCatalogs", u"Rules", u"Publications", u"StoredProcedures",
          u"Tables", u"UserDefinedDatatypes", u"UserDefinedFunctions", u"Views"}) {
      project_->AddCollection(name);
    }
    session_ = host::MakeRecordSession(backend_);
    session_->SetLoginTimeout(15);
    session_->Open(u"DRIVER=SQL Server;SERVER=(local);UID=;PWD=;Trusted_Connection=Yes");
  }

  // The texts of the Execute calls, in order.
  std::vector<std::string> Executed() const {
    std::vector<std::string> texts;
    for (const Json& entry : backend_->transcript.entries()) {
      if (entry.at("call") == "Execute") texts.push_back(entry.at("text").get<std::string>());
    }
    return texts;
  }

  // Makes the first Execute whose text contains `text` fail.
  void FailExecute(std::u16string text) {
    backend_->failures.push_back(
        {"Execute", std::move(text), 1, harness::Error(2714, u"There is already an object.")});
  }

  // The objects of a project collection.
  Json Objects(const std::string& collection) const {
    const Json model = host::ModelToJson(model_.get());
    for (const Json& entry : model["projects"][0]["collections"]) {
      if (entry["name"] == collection) return entry["objects"];
    }
    ADD_FAILURE() << "no collection " << collection;
    return Json::array();
  }

  std::shared_ptr<host::RecordBackend> backend_;
  harness::ComPtr<harness::ObjectModel> model_;
  harness::ComPtr<harness::ModelProject> project_;
  harness::ComPtr<harness::SqlSession> session_;
};

// The objects of an object's child collection (empty when it is left out).
inline Json Children(const Json& object, const std::string& collection) {
  for (const Json& entry : object["collections"]) {
    if (entry["name"] == collection) return entry["objects"];
  }
  return Json::array();
}

// The object with `key` in a list of objects.
inline Json Find(const Json& objects, const std::string& key) {
  for (const Json& object : objects) {
    if (object["key"] == key) return object;
  }
  ADD_FAILURE() << "no object " << key;
  return Json::object();
}

// What reached the caller of a failing call: the error number, the first
// failure's text, and "Module.Procedure" of each context line, innermost first
// (line numbers and version left out).
struct Failure {
  int number = 0;
  std::string text;
  std::vector<std::string> trace;
};

template <class Call>
Failure FailureOf(Call&& call) {
  Failure failure;
  try {
    call();
    ADD_FAILURE() << "no error";
    return failure;
  } catch (const harness::Error& error) {
    failure.number = error.number();
    std::string description = harness::ToUtf8(error.description());
    const std::string heading = "\r\n\r\nPROGRAM CONTEXT:\r\n";
    std::size_t block = description.find(heading);
    failure.text = description.substr(0, block);
    if (block == std::string::npos) return failure;
    std::string rest = description.substr(block + heading.size());
    const std::string project = "tavorad.";
    const std::string version = "  (4.1.475)";
    std::size_t start = 0;
    while (start <= rest.size()) {
      std::size_t end = rest.find("\r\n", start);
      std::string line = rest.substr(start, end == std::string::npos ? end : end - start);
      EXPECT_EQ(line.rfind(project, 0), 0u) << line;
      EXPECT_TRUE(line.ends_with(version)) << line;
      // Module.Procedure.Line: drop the line number.
      std::string names =
          line.substr(project.size(), line.size() - project.size() - version.size());
      failure.trace.push_back(names.substr(0, names.rfind('.')));
      if (end == std::string::npos) break;
      start = end + 2;
    }
    return failure;
  }
}

}  // namespace tavora::testing

#endif  // TAVORA_TESTS_DATASETS_STANDARD_BUILDER_FIXTURE_H_
