#include "tests/server/dataset_batches.h"

#include <initializer_list>

#include "base/batch_splitter.h"
#include "tests/server/server_test_util.h"

namespace server::testing {

namespace {

constexpr char kCrLf[] = "\r\n";

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += kCrLf;
    text += line;
  }
  return text;
}

std::string Standard(const std::string& db, const std::string& statement) {
  return "USE " + db + kCrLf + "GO" + kCrLf + statement;
}

std::string Plain(const std::string& db, const std::string& statement) {
  return "USE " + db + kCrLf + statement;
}

std::string Server(const std::string& statement) {
  return std::string("USE master") + kCrLf + statement;
}

// The generic table's columns: declaration line and the value the row
// insert gives ("" for the two columns it leaves out).
struct GenericColumn {
  const char* name;
  const char* declaration;
  const char* value;
};

constexpr GenericColumn kGenericColumns[] = {
    {"fldBigInt", "fldBigInt BIGINT,", "17"},
    {"fldBigInt_ComboBox", "fldBigInt_ComboBox BIGINT,", "17"},
    {"fldBigInt_ListBox", "fldBigInt_ListBox BIGINT,", "17"},
    {"fldBinary", "fldBinary BINARY,", "17"},
    {"fldBit", "fldBit BIT,", "0"},
    {"fldBit_CheckBox", "fldBit_CheckBox BIT,", "0"},
    {"fldBit_ComboBox", "fldBit_ComboBox BIT,", "0"},
    {"fldChar", "fldChar CHAR(32),", "'Alpha'"},
    {"fldChar_ComboBox", "fldChar_ComboBox CHAR(32),", "'Alpha'"},
    {"fldChar_ListBox", "fldChar_ListBox CHAR(32),", "'Alpha'"},
    {"fldDateTime", "fldDateTime DATETIME,", "'01/01/2001'"},
    {"fldDecimal", "fldDecimal DECIMAL,", "31.99"},
    {"fldDecimal_ComboBox", "fldDecimal_ComboBox DECIMAL,", "31.99"},
    {"fldDecimal_ListBox", "fldDecimal_ListBox DECIMAL,", "31.99"},
    {"fldFloat", "fldFloat FLOAT,", "31.99"},
    {"fldFloat_ComboBox", "fldFloat_ComboBox FLOAT,", "31.99"},
    {"fldFloat_ListBox", "fldFloat_ListBox FLOAT,", "31.99"},
    {"fldImage", "fldImage IMAGE,", "'c:\\x.jpg'"},
    {"fldInt", "fldInt INT,", "17"},
    {"fldInt_ComboBox", "fldInt_ComboBox INT,", "17"},
    {"fldInt_ListBox", "fldInt_ListBox INT,", "17"},
    {"fldMoney", "fldMoney MONEY,", "31.99"},
    {"fldNChar", "fldNChar NCHAR(32),", "'Alpha'"},
    {"fldNChar_ComboBox", "fldNChar_ComboBox NCHAR(32),", "'Alpha'"},
    {"fldNChar_ListBox", "fldNChar_ListBox NCHAR(32),", "'Alpha'"},
    {"fldNText", "fldNText NTEXT,", "'Alpha'"},
    {"fldNText_ComboBox", "fldNText_ComboBox NTEXT,", "'Alpha'"},
    {"fldNText_ListBox", "fldNText_ListBox NTEXT,", "'Alpha'"},
    {"fldNumeric", "fldNumeric NUMERIC,", "17"},
    {"fldNumeric_ComboBox", "fldNumeric_ComboBox NUMERIC,", "17"},
    {"fldNumeric_ListBox", "fldNumeric_ListBox NUMERIC,", "17"},
    {"fldNVarChar", "fldNVarChar NVARCHAR(32),", "'Alpha'"},
    {"fldNVarChar_ComboBox", "fldNVarChar_ComboBox NVARCHAR(32),", "'Alpha'"},
    {"fldNVarChar_ListBox", "fldNVarChar_ListBox NVARCHAR(32),", "'Alpha'"},
    {"fldReal", "fldReal REAL,", "31.99"},
    {"fldReal_ComboBox", "fldReal_ComboBox REAL,", "31.99"},
    {"fldReal_ListBox", "fldReal_ListBox REAL,", "31.99"},
    {"fldSmallDateTime", "fldSmallDateTime SMALLDATETIME,", "'01/01/2001'"},
    {"fldSmallInt", "fldSmallInt SMALLINT,", "17"},
    {"fldSmallInt_ComboBox", "fldSmallInt_ComboBox SMALLINT,", "17"},
    {"fldSmallInt_ListBox", "fldSmallInt_ListBox SMALLINT,", "17"},
    {"fldSmallMoney", "fldSmallMoney SMALLMONEY,", "31.99"},
    {"fldSQLVariant", "fldSQLVariant SQL_VARIANT,", "'Alpha'"},
    {"fldText", "fldText TEXT,", "'Alpha'"},
    {"fldText_ComboBox", "fldText_ComboBox TEXT,", "'Alpha'"},
    {"fldText_ListBox", "fldText_ListBox TEXT,", "'Alpha'"},
    {"fldTimestamp", "fldTimestamp TIMESTAMP,", ""},
    {"fldTinyInt", "fldTinyInt TINYINT,", "17"},
    {"fldTinyInt_ComboBox", "fldTinyInt_ComboBox TINYINT,", "17"},
    {"fldTinyInt_ListBox", "fldTinyInt_ListBox TINYINT,", "17"},
    {"fldUniqueIdentifier", "fldUniqueIdentifier UNIQUEIDENTIFIER,",
     "'{11111111-1111-1111-1111-111111111111}'"},
    {"fldVarbinary", "fldVarbinary VARBINARY,", "17"},
    {"fldVarchar", "fldVarchar VARCHAR(32),", "'Alpha'"},
    {"fldVarchar_ComboBox", "fldVarchar_ComboBox VARCHAR(32),", "'Alpha'"},
    {"fldVarchar_ListBox", "fldVarchar_ListBox VARCHAR(32),", "'Alpha'"},
    {"fldUserDefined", "fldUserDefined udtGeneric,", "'Alpha'"},
    {"fldComputed", "fldComputed AS fldDummy,", ""},
    {"fldDummy", "fldDummy INT)", "17"},
};

