// The read/write test's runner on a small hand-made model: what it counts
// as equal, written, kept, refused as noted and unexpected, how a rename
// carries the objects under it along, and the report made of it.

#include "host/readwrite.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "harness/utf.h"
#include "host/embedded_session.h"
#include "host/readwrite_report.h"
#include "tests/scratch_folder.h"

namespace host {
namespace {

using harness::Variant;
using nlohmann::ordered_json;

ordered_json Property(const char* name, ordered_json value, bool modifiable, ordered_json new_value,
                      const char* note = "") {
  return {{"name", name},
          {"value", value},
          {"modifiable", modifiable},
          {"newValue", new_value},
          {"note", note}};
}

ordered_json Object(const char* key, const char* class_name, ordered_json properties,
                    ordered_json collections = ordered_json::array()) {
  return {{"key", key},
          {"class", class_name},
          {"type", ""},
          {"properties", properties},
          {"collections", collections}};
}

ordered_json S(const char* text) { return {{"String", text}}; }

class ReadWriteRun : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = OpenEmbeddedServer(":memory:");
    session_ = MakeEmbeddedSession(server_);
    session_->Open(u"DRIVER=SQL Server;SERVER=(local);UID=;PWD=;Trusted_Connection=Yes");
    session_->Execute(0,
                      u"CREATE DATABASE rw\r\nGO\r\nUSE rw\r\nCREATE TABLE t (a INT, b INT)\r\n"
                      u"CREATE TABLE taken (x INT)");
  }

  ReadWriteResult Run(const ordered_json& objects) {
    ordered_json model = {
        {"projects",
         {{{"name", "Project1"}, {"collections", {{{"name", "Tables"}, {"objects", objects}}}}}}}};
    return RunReadWrite(model, *session_, u"rw");
  }

  const PropertyCheck& Find(const ReadWriteResult& result, const std::u16string& key,
                            const std::u16string& property) {
    for (const PropertyCheck& check : result.checks) {
      if (check.path.back() == key && check.property == property) return check;
    }
    ADD_FAILURE() << "no check of " << harness::ToUtf8(property);
    return result.checks.front();
  }

  std::shared_ptr<server::DataFolder> server_;
  harness::ComPtr<harness::SqlSession> session_;
};

