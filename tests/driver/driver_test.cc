// The reference driver against the Standard dataset's database on the
// embedded server: one object of each class read through its table rows and
// checked against values worked out by hand from the dataset's statements,
// writes read back, and the driver's own refusals.

#include "driver/driver.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "datasets/dataset_classes.h"
#include "harness/activation.h"
#include "harness/error.h"
#include "host/embedded_session.h"
#include "host/harness_classes.h"
#include "tests/scratch_folder.h"

namespace tavora::testing {
namespace {

using driver::MakeRef;
using driver::ObjectRef;
using harness::Variant;

class DriverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = host::OpenEmbeddedServer(":memory:");
    host::InstallHarnessClasses(host::Settings{},
                                [] { return host::MakeEmbeddedSession(server_); });
    auto workspace = host::MakeWorkspace(ScratchFolder("driver").string());
    dataset_ = new harness::ComPtr<harness::IDataset>(MakeStandardDataset());
    (*dataset_)->Create(u"", workspace.get(), nullptr);
  }

  static void TearDownTestSuite() {
    (*dataset_)->Delete(u"", nullptr);
    delete dataset_;
    harness::InstallClass(harness::SqlSession::kClsid, nullptr);
    server_.reset();
  }

  void SetUp() override {
    session_ = host::MakeEmbeddedSession(server_);
    session_->Open(u"DRIVER=SQL Server;SERVER=(local);UID=;PWD=;Trusted_Connection=Yes");
    driver_ = std::make_unique<driver::Driver>(*session_, u"tavora_StandardDataset");
  }

  static ObjectRef Top(std::u16string_view class_name, std::u16string_view key) {
    return MakeRef(class_name, u"", key, nullptr);
  }
  static ObjectRef Child(std::u16string_view class_name, std::u16string_view key,
                         const ObjectRef& parent) {
    return MakeRef(class_name, u"", key, &parent);
  }

  Variant Read(const ObjectRef& object, std::u16string_view property) {
    return driver_->Read(object, property);
  }

  // The number and text of the error `write` throws.
  template <class Body>
  static std::pair<int32_t, std::u16string> Refusal(Body&& body) {
    try {
      body();
    } catch (const harness::Error& error) {
      return {error.number(), error.description()};
    }
    return {0, u"(no error)"};
  }

  static std::shared_ptr<server::DataFolder> server_;
  static harness::ComPtr<harness::IDataset>* dataset_;
  harness::ComPtr<harness::SqlSession> session_;
  std::unique_ptr<driver::Driver> driver_;
};

std::shared_ptr<server::DataFolder> DriverTest::server_;
harness::ComPtr<harness::IDataset>* DriverTest::dataset_ = nullptr;