// The column extended properties, in the order the generic table sets them:
// a text value (MS_Description) or a display-control number.
struct ColumnProperty {
  const char* column;
  const char* name;
  int display_control;
  const char* description;
};

constexpr ColumnProperty kColumnProperties[] = {
    {"fldBigInt", "MS_Description", 0, "This column stores bigint values."},
    {"fldBinary", "MS_Description", 0, "This column stores binary values."},
    {"fldBigInt_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldBigInt_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldBit_CheckBox", "MS_DisplayControl", 106, nullptr},
    {"fldBit_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldChar_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldChar_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldDecimal_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldDecimal_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldFloat_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldFloat_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldInt_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldInt_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldNChar_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldNChar_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldNText_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldNText_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldNumeric_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldNumeric_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldNVarChar_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldNVarChar_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldReal_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldReal_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldSmallInt_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldSmallInt_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldText_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldText_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldTinyInt_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldTinyInt_ListBox", "MS_DisplayControl", 110, nullptr},
    {"fldVarChar_ComboBox", "MS_DisplayControl", 111, nullptr},
    {"fldVarChar_ListBox", "MS_DisplayControl", 110, nullptr},
};

std::string ColumnPropertyBatch(const std::string& db, const ColumnProperty& property) {
  std::string value = property.description ? std::string(", @value='") + property.description + "'"
                                           : ", @value=" + std::to_string(property.display_control);
  return Lines({"USE " + db, "EXEC sp_addextendedproperty",
                std::string("  @name='") + property.name + "'", value, ", @level0type='user'",
                ", @level0name='dbo'", ", @level1type='table'", ", @level1name='tblGeneric'",
                ", @level2type='column'", std::string(", @level2name='") + property.column + "'"});
}

std::string GenericTableBatch(const std::string& db) {
  std::string text = "USE " + db + kCrLf + "CREATE TABLE tblGeneric (";
  for (const GenericColumn& column : kGenericColumns)
    text += std::string(kCrLf) + column.declaration;
  return text;
}

std::string GenericRowBatch() {
  std::string names, values;
  for (const GenericColumn& column : kGenericColumns) {
    if (std::string(column.value).empty()) continue;
    if (!names.empty()) {
      names += ",";
      values += ",";
    }
    names += column.name;
    values += column.value;
  }
  return "INSERT INTO tblGeneric (" + names + ") VALUES (" + values + ")";
}

