// The four user-defined functions: scalar, encrypted, schema-bound over
// tblGeneric, and multi-statement table-valued. A new function name is the
// old one with "2" appended.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "datasets/batch.h"
#include "datasets/model_rows.h"
#include "datasets/standard/builders.h"
#include "library/vxhandler.h"

namespace tavora::standard {
namespace {

// The shape the three scalar functions share; `with_option` is empty when the
// script has no WITH line.
std::u16string ScalarScript(std::u16string_view name, std::u16string_view with_option,
                            std::u16string_view returned) {
  std::vector<std::u16string> lines;
  lines.push_back(u"CREATE FUNCTION " + std::u16string(name) + u"(@X int)");
  lines.push_back(u"RETURNS int");
  if (!with_option.empty()) lines.push_back(u"WITH " + std::u16string(with_option));
  lines.push_back(u"AS");
  lines.push_back(u"BEGIN");
  lines.push_back(u"  RETURN(" + std::u16string(returned) + u")");
  lines.push_back(u"END");
  return JoinLines(lines);
}

// Every occurrence of `from`, left to right, case-sensitive; the text put in
// is not searched again.
std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
  if (from.empty()) return text;
  std::size_t position = text.find(from);
  while (position != std::u16string::npos) {
    text.replace(position, from.size(), to);
    position = text.find(from, position + to.size());
  }
  return text;
}

// The employees reporting directly or indirectly to @InEmpId. The employees
// table is not part of the database; deferred name resolution lets the
// function be created without it.
std::u16string TableValuedScript() {
  return JoinLines({
      u"CREATE FUNCTION fnTableValued (@InEmpId nchar(5))",
      u"  RETURNS @retFindReports TABLE (empid nchar(5) primary key,",
      u"    empname nvarchar(50) NOT NULL,",
      u"    mgrid nchar(5),",
      u"    title nvarchar(30))",
      u"AS",
      u"BEGIN",
      u"  DECLARE @RowsAdded int",
      u"  DECLARE @reports TABLE (empid nchar(5) primary key,",
      u"    empname nvarchar(50) NOT NULL,",
      u"    mgrid nchar(5),",
      u"    title nvarchar(30),",
      u"    processed tinyint default 0)",
      u"  INSERT @reports",
      u"  SELECT empid, empname, mgrid, title, 0",
      u"  FROM employees",
      u"  WHERE empid = @InEmpId",
      u"  SET @RowsAdded = @@rowcount",
      u"  WHILE @RowsAdded > 0",
      u"  BEGIN",
      u"    UPDATE @reports",
      u"    SET processed = 1",
      u"    WHERE processed = 0",
      u"    INSERT @reports",
      u"    SELECT e.empid, e.empname, e.mgrid, e.title, 0",
      u"    FROM employees e, @reports r",
      u"    WHERE e.mgrid = r.empid AND e.mgrid <> e.empid AND r.processed = 1",
      u"    SET @RowsAdded = @@rowcount",
      u"    UPDATE @reports",
      u"    SET processed = 2",
      u"    WHERE processed = 1",
      u"  END",
      u"  INSERT @retFindReports",
      u"  SELECT empid, empname, mgrid, title",
      u"  FROM @reports",
      u"  RETURN",
      u"END",
  });
}

// Runs the function's script, then records it in "UserDefinedFunctions" with
// Name, Owner and the given Text record.
void CreateFunction(harness::ModelProject& project, harness::SqlSession& session,
                    const std::u16string& database, std::u16string_view name,
                    std::u16string_view script, const PropertyRow& text) {
  Execute(session, StandardBatch(database, script));
  std::u16string key = u"dbo." + std::u16string(name);
  std::u16string new_name = std::u16string(name) + u"2";
  auto function = AddObject(*ProjectCollection(project, u"UserDefinedFunctions"), key,
                            u"MSSQL80.Function", u"");
  AddProperty(*function, Mod(u"Name", S(name), S(new_name)));
  AddProperty(*function, Fixed(u"Owner", S(u"dbo")));
  AddProperty(*function, text);
}

}  // namespace

void CreateScalarFunction(harness::ModelProject& project, harness::SqlSession& session,
                          const std::u16string& database) {
  Trap(kModule, u"CreateScalarFunction", [&] {
    std::u16string script = ScalarScript(u"fnScalar", u"", u"@X*@X");
    std::u16string new_script = ScalarScript(u"fnScalar2", u"", u"1 + (@X*@X)");
    CreateFunction(project, session, database, u"fnScalar", script,
                   Mod(u"Text", S(script), S(new_script)));
  });
}

void CreateEncryptedScalarFunction(harness::ModelProject& project, harness::SqlSession& session,
                                   const std::u16string& database) {
  Trap(kModule, u"CreateEncryptedScalarFunction", [&] {
    // The server keeps no readable text of an encrypted function, so the
    // model records a placeholder the test cannot change.
    CreateFunction(project, session, database, u"fnEncryptedScalar",
                   ScalarScript(u"fnEncryptedScalar", u"ENCRYPTION", u"@X*@X"),
                   Mod(u"Text", S(u"(encrypted)"), kNull, u"Can't modify encrypted function."));
  });
}

void CreateSchemaBoundScalarFunction(harness::ModelProject& project, harness::SqlSession& session,
                                     const std::u16string& database) {
  Trap(kModule, u"CreateSchemaBoundScalarFunction", [&] {
    std::u16string script = ScalarScript(u"fnSchemaBoundScalar", u"SCHEMABINDING",
                                         u"SELECT MAX(fldInt) FROM dbo.tblGeneric");
    std::u16string new_script = ScalarScript(u"fnSchemaBoundScalar2", u"",
                                             u"SELECT MAX([Int Field]) FROM dbo.[Generic Table]");
    CreateFunction(project, session, database, u"fnSchemaBoundScalar", script,
                   Mod(u"Text", S(script), S(new_script)));
  });
}

void CreateTableValuedFunction(harness::ModelProject& project, harness::SqlSession& session,
                               const std::u16string& database) {
  Trap(kModule, u"CreateTableValuedFunction", [&] {
    std::u16string script = TableValuedScript();
    std::u16string new_script = ReplaceAll(script, u"fnTableValued", u"fnTableValued2");
    new_script = ReplaceAll(new_script, u"empid", u"employeeid");
    new_script = ReplaceAll(new_script, u"empname", u"employeename");
    CreateFunction(project, session, database, u"fnTableValued", script,
                   Mod(u"Text", S(script), S(new_script)));
  });
}

}  // namespace tavora::standard