TEST_F(DriverTest, ReadsOneObjectOfEachClass) {
  const ObjectRef generic = Top(u"MSSQL80.Table", u"dbo.tblGeneric");
  const ObjectRef parent = Top(u"MSSQL80.Table", u"dbo.tblParent");
  const ObjectRef child = Top(u"MSSQL80.Table", u"dbo.tblChild");

  EXPECT_EQ(Read(Top(u"MSSQL80.Default", u"dbo.defGeneric"), u"Text"),
            Variant::String(u"CREATE DEFAULT defGeneric AS '800-555-1212'"));
  EXPECT_EQ(Read(Top(u"MSSQL80.Rule", u"dbo.rulGeneric"), u"Owner"), Variant::String(u"dbo"));
  // Table: full-text registration, and a display property nobody stored.
  EXPECT_EQ(Read(parent, u"FullTextCatalog"), Variant::String(u"Catalog1"));
  EXPECT_EQ(Read(parent, u"FullTextIndexingEnabled"), Variant::Boolean(true));
  EXPECT_EQ(Read(parent, u"FullTextUniqueKeyIndex"), Variant::String(u"PK_ParentID"));
  EXPECT_EQ(Read(generic, u"FullTextCatalog"), Variant::String(u""));
  EXPECT_EQ(Read(generic, u"DefaultView"), Variant::Long(2));
  // Columns: catalog facts, stored display properties, the tools' defaults.
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldNChar", generic), u"Length"), Variant::Long(32));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldBinary", generic), u"Length"), Variant::Long(1));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldDecimal", generic), u"NumericPrecision"),
            Variant::Long(18));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldUserDefined", generic), u"DataType"),
            Variant::String(u"udtGeneric"));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldUserDefined", generic), u"AllowNulls"),
            Variant::Boolean(false));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldVarchar_ComboBox", generic), u"DisplayControl"),
            Variant::Long(111));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldBigInt", generic), u"Description"),
            Variant::String(u"This column stores bigint values."));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldBigInt_ComboBox", generic), u"ListRows"),
            Variant::Integer(8));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldComputed", generic), u"Formula"),
            Variant::String(u"([fldDummy])"));
  EXPECT_EQ(Read(Child(u"MSSQL80.Column", u"fldParentName", parent), u"FullTextLanguage"),
            Variant::Long(1033));
  // Indexes of each kind.
  EXPECT_EQ(Read(Child(u"MSSQL80.Index", u"PK_ParentID", parent), u"IndexType"), Variant::Long(3));
  EXPECT_EQ(Read(Child(u"MSSQL80.Index", u"IX_ParentName", parent), u"IndexType"),
            Variant::Long(2));
  EXPECT_EQ(Read(Child(u"MSSQL80.Index", u"IX_ParentFax", parent), u"IndexType"), Variant::Long(1));
  EXPECT_EQ(Read(Child(u"MSSQL80.Index", u"IX_ParentPhone", parent), u"Columns"),
            Variant::String(u"fldParentPhone"));
  EXPECT_EQ(Read(Child(u"MSSQL80.Check", u"CK_ParentName", parent), u"Text"),
            Variant::String(u"([fldParentName] <> 'Tallock')"));
  const ObjectRef key = Child(u"MSSQL80.Relationship", u"FK_Parent", child);
  EXPECT_EQ(Read(key, u"ReferencedTable"), Variant::String(u"tblParent"));
  EXPECT_EQ(Read(key, u"EnableForInsert"), Variant::Boolean(true));
  EXPECT_EQ(Read(Child(u"MSSQL80.Trigger", u"trgNewChild", child), u"Owner"),
            Variant::String(u"dbo"));
  const ObjectRef type = Top(u"MSSQL80.Datatype", u"dbo.udtGeneric");
  EXPECT_EQ(Read(type, u"BaseType"), Variant::String(u"varchar"));
  EXPECT_EQ(Read(type, u"BoundRule"), Variant::String(u""));
  // A view's script carries its column grants; the whole-view grants are not
  // part of it.
  EXPECT_EQ(Read(Top(u"MSSQL80.View", u"dbo.vwGeneric"), u"Text"),
            Variant::String(u"CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric\r\nGO\r\n\r\n"
                            u"GRANT SELECT ON dbo.vwGeneric (fldInt, fldReal) TO public\r\nGO"));
  EXPECT_EQ(Read(Top(u"MSSQL80.Function", u"dbo.fnEncryptedScalar"), u"Text"),
            Variant::String(u"(encrypted)"));
  EXPECT_EQ(Read(Top(u"MSSQL80.StoredProcedure", u"dbo.spGeneric"), u"SubdatasheetExpanded"),
            Variant::Boolean(false));
  EXPECT_EQ(Read(Top(u"MSSQL80.FullTextCatalog", u"Catalog1"), u"Path"), Variant::String(u""));
}

