#include "host/model_json.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness/activation.h"
#include "harness/error.h"
#include "harness/object_model.h"
#include "harness/utf.h"
#include "host/harness_classes.h"
#include "tests/error_number.h"

namespace host {
namespace {

using harness::Variant;

using tavora::testing::ErrorNumber;

class ModelJson : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallHarnessClasses(Settings{}, RecordSessions(std::make_shared<RecordBackend>()));
    model_ = harness::CreateObject<harness::ObjectModel>();
  }

  harness::ComPtr<harness::ObjectModel> model_;
};

TEST_F(ModelJson, WritesTheDocumentedForm) {
  auto project = model_->AddProject(u"Project1");
  project->AddCollection(u"Defaults");
  project->AddCollection(u"Tables");
  project->AddCollection(u"Views");
  auto def = project->Collection(Variant::String(u"Defaults"))
                 ->Add(Variant::String(u"dbo.defGeneric"), u"MSSQL80.Default", u"");
  def->AddProperty(u"Name", Variant::String(u"defGeneric"), true,
                   Variant::String(u"Generic Default"), u"");
  auto table = project->Collection(Variant::String(u"Tables"))
                   ->Add(Variant::String(u"dbo.tblGeneric"), u"MSSQL80.Table", u"");
  table->AddProperty(u"Owner", Variant::String(u"dbo"), false, Variant::Null(), u"");
  auto column =
      table->Collection(u"Columns")->Add(Variant::String(u"fldInt"), u"MSSQL80.Column", u"int");
  column->AddProperty(u"Size", Variant::Long(4), true, Variant::Null(), u"fixed by the type");
  column->AddProperty(u"Precision", Variant::Integer(10), false, Variant::Null(), u"");
  column->AddProperty(u"AllowNulls", Variant::Boolean(true), true, Variant::Boolean(false), u"");

  EXPECT_EQ(ModelToJson(model_.get()).dump(),
            R"({"projects":[{"name":"Project1","collections":[)"
            R"({"name":"Defaults","objects":[)"
            R"({"key":"dbo.defGeneric","class":"MSSQL80.Default","type":"",)"
            R"("properties":[{"name":"Name","value":{"String":"defGeneric"},)"
            R"("modifiable":true,"newValue":{"String":"Generic Default"},"note":""}],)"
            R"("collections":[]}]},)"
            R"({"name":"Tables","objects":[)"
            R"({"key":"dbo.tblGeneric","class":"MSSQL80.Table","type":"",)"
            R"("properties":[{"name":"Owner","value":{"String":"dbo"},)"
            R"("modifiable":false,"newValue":null,"note":""}],)"
            R"("collections":[{"name":"Columns","objects":[)"
            R"({"key":"fldInt","class":"MSSQL80.Column","type":"int","properties":[)"
            R"({"name":"Size","value":{"Long":4},)"
            R"("modifiable":true,"newValue":null,"note":"fixed by the type"},)"
            R"({"name":"Precision","value":{"Integer":10},)"
            R"("modifiable":false,"newValue":null,"note":""},)"
            R"({"name":"AllowNulls","value":{"Boolean":true},)"
            R"("modifiable":true,"newValue":{"Boolean":false},"note":""}],)"
            R"("collections":[]}]},)"
            R"({"name":"Indexes","objects":[]},{"name":"Checks","objects":[]},)"
            R"({"name":"Relationships","objects":[]},{"name":"Triggers","objects":[]}]}]},)"
            R"({"name":"Views","objects":[]}]}]})");
}

TEST_F(ModelJson, NewObjectsHaveTheChildCollectionsOfTheirClass) {
  auto collection = model_->AddProject(u"Project1")->AddCollection(u"Publications");
  struct Row {
    const char16_t* class_name;
    std::vector<std::u16string> collections;
  };
  const Row rows[] = {
      {u"MSSQL80.Table", {u"Columns", u"Indexes", u"Checks", u"Relationships", u"Triggers"}},
      {u"MSSQL80.Publication", {u"Articles"}},
      {u"MSSQL80.MergePublication", {u"Articles"}},
      {u"MSSQL80.View", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(harness::ToUtf8(row.class_name));
    auto object = collection->Add(Variant::String(row.class_name), row.class_name, u"");
    for (const auto& name : row.collections) EXPECT_TRUE(object->Collection(name));
    EXPECT_EQ(ErrorNumber([&] { object->Collection(u"Keys"); }), harness::errors::kInvalidCall);
  }
}

TEST_F(ModelJson, BadKeysFailLikeThePlatformsCollections) {
  auto project = model_->AddProject(u"Project1");
  auto tables = project->AddCollection(u"Tables");
  tables->Add(Variant::String(u"dbo.t"), u"MSSQL80.Table", u"");
  EXPECT_EQ(ErrorNumber([&] { tables->Add(Variant::String(u"dbo.t"), u"MSSQL80.Table", u""); }),
            harness::errors::kDuplicateKey);
  EXPECT_EQ(ErrorNumber([&] { tables->Add(Variant::Long(1), u"MSSQL80.Table", u""); }),
            harness::errors::kTypeMismatch);
  EXPECT_EQ(ErrorNumber([&] { project->Collection(Variant::String(u"Views")); }),
            harness::errors::kInvalidCall);
  EXPECT_EQ(ErrorNumber([&] { project->Collection(Variant::Null()); }),
            harness::errors::kTypeMismatch);
  EXPECT_EQ(ErrorNumber([&] { project->AddCollection(u"Tables"); }),
            harness::errors::kDuplicateKey);
  EXPECT_EQ(ErrorNumber([&] { model_->AddProject(u"Project1"); }), harness::errors::kDuplicateKey);
  EXPECT_EQ(project->Collection(Variant::String(u"Tables")), tables);
}

class ForeignModel final : public harness::ComObject<harness::ObjectModel> {
 public:
  harness::ComPtr<harness::ModelProject> AddProject(const std::u16string&) override { return {}; }
};

TEST_F(ModelJson, RefusesAModelItDidNotMake) {
  auto foreign = harness::MakeObject<ForeignModel>();
  EXPECT_EQ(ErrorNumber([&] { ModelToJson(foreign.get()); }), harness::errors::kNoInterface);
  EXPECT_EQ(ErrorNumber([] { ModelToJson(nullptr); }), harness::errors::kObjectNotSet);
}

}  // namespace
}  // namespace host