std::string TableValuedFunction() {
  return Lines({
      "CREATE FUNCTION fnTableValued (@InEmpId nchar(5))",
      "  RETURNS @retFindReports TABLE (empid nchar(5) primary key,",
      "    empname nvarchar(50) NOT NULL,",
      "    mgrid nchar(5),",
      "    title nvarchar(30))",
      "AS",
      "BEGIN",
      "  DECLARE @RowsAdded int",
      "  DECLARE @reports TABLE (empid nchar(5) primary key,",
      "    empname nvarchar(50) NOT NULL,",
      "    mgrid nchar(5),",
      "    title nvarchar(30),",
      "    processed tinyint default 0)",
      "  INSERT @reports",
      "    SELECT empid, empname, mgrid, title, 0",
      "    FROM employees",
      "    WHERE empid = @InEmpId",
      "  SET @RowsAdded = @@rowcount",
      "  WHILE @RowsAdded > 0",
      "  BEGIN",
      "    UPDATE @reports SET processed = 1 WHERE processed = 0",
      "    INSERT @reports",
      "      SELECT e.empid, e.empname, e.mgrid, e.title, 0",
      "      FROM employees e, @reports r",
      "      WHERE e.mgrid = r.empid AND e.mgrid <> e.empid AND r.processed = 1",
      "    SET @RowsAdded = @@rowcount",
      "    UPDATE @reports SET processed = 2 WHERE processed = 1",
      "  END",
      "  INSERT @retFindReports",
      "    SELECT empid, empname, mgrid, title",
      "    FROM @reports",
      "  RETURN",
      "END",
  });
}

struct ReplicationNames {
  const char* database;
  const char* option;
};

ReplicationNames NamesOf(Replication kind) {
  switch (kind) {
    case Replication::kTransactional:
      return {"tavora_TransPubDataset", "publish"};
    case Replication::kSnapshot:
      return {"tavora_ReplicationDataset", "publish"};
    case Replication::kMerge:
      return {"tavora_MergePubDataset", "merge publish"};
  }
  return {"", ""};
}

// The twin publication builders, transactional and snapshot: `stem` is "Transactional",
// "QueuedTransactional", "Snapshot" or "QueuedSnapshot".
BuilderTexts PublicationBuilder(const std::string& db, const std::string& builder,
                                const std::string& stem, const std::string& frequency,
                                bool queued) {
  std::string table = "tbl" + stem;
  std::string publication = "pub" + stem;
  BuilderTexts result{builder, {}};
  result.texts.push_back(Plain(db, "CREATE TABLE " + table + " (" + kCrLf +
                                       "fldRecordID INT CONSTRAINT PK_" + stem +
                                       "ID PRIMARY KEY NONCLUSTERED)"));
  result.texts.push_back(
      Standard(db, "CREATE VIEW vw" + stem + " AS SELECT * FROM " + table + kCrLf + "GO"));
  result.texts.push_back(Standard(db, "CREATE PROCEDURE sp" + stem + " AS SELECT * FROM " + table +
                                          " WHERE " + table + ".fldRecordID<>3"));
  std::string add =
      "EXEC sp_addpublication  @publication='" + publication + "', @repl_freq='" + frequency + "'";
  if (queued) add += ", @allow_queued_tran='true'";
  result.texts.push_back(Plain(db, add));
  for (const char* article : {"artTable", "artView", "artStoredProc"}) {
    result.texts.push_back(Plain(db, "EXEC sp_addarticle  @publication='" + publication +
                                         "', @article='" + article + "', @source_table='" + table +
                                         "', @destination_owner='tkb'"));
  }
  return result;
}

RunResult RunBuilders(Client& client, const std::vector<BuilderTexts>& builders, RunResult result) {
  for (const BuilderTexts& builder : builders) {
    for (const std::string& text : builder.texts) {
      result.executed.push_back(text);
      if (std::optional<SqlError> error = client.Execute(text)) {
        result.error = error;
        result.failed_builder = builder.builder;
        return result;
      }
    }
  }
  return result;
}

bool Exists(Client& client, const std::string& database) {
  return client.Query(ExistenceQuery(database)).rows.size() == 1;
}

}  // namespace

std::string StandardCreateDatabase() {
  return Server(std::string("CREATE DATABASE ") + kStandardDatabase);
}

std::string ExistenceQuery(const std::string& database) {
  return Server("SELECT Name FROM sysdatabases WHERE Name='" + database + "'");
}