// Display properties keep their kind through the server's sql_variant, and
// a rename moves the object: it is found by its new name, its columns too.
TEST_F(DriverTest, WritesReadBackAsWritten) {
  ObjectRef table = Top(u"MSSQL80.Table", u"dbo.tblChild");
  driver_->Write(table, u"SubdatasheetHeight", Variant::Long(2880));
  EXPECT_EQ(Read(table, u"SubdatasheetHeight"), Variant::Long(2880));
  driver_->Write(table, u"SubdatasheetHeight", Variant::Long(1440));
  EXPECT_EQ(Read(table, u"SubdatasheetHeight"), Variant::Long(1440));

  driver_->Write(table, u"Name", Variant::String(u"Child ]' Table"));
  table.name = u"Child ]' Table";
  EXPECT_EQ(Read(table, u"Name"), Variant::String(u"Child ]' Table"));
  ObjectRef column = Child(u"MSSQL80.Column", u"fldChildName", table);
  driver_->Write(column, u"Hyperlink", Variant::Boolean(true));
  driver_->Write(column, u"ListRows", Variant::Integer(12));
  driver_->Write(column, u"Caption", Variant::String(u"It's mine"));
  EXPECT_EQ(Read(column, u"Hyperlink"), Variant::Boolean(true));
  EXPECT_EQ(Read(column, u"ListRows"), Variant::Integer(12));
  EXPECT_EQ(Read(column, u"Caption"), Variant::String(u"It's mine"));
  driver_->Write(column, u"Name", Variant::String(u"Child Name"));
  column.name = u"Child Name";
  EXPECT_EQ(Read(column, u"Collation"), Variant::String(u"SQL_Latin1_General_CP1_CI_AS"));

  // Put back, for the other tests of the suite.
  driver_->Write(table, u"Name", Variant::String(u"tblChild"));
  column.parent_name = u"tblChild";
  driver_->Write(column, u"Name", Variant::String(u"fldChildName"));
}

TEST_F(DriverTest, RefusesWhatItMustNotDo) {
  const ObjectRef generic = Top(u"MSSQL80.Table", u"dbo.tblGeneric");
  const auto [number, text] = Refusal([&] {
    driver_->Write(Child(u"MSSQL80.Column", u"fldDummy", generic), u"Name",
                   Variant::String(u"Dummy"));
  });
  EXPECT_EQ(number, driver::kDriverRefusal);
  EXPECT_EQ(text,
            u"Can't change this property because the column is referenced by a computed "
            u"column.");
  EXPECT_EQ(Refusal([&] {
              driver_->Write(Top(u"MSSQL80.Function", u"dbo.fnEncryptedScalar"), u"Text",
                             Variant::String(u"CREATE FUNCTION fnEncryptedScalar() RETURNS int "
                                             u"AS BEGIN RETURN 1 END"));
            }).second,
            u"Can't modify encrypted function.");
  EXPECT_EQ(Refusal([&] {
              driver_->Write(Child(u"MSSQL80.Column", u"fldInt", generic), u"DataType",
                             Variant::String(u"bigint"));
            }).second,
            u"The driver does not change DataType of Column 'fldInt' of 'dbo.tblGeneric'.");
  EXPECT_EQ(Refusal([&] { Read(Child(u"MSSQL80.Column", u"fldNone", generic), u"Name"); }).second,
            u"The driver found no Column 'fldNone' of 'dbo.tblGeneric'.");
  EXPECT_EQ(Refusal([&] { Read(generic, u"Colour"); }).second,
            u"The driver has no way to read Colour of Table 'dbo.tblGeneric'.");
  EXPECT_EQ(Refusal([&] { driver_->Write(generic, u"Name", Variant::Long(3)); }).second,
            u"The new value of Name must be a String.");
  // The server's own refusals keep its number.
  EXPECT_EQ(Refusal([&] { driver_->Write(generic, u"Name", Variant::String(u"tblParent")); }).first,
            15335);
}