TEST_F(ReadWriteRun, CountsEachOutcomeAndFollowsRenames) {
  ordered_json column = Object("a", "MSSQL80.Column",
                               {Property("Name", S("a"), true, S("a2")),
                                // The right value, of the wrong kind: a mismatch.
                                Property("AllowNulls", {{"Long", 1}}, false, nullptr)});
  ordered_json table = Object(
      "dbo.t", "MSSQL80.Table",
      {Property("Name", S("t"), true, S("t2")), Property("Owner", S("dbo"), false, nullptr),
       // A wrong original: the tools show 2 while nothing is stored.
       Property("DefaultView", {{"Long", 3}}, true, {{"Long", 4}}),
       // Accepted, though a note expects a refusal.
       Property("SubdatasheetHeight", {{"Long", 0}}, true, {{"Long", 10}}, "Cannot be changed."),
       // Modifiable without a new value: kept.
       Property("Filter", S(""), true, nullptr)},
      {{{"name", "Columns"}, {"objects", {column}}}});
  ordered_json taken = Object("dbo.taken", "MSSQL80.Table",
                              {// Refused, and no note expects it.
                               Property("Name", S("taken"), true, S("t2")),
                               // Accepted against its note: the attempt changes
                               // the value the server holds.
                               Property("OrderBy", S(""), true, nullptr, "Must fail."),
                               Property("Colour", S("red"), true, S("blue"))});
  // Colour fails for want of a way to read or write it, not of a server.
  session_->Execute(0,
                    u"EXEC sp_addextendedproperty 'MS_OrderBy', 'x', 'user', 'dbo', 'table', "
                    u"'taken'");

  ReadWriteResult result = Run({table, taken});

  EXPECT_EQ(result.read, 10u);
  EXPECT_EQ(result.equal, 6u);
  EXPECT_FALSE(Find(result, u"dbo.t", u"DefaultView").equal);
  EXPECT_EQ(Find(result, u"dbo.t", u"DefaultView").read, Variant::Long(2));
  EXPECT_FALSE(Find(result, u"a", u"AllowNulls").equal);
  EXPECT_EQ(Find(result, u"a", u"AllowNulls").read, Variant::Boolean(true));
  EXPECT_FALSE(Find(result, u"dbo.taken", u"OrderBy").equal);
  EXPECT_TRUE(Find(result, u"dbo.taken", u"Colour").read_error.has_value());

  EXPECT_EQ(Find(result, u"dbo.t", u"Name").outcome, WriteOutcome::kWritten);
  EXPECT_EQ(Find(result, u"dbo.t", u"DefaultView").outcome, WriteOutcome::kWritten);
  EXPECT_EQ(Find(result, u"dbo.t", u"DefaultView").read_back, Variant::Long(4));
  EXPECT_EQ(Find(result, u"dbo.t", u"SubdatasheetHeight").outcome, WriteOutcome::kUnexpected);
  EXPECT_EQ(Find(result, u"dbo.t", u"Filter").outcome, WriteOutcome::kKept);
  // The column is found under its table's new name.
  EXPECT_EQ(Find(result, u"a", u"Name").outcome, WriteOutcome::kWritten);
  EXPECT_EQ(Find(result, u"a", u"Name").read_back, Variant::String(u"a2"));
  const PropertyCheck& clash = Find(result, u"dbo.taken", u"Name");
  EXPECT_EQ(clash.outcome, WriteOutcome::kUnexpected);
  EXPECT_NE(clash.message.find(u"already in use"), std::u16string::npos);
  // A noted record without a new value attempts the change its note is about.
  const PropertyCheck& noted = Find(result, u"dbo.taken", u"OrderBy");
  EXPECT_EQ(noted.attempted, Variant::String(u"2"));
  EXPECT_EQ(noted.outcome, WriteOutcome::kUnexpected);
  EXPECT_EQ(Find(result, u"dbo.taken", u"Colour").outcome, WriteOutcome::kUnexpected);

  EXPECT_EQ(result.written, 8u);
  EXPECT_EQ(result.ok, 4u);
  EXPECT_EQ(result.unexpected, 4u);
  EXPECT_EQ(ReadWriteSummary(u"Mini", result),
            "Mini: 10 read, 6 equal; 8 written: 4 ok, 0 refused as noted, 4 unexpected");
}

// A note that expects a refusal is met when the server refuses.
TEST_F(ReadWriteRun, NotedRefusalIsExpected) {
  ReadWriteResult result = Run(ordered_json::array({Object(
      "dbo.taken", "MSSQL80.Table", {Property("Name", S("taken"), true, S("t"), "In use.")})}));
  const PropertyCheck& check = result.checks.front();
  EXPECT_EQ(check.outcome, WriteOutcome::kRefusedAsNoted);
  EXPECT_EQ(check.message, u"Error: The new name 't' is already in use as a OBJECT name.");
  EXPECT_EQ(result.refused_as_noted, 1u);
  EXPECT_EQ(result.unexpected, 0u);
}

// An object's noted changes are tried after its other changes: here the
// rename is refused only once the later IsRowGuid write has made the column
// ROWGUIDCOL.
TEST_F(ReadWriteRun, NotedChangesComeAfterTheObjectsOtherWrites) {
  session_->Execute(0, u"USE rw\r\nCREATE TABLE g (id UNIQUEIDENTIFIER NULL)");
  ordered_json column =
      Object("id", "MSSQL80.Column",
             {Property("Name", S("id"), true, nullptr,
                       "Cannot alter column 'id' because it is 'ROWGUIDCOL'."),
              Property("IsRowGuid", {{"Boolean", false}}, true, {{"Boolean", true}})});
  ReadWriteResult result =
      Run(ordered_json::array({Object("dbo.g", "MSSQL80.Table", ordered_json::array(),
                                      {{{"name", "Columns"}, {"objects", {column}}}})}));
  EXPECT_EQ(Find(result, u"id", u"IsRowGuid").outcome, WriteOutcome::kWritten);
  const PropertyCheck& rename = Find(result, u"id", u"Name");
  EXPECT_EQ(rename.outcome, WriteOutcome::kRefusedAsNoted);
  EXPECT_NE(rename.message.find(u"because it is 'ROWGUIDCOL'"), std::u16string::npos);
  EXPECT_EQ(result.unexpected, 0u);
}