std::string DropDatabase(const std::string& database) {
  return Server("DROP DATABASE " + database);
}

std::vector<BuilderTexts> StandardBuilders() {
  const std::string db = kStandardDatabase;
  std::vector<BuilderTexts> builders;
  builders.push_back({"CreateGenericFullTextCatalog",
                      {Standard(db, Lines({"EXEC sp_fulltext_database", "  @action='enable'"})),
                       Standard(db, Lines({"EXEC sp_fulltext_catalog", "  @ftcat='Catalog1'",
                                           ", @action='create'"}))}});
  builders.push_back(
      {"CreateGenericDefault", {Standard(db, "CREATE DEFAULT defGeneric AS '800-555-1212'")}});
  builders.push_back(
      {"CreateGenericRule",
       {Standard(db, "CREATE RULE rulGeneric AS @range >= $1000 AND @range < $20000")}});
  builders.push_back({"CreateGenericDatatype",
                      {Standard(db, "EXEC sp_addtype udtGeneric, 'VARCHAR(32)', 'NOT NULL'")}});
  BuilderTexts generic{"CreateGenericTable", {GenericTableBatch(db), GenericRowBatch()}};
  for (const ColumnProperty& property : kColumnProperties)
    generic.texts.push_back(ColumnPropertyBatch(db, property));
  builders.push_back(std::move(generic));
  builders.push_back(
      {"CreateParentTable",
       {Plain(db,
              Lines({"CREATE TABLE tblParent (",
                     "fldParentID INT CONSTRAINT PK_ParentID PRIMARY KEY NONCLUSTERED,",
                     "fldParentName VARCHAR(32)", "  CONSTRAINT IX_ParentName UNIQUE NONCLUSTERED",
                     "  CONSTRAINT CK_ParentName CHECK ([fldParentName] <> 'Tallock'),",
                     "fldParentPhone VARCHAR(16),", "fldParentFax VARCHAR(16))"})),
        Plain(db, "CREATE INDEX IX_ParentPhone ON tblParent([fldParentPhone])"),
        Plain(db, "CREATE UNIQUE INDEX IX_ParentFax ON tblParent([fldParentFax])"),
        Standard(
            db, Lines({"EXEC sp_fulltext_table", "  @tabname='dbo.tblParent'", ", @action='create'",
                       ", @ftcat='Catalog1'", ", @keyname='PK_ParentID'"})),
        Standard(db, Lines({"EXEC sp_fulltext_column", "  @tabname='dbo.tblParent'",
                            ", @colname='fldParentName'", ", @action='add'"})),
        Standard(db, Lines({"EXEC sp_fulltext_column", "  @tabname='dbo.tblParent'",
                            ", @colname='fldParentFax'", ", @action='add'"}))}});
  builders.push_back(
      {"CreateChildTable",
       {Plain(db, Lines({"CREATE TABLE tblChild (", "fldChildID INT,", "fldChildName VARCHAR(32),",
                         "fldParentID INT CONSTRAINT FK_Parent FOREIGN KEY REFERENCES "
                         "tblParent(fldParentID))"})),
        Standard(db,
                 "CREATE TRIGGER trgNewChild ON tblChild FOR INSERT AS EXEC master..xp_sendmail "
                 "'SalesMgr','A new child record was entered.'")}});
  std::string view_script =
      Lines({"CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric", "GO", "",
             "GRANT SELECT ON dbo.vwGeneric (fldInt, fldReal) TO public", "GO"});
  builders.push_back({"CreateGenericView",
                      {Standard(db, view_script + kCrLf + "GO" + kCrLf +
                                        "GRANT REFERENCES, DELETE ON vwGeneric TO public")}});
  builders.push_back(
      {"CreateSchemaBoundView",
       {Standard(
           db,
           Lines(
               {"CREATE VIEW vwSchemaBound WITH SCHEMABINDING AS SELECT fldInt FROM dbo.tblGeneric",
                "GO"}))}});
  builders.push_back(
      {"CreateGenericStoredProcedure",
       {Standard(
           db,
           "CREATE PROCEDURE spGeneric AS SELECT * FROM tblGeneric WHERE tblGeneric.fldInt = 7")}});
  builders.push_back({"CreateScalarFunction",
                      {Standard(db, Lines({"CREATE FUNCTION fnScalar(@X int)", "RETURNS int", "AS",
                                           "BEGIN", "  RETURN(@X*@X)", "END"}))}});
  builders.push_back(
      {"CreateEncryptedScalarFunction",
       {Standard(db, Lines({"CREATE FUNCTION fnEncryptedScalar(@X int)", "RETURNS int",
                            "WITH ENCRYPTION", "AS", "BEGIN", "  RETURN(@X*@X)", "END"}))}});
  builders.push_back(
      {"CreateSchemaBoundScalarFunction",
       {Standard(db, Lines({"CREATE FUNCTION fnSchemaBoundScalar(@X int)", "RETURNS int",
                            "WITH SCHEMABINDING", "AS", "BEGIN",
                            "  RETURN(SELECT MAX(fldInt) FROM dbo.tblGeneric)", "END"}))}});
  builders.push_back({"CreateTableValuedFunction", {Standard(db, TableValuedFunction())}});
  return builders;
}