// One write of each kind, read back as worked out by hand; each write
// leaves the rest of its object as it was.
TEST_F(DriverTest, WritesOneObjectOfEachClass) {
  const ObjectRef parent = Top(u"MSSQL80.Table", u"dbo.tblParent");
  const ObjectRef child = Top(u"MSSQL80.Table", u"dbo.tblChild");
  const ObjectRef generic = Top(u"MSSQL80.Table", u"dbo.tblGeneric");

  // A user type bound to a default that is then created again: the binding stays.
  const ObjectRef type = Top(u"MSSQL80.Datatype", u"dbo.udtGeneric");
  const ObjectRef fallback = Top(u"MSSQL80.Default", u"dbo.defGeneric");
  driver_->Write(type, u"BoundDefault", Variant::String(u"defGeneric"));
  driver_->Write(fallback, u"Text", Variant::String(u"CREATE DEFAULT defGeneric AS 'x'"));
  EXPECT_EQ(Read(fallback, u"Text"), Variant::String(u"CREATE DEFAULT defGeneric AS 'x'"));
  EXPECT_EQ(Read(type, u"BoundDefault"), Variant::String(u"defGeneric"));
  driver_->Write(type, u"BoundDefault", Variant::String(u""));
  EXPECT_EQ(Read(type, u"BoundDefault"), Variant::String(u""));

  const ObjectRef index = Child(u"MSSQL80.Index", u"IX_ParentPhone", parent);
  driver_->Write(index, u"Name", Variant::String(u"Phone Index"));
  ObjectRef renamed = index;
  renamed.name = u"Phone Index";
  EXPECT_EQ(Read(renamed, u"Columns"), Variant::String(u"fldParentPhone"));
  driver_->Write(renamed, u"Name", Variant::String(u"IX_ParentPhone"));

  // A disabled check stays disabled when it is rebuilt for its other settings.
  const ObjectRef check = Child(u"MSSQL80.Check", u"CK_ParentName", parent);
  driver_->Write(check, u"EnableForInsert", Variant::Boolean(false));
  driver_->Write(check, u"EnableForReplication", Variant::Boolean(false));
  driver_->Write(check, u"Text", Variant::String(u"([fldParentName] <> 'Nobody')"));
  EXPECT_EQ(Read(check, u"EnableForInsert"), Variant::Boolean(false));
  EXPECT_EQ(Read(check, u"EnableForReplication"), Variant::Boolean(false));
  EXPECT_EQ(Read(check, u"Text"), Variant::String(u"([fldParentName] <> 'Nobody')"));

  const ObjectRef trigger = Child(u"MSSQL80.Trigger", u"trgNewChild", child);
  const std::u16string trigger_text =
      u"CREATE TRIGGER trgNewChild ON tblChild FOR INSERT AS RETURN";
  driver_->Write(trigger, u"Text", Variant::String(trigger_text));
  EXPECT_EQ(Read(trigger, u"Text"), Variant::String(trigger_text));

  const ObjectRef view = Top(u"MSSQL80.View", u"dbo.vwGeneric");
  // The view keeps its grants through ALTER VIEW, and a grant on more
  // columns adds to them.
  const std::u16string script =
      u"CREATE VIEW vwGeneric AS SELECT fldInt, fldReal, fldChar FROM tblGeneric\r\nGO\r\n\r\n"
      u"GRANT SELECT ON dbo.vwGeneric (fldInt, fldReal, fldChar) TO public\r\nGO";
  driver_->Write(view, u"Text", Variant::String(script));
  EXPECT_EQ(Read(view, u"Text"), Variant::String(script));

  // A column's DEFAULT constraint replaced, then removed; nullability;
  // collation with the rest of its type kept.
  const ObjectRef id = Child(u"MSSQL80.Column", u"fldChildID", child);
  driver_->Write(id, u"DefaultValue", Variant::String(u"(7)"));
  driver_->Write(id, u"DefaultValue", Variant::String(u"(8)"));
  EXPECT_EQ(Read(id, u"DefaultValue"), Variant::String(u"(8)"));
  driver_->Write(id, u"DefaultValue", Variant::String(u""));
  EXPECT_EQ(Read(id, u"DefaultValue"), Variant::String(u""));
  driver_->Write(id, u"AllowNulls", Variant::Boolean(false));
  EXPECT_EQ(Read(id, u"AllowNulls"), Variant::Boolean(false));
  const ObjectRef name = Child(u"MSSQL80.Column", u"fldChildName", child);
  driver_->Write(name, u"Collation", Variant::String(u"SQL_Latin1_General_CP1_CS_AS"));
  EXPECT_EQ(Read(name, u"Collation"), Variant::String(u"SQL_Latin1_General_CP1_CS_AS"));
  EXPECT_EQ(Read(name, u"Length"), Variant::Long(32));

  // A computed column's new formula; its description survives the rebuild.
  const ObjectRef computed = Child(u"MSSQL80.Column", u"fldComputed", generic);
  driver_->Write(computed, u"Description", Variant::String(u"twice"));
  driver_->Write(computed, u"Formula", Variant::String(u"([fldDummy] * 2)"));
  EXPECT_EQ(Read(computed, u"Formula"), Variant::String(u"([fldDummy] * 2)"));
  EXPECT_EQ(Read(computed, u"Description"), Variant::String(u"twice"));

  const ObjectRef guid = Child(u"MSSQL80.Column", u"fldUniqueIdentifier", generic);
  driver_->Write(guid, u"IsRowGuid", Variant::Boolean(true));
  EXPECT_EQ(Read(guid, u"IsRowGuid"), Variant::Boolean(true));
}