TEST(ReadWriteAttempt, NotedChangeWithoutValueChangesTheOriginal) {
  PropertyCheck check;
  check.property = u"AllowNulls";
  check.original = Variant::Boolean(true);
  EXPECT_EQ(AttemptedChange(check), Variant::Boolean(false));
  check.property = u"Collation";
  check.original = Variant::String(u"SQL_Latin1_General_CP1_CI_AS");
  EXPECT_EQ(AttemptedChange(check), Variant::String(u"SQL_Latin1_General_CP1_CS_AS"));
  // A new value equal to the original is no change either.
  check.property = u"SnapshotFormat";
  check.original = Variant::Long(0);
  check.new_value = Variant::Long(0);
  EXPECT_EQ(AttemptedChange(check), Variant::Long(1));
  check.new_value = Variant::Long(7);
  EXPECT_EQ(AttemptedChange(check), Variant::Long(7));
}

ReadWriteReport SampleReport() {
  ReadWriteReport report;
  report.test = u"Standard";
  PropertyCheck good;
  good.path = {u"Tables", u"dbo.tblGeneric"};
  good.class_name = u"MSSQL80.Table";
  good.property = u"Name";
  good.original = good.read = Variant::String(u"tblGeneric");
  good.equal = true;
  PropertyCheck bad = good;
  bad.property = u"Filter";
  bad.original = Variant::String(u"<b>x</b>");
  bad.read = Variant::String(u"y");
  bad.equal = false;
  PropertyCheck noted = good;
  noted.property = u"OrderBy";
  noted.modifiable = true;
  noted.note = u"Must fail.";
  noted.new_value = Variant::String(u"tblGeneric");
  noted.attempted = Variant::String(u"tblGeneric2");
  report.result.checks = {good, bad, noted};
  report.result.read = 2;
  report.result.equal = 1;
  return report;
}

TEST(ReadWriteReportPage, MarksMismatchesAndEscapesValues) {
  std::string html = ReadWriteReportHtml({SampleReport()});
  EXPECT_NE(html.find("<table id=\"summary\">"), std::string::npos);
  EXPECT_NE(html.find("MISMATCH"), std::string::npos);
  EXPECT_NE(html.find("&lt;b&gt;x&lt;/b&gt;"), std::string::npos);
  EXPECT_EQ(html.find("<b>x</b>"), std::string::npos);
  // What a noted change tried, where the model gave nothing new to try.
  EXPECT_NE(html.find("<i>tried:</i> <span class=\"value\">tblGeneric2</span>"), std::string::npos);
  // Nothing to fetch: the page stands alone.
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("http"), std::string::npos);
}

// The page as a browser shows it: headless Chromium renders it and dumps the
// document, whose text must show the summary and the marked mismatch; a
// screenshot at a phone's width must come out too.
TEST(ReadWriteReportPage, RendersInHeadlessChromium) {
  if (std::system("command -v chromium >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "chromium is not installed: scripts/install-deps installs it";
  }
  namespace fs = std::filesystem;
  fs::path folder = tavora::testing::ScratchFolder("report");
  fs::path page = folder / "report.html";
  std::ofstream(page) << ReadWriteReportHtml({SampleReport()});
  const std::string flags =
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir=" +
      (folder / "profile").string();
  const fs::path dom = folder / "dom.html";
  const fs::path shot = folder / "phone.png";
  ASSERT_EQ(std::system(("chromium" + flags + " --dump-dom file://" + page.string() + " > " +
                         dom.string() + " 2>/dev/null")
                            .c_str()),
            0);
  std::string shown = tavora::testing::ReadFile(dom);
  EXPECT_NE(shown.find("tavora read/write test"), std::string::npos);
  EXPECT_NE(shown.find("MISMATCH"), std::string::npos);
  EXPECT_NE(shown.find("1 mismatches, 0 unexpected writes."), std::string::npos);
  ASSERT_EQ(std::system(("chromium" + flags + " --window-size=412,915 --screenshot=" +
                         shot.string() + " file://" + page.string() + " >/dev/null 2>&1")
                            .c_str()),
            0);
  EXPECT_GT(fs::file_size(shot), 1000u);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace host