std::string ReplicationDatabase(Replication kind) { return NamesOf(kind).database; }

std::vector<std::string> ReplicationSetup(Replication kind, const std::string& server,
                                          const std::string& folder) {
  ReplicationNames names = NamesOf(kind);
  std::string db = names.database;
  return {
      Server("CREATE DATABASE " + db),
      Server("exec sp_dropdistributor  @no_checks=1"),
      Server("exec sp_adddistributor  @distributor='" + server + "', @password=P"),
      Server("exec sp_adddistributiondb  @database='distribution', @data_folder='" + folder +
             "', @data_file='distribution.mdf', @data_file_size=2, @log_folder='" + folder +
             "', @log_file='distribution.ldf', @log_file_size=0, @min_distretention=0, "
             "@max_distretention=72, "
             "@history_retention=48, @security_mode=1"),
      Server("exec sp_adddistpublisher  @publisher='" + server +
             "', @distribution_db='distribution', @working_directory='" + folder + "'"),
      Server("EXEC sp_replicationdboption  @dbname='" + db + "', @optname='" + names.option +
             "', @value='true'"),
  };
}

std::vector<BuilderTexts> ReplicationBuilders(Replication kind) {
  std::string db = NamesOf(kind).database;
  switch (kind) {
    case Replication::kTransactional:
      return {PublicationBuilder(db, "CreateTransactionalPublication", "Transactional",
                                 "continuous", false),
              PublicationBuilder(db, "CreateQueuedTransactionalPublication", "QueuedTransactional",
                                 "continuous", true)};
    case Replication::kSnapshot:
      return {PublicationBuilder(db, "CreateSnapshotPublication", "Snapshot", "snapshot", false),
              PublicationBuilder(db, "CreateQueuedSnapshotPublication", "QueuedSnapshot",
                                 "snapshot", true)};
    case Replication::kMerge: {
      BuilderTexts merge{"CreateMergePublication", {}};
      merge.texts.push_back(
          Plain(db, std::string("CREATE TABLE tblGeneric (") + kCrLf +
                        "fldRecordID INT CONSTRAINT PK_MergeID PRIMARY KEY NONCLUSTERED)"));
      merge.texts.push_back(Standard(
          db, std::string("CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric") + kCrLf + "GO"));
      merge.texts.push_back(Standard(db,
                                     "CREATE PROCEDURE spGeneric AS SELECT * FROM tblGeneric WHERE "
                                     "tblGeneric.fldRecordID<>3"));
      merge.texts.push_back(Standard(db, Lines({"CREATE FUNCTION Square(@x int)", "RETURNS int",
                                                "AS", "BEGIN", "  RETURN(@x*@x)", "END"})));
      merge.texts.push_back(Plain(db, "EXEC sp_addmergepublication  @publication='pubMerge'"));
      struct MergeArticle {
        const char* article;
        const char* source;
        const char* type;
      };
      static constexpr MergeArticle kArticles[] = {
          {"artTable", "tblGeneric", "table"},
          {"artView", "vwGeneric", "view schema only"},
          {"artStoredProc", "spGeneric", "proc schema only"}};
      for (const MergeArticle& a : kArticles) {
        merge.texts.push_back(Plain(
            db, std::string("EXEC sp_addmergearticle  @publication='pubMerge', @article='") +
                    a.article + "', @source_object='" + a.source + "', @type='" + a.type + "'"));
      }
      return {merge};
    }
  }
  return {};
}