// SQL Server refuses to rename a table that schema-bound objects hold; the
// driver removes their binding and renames, in one transaction.
TEST_F(DriverTest, RenamesATableThatSchemaBoundObjectsHold) {
  auto bound = [&](const char16_t* name) {
    return session_
        ->Query(u"SELECT OBJECTPROPERTY(OBJECT_ID('" + std::u16string(name) +
                u"'), 'IsSchemaBound')")
        ->Value(1, 1);
  };
  ASSERT_EQ(bound(u"dbo.vwSchemaBound"), Variant::Long(1));
  ObjectRef table = Top(u"MSSQL80.Table", u"dbo.tblGeneric");
  driver_->Write(table, u"Name", Variant::String(u"Generic Table"));
  table.name = u"Generic Table";
  EXPECT_EQ(Read(table, u"Name"), Variant::String(u"Generic Table"));
  EXPECT_EQ(bound(u"dbo.vwSchemaBound"), Variant::Long(0));
  EXPECT_EQ(bound(u"dbo.fnSchemaBoundScalar"), Variant::Long(0));
  EXPECT_EQ(
      Read(Top(u"MSSQL80.View", u"dbo.vwSchemaBound"), u"Text"),
      Variant::String(u"CREATE VIEW vwSchemaBound AS SELECT fldInt FROM dbo.tblGeneric\r\nGO"));
  driver_->Write(table, u"Name", Variant::String(u"tblGeneric"));
}

}  // namespace
}  // namespace tavora::testing

namespace tavora::testing {
namespace {

// Publications and articles, read through the help procedures and written
// through the change procedures, on the transactional and merge datasets.
class ReplicationDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = host::OpenEmbeddedServer(":memory:");
    host::InstallHarnessClasses(host::Settings{},
                                [this] { return host::MakeEmbeddedSession(server_); });
    workspace_ = host::MakeWorkspace(ScratchFolder("replication-driver").string());
  }
  void TearDown() override { harness::InstallClass(harness::SqlSession::kClsid, nullptr); }

  std::unique_ptr<driver::Driver> Open(harness::IDataset& dataset, const std::u16string& database) {
    dataset.Create(u"", workspace_.get(), nullptr);
    session_ = host::MakeEmbeddedSession(server_);
    session_->Open(u"DRIVER=SQL Server;SERVER=(local);UID=;PWD=;Trusted_Connection=Yes");
    return std::make_unique<driver::Driver>(*session_, database);
  }

  std::shared_ptr<server::DataFolder> server_;
  harness::ComPtr<harness::Workspace> workspace_;
  harness::ComPtr<harness::SqlSession> session_;
};