std::vector<std::string> ReplicationDrops(Replication kind) {
  std::string db = NamesOf(kind).database;
  switch (kind) {
    case Replication::kTransactional:
      return {Plain(db, "EXEC sp_droppublication 'pubTransactional'"),
              Plain(db, "EXEC sp_droppublication 'pubQueuedTransactional'")};
    case Replication::kSnapshot:
      return {Plain(db, "EXEC sp_droppublication 'pubSnapshot'"),
              Plain(db, "EXEC sp_droppublication 'pubQueuedSnapshot'")};
    case Replication::kMerge:
      return {Plain(db, "EXEC sp_dropmergepublication 'pubMerge'")};
  }
  return {};
}

std::string ReplicationPublishOff(Replication kind) {
  ReplicationNames names = NamesOf(kind);
  return Server(std::string("EXEC sp_replicationdboption  @dbname='") + names.database +
                "', @optname='" + names.option + "', @value='false'");
}

RunResult CreateStandard(Engine& engine, const std::string& server) {
  Client client(engine, server);
  RunResult result;
  result.executed.push_back(StandardCreateDatabase());
  if ((result.error = client.Execute(StandardCreateDatabase()))) return result;
  return RunBuilders(client, StandardBuilders(), std::move(result));
}

RunResult DeleteStandard(Engine& engine, const std::string& server) {
  Client client(engine, server);
  RunResult result;
  if (!Exists(client, kStandardDatabase)) return result;
  result.executed.push_back(DropDatabase(kStandardDatabase));
  result.error = client.Execute(DropDatabase(kStandardDatabase));
  return result;
}

RunResult CreateReplication(Engine& engine, Replication kind, const std::string& server) {
  Client client(engine, server);
  RunResult result;
  ResultSet phyname;
  std::vector<std::string> setup = ReplicationSetup(kind, server, "");
  for (size_t i = 0; i < setup.size(); ++i) {
    if (i == 3) {
      // The data folder is everything before the master file's last backslash.
      phyname = client.Query(kPhysicalNameQuery);
      std::string file = phyname.rows.empty() ? "" : CellText(phyname.rows[0][0]);
      setup = ReplicationSetup(kind, server, file.substr(0, file.rfind('\\')));
    }
    result.executed.push_back(setup[i]);
    std::optional<SqlError> error = client.Execute(setup[i]);
    // Dropping a distributor that may not exist is allowed to fail.
    if (error && i != 1) {
      result.error = error;
      return result;
    }
  }
  return RunBuilders(client, ReplicationBuilders(kind), std::move(result));
}

RunResult DeleteReplication(Engine& engine, Replication kind, const std::string& server) {
  Client client(engine, server);
  RunResult result;
  std::string db = ReplicationDatabase(kind);
  if (!Exists(client, db)) return result;
  // The publications may already be gone; their drops may fail.
  for (const std::string& drop : ReplicationDrops(kind)) {
    result.executed.push_back(drop);
    client.Execute(drop);
  }
  for (const std::string& text : {ReplicationPublishOff(kind), DropDatabase(db)}) {
    result.executed.push_back(text);
    if ((result.error = client.Execute(text))) return result;
  }
  return result;
}

std::vector<std::string> AllDatasetBatches() {
  std::vector<std::string> texts{StandardCreateDatabase(), ExistenceQuery(kStandardDatabase),
                                 DropDatabase(kStandardDatabase), kPhysicalNameQuery};
  for (const BuilderTexts& builder : StandardBuilders())
    texts.insert(texts.end(), builder.texts.begin(), builder.texts.end());
  for (Replication kind :
       {Replication::kTransactional, Replication::kSnapshot, Replication::kMerge}) {
    for (const std::string& text :
         ReplicationSetup(kind, "TAVORA", "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data")) {
      texts.push_back(text);
    }
    for (const BuilderTexts& builder : ReplicationBuilders(kind)) {
      texts.insert(texts.end(), builder.texts.begin(), builder.texts.end());
    }
    for (const std::string& text : ReplicationDrops(kind)) texts.push_back(text);
    texts.push_back(ReplicationPublishOff(kind));
    texts.push_back(DropDatabase(ReplicationDatabase(kind)));
  }
  std::vector<std::string> batches;
  for (const std::string& text : texts) {
    for (std::string& batch : base::SplitBatches(text)) batches.push_back(std::move(batch));
  }
  return batches;
}

}  // namespace server::testing