TEST_F(ReplicationDriverTest, TransactionalPublicationAndArticle) {
  auto dataset = MakeTransPubDataset();
  auto driver = Open(*dataset, u"tavora_TransPubDataset");
  const ObjectRef publication = MakeRef(u"MSSQL80.Publication", u"", u"pubTransactional", nullptr);
  const ObjectRef article = MakeRef(u"MSSQL80.Article", u"", u"artTable", &publication);
  EXPECT_EQ(driver->Read(publication, u"FtpPort"), Variant::Long(21));
  EXPECT_EQ(driver->Read(publication, u"FtpLogin"), Variant::String(u"anonymous"));
  EXPECT_EQ(driver->Read(publication, u"AlternateSnapshotFolder"), Variant::String(u""));
  EXPECT_EQ(driver->Read(publication, u"PublicationType"), Variant::Long(1));
  EXPECT_EQ(driver->Read(publication, u"Active"), Variant::Boolean(false));
  EXPECT_EQ(driver->Read(article, u"InsertCommand"),
            Variant::String(u"CALL sp_MSins_tblTransactional"));
  EXPECT_EQ(driver->Read(article, u"SourceColumns"), Variant::String(u"fldRecordID"));
  EXPECT_EQ(driver->Read(article, u"DestinationObjectOwner"), Variant::String(u"tkb"));
  EXPECT_EQ(driver->Read(article, u"IncludeDRI"), Variant::Boolean(true));

  // A word for a flag, a word for a number, one bit of the schema option.
  driver->Write(publication, u"Active", Variant::Boolean(true));
  EXPECT_EQ(driver->Read(publication, u"Active"), Variant::Boolean(true));
  driver->Write(publication, u"SnapshotFormat", Variant::Long(3));
  EXPECT_EQ(driver->Read(publication, u"SnapshotFormat"), Variant::Long(3));
  driver->Write(article, u"CopyClusteredIndexes", Variant::Boolean(false));
  EXPECT_EQ(driver->Read(article, u"CopyClusteredIndexes"), Variant::Boolean(false));
  EXPECT_EQ(driver->Read(article, u"ConvertUDTs"), Variant::Boolean(true));
  driver->Write(article, u"PreCreationCommand", Variant::Long(0));
  EXPECT_EQ(driver->Read(article, u"PreCreationCommand"), Variant::Long(0));

  // The queued publication's commands are the server's to refuse.
  const ObjectRef queued = MakeRef(u"MSSQL80.Publication", u"", u"pubQueuedTransactional", nullptr);
  const ObjectRef queued_article = MakeRef(u"MSSQL80.Article", u"", u"artView", &queued);
  try {
    driver->Write(queued_article, u"InsertCommand", Variant::String(u"NONE"));
    ADD_FAILURE() << "the change was accepted";
  } catch (const harness::Error& error) {
    EXPECT_NE(error.number(), driver::kDriverRefusal);
    EXPECT_NE(error.description().find(u"queued updating"), std::u16string::npos);
  }
  session_->Close();
  dataset->Delete(u"", nullptr);
}

TEST_F(ReplicationDriverTest, MergePublicationAndArticle) {
  auto dataset = MakeMergePubDataset();
  auto driver = Open(*dataset, u"tavora_MergePubDataset");
  const ObjectRef publication = MakeRef(u"MSSQL80.MergePublication", u"", u"pubMerge", nullptr);
  const ObjectRef article = MakeRef(u"MSSQL80.Article", u"", u"artView", &publication);
  EXPECT_EQ(driver->Read(publication, u"PublicationType"), Variant::Long(2));
  EXPECT_EQ(driver->Read(publication, u"Retention"), Variant::Long(14));
  EXPECT_EQ(driver->Read(article, u"SourceObjectName"), Variant::String(u"vwGeneric"));
  EXPECT_EQ(driver->Read(article, u"ColumnTracking"), Variant::Boolean(false));
  driver->Write(publication, u"Active", Variant::Boolean(false));
  EXPECT_EQ(driver->Read(publication, u"Active"), Variant::Boolean(false));
  driver->Write(publication, u"SnapshotFormat", Variant::Long(1));
  EXPECT_EQ(driver->Read(publication, u"SnapshotFormat"), Variant::Long(1));
  driver->Write(article, u"Description", Variant::String(u"View Article"));
  EXPECT_EQ(driver->Read(article, u"Description"), Variant::String(u"View Article"));
  session_->Close();
  dataset->Delete(u"", nullptr);
}

}  // namespace
}  // namespace tavora::testing
