USE master
CREATE DATABASE tavora_StandardDataset
GO
USE tavora_StandardDataset
GO
EXEC sp_fulltext_database
  @action='enable'
GO
USE tavora_StandardDataset
GO
EXEC sp_fulltext_catalog
  @ftcat='Catalog1'
, @action='create'
GO
USE tavora_StandardDataset
GO
CREATE DEFAULT defGeneric AS '800-555-1212'
GO
USE tavora_StandardDataset
GO
CREATE RULE rulGeneric AS @range >= $1000 AND @range < $20000
GO
USE tavora_StandardDataset
GO
EXEC sp_addtype udtGeneric, 'VARCHAR(32)', 'NOT NULL'
GO
USE tavora_StandardDataset
CREATE TABLE tblGeneric (
fldBigInt BIGINT,
fldBigInt_ComboBox BIGINT,
fldBigInt_ListBox BIGINT,
fldBinary BINARY,
fldBit BIT,
fldBit_CheckBox BIT,
fldBit_ComboBox BIT,
fldChar CHAR(32),
fldChar_ComboBox CHAR(32),
fldChar_ListBox CHAR(32),
fldDateTime DATETIME,
fldDecimal DECIMAL,
fldDecimal_ComboBox DECIMAL,
fldDecimal_ListBox DECIMAL,
fldFloat FLOAT,
fldFloat_ComboBox FLOAT,
fldFloat_ListBox FLOAT,
fldImage IMAGE,
fldInt INT,
fldInt_ComboBox INT,
fldInt_ListBox INT,
fldMoney MONEY,
fldNChar NCHAR(32),
fldNChar_ComboBox NCHAR(32),
fldNChar_ListBox NCHAR(32),
fldNText NTEXT,
fldNText_ComboBox NTEXT,
fldNText_ListBox NTEXT,
fldNumeric NUMERIC,
fldNumeric_ComboBox NUMERIC,
fldNumeric_ListBox NUMERIC,
fldNVarChar NVARCHAR(32),
fldNVarChar_ComboBox NVARCHAR(32),
fldNVarChar_ListBox NVARCHAR(32),
fldReal REAL,
fldReal_ComboBox REAL,
fldReal_ListBox REAL,
fldSmallDateTime SMALLDATETIME,
fldSmallInt SMALLINT,
fldSmallInt_ComboBox SMALLINT,
fldSmallInt_ListBox SMALLINT,
fldSmallMoney SMALLMONEY,
fldSQLVariant SQL_VARIANT,
fldText TEXT,
fldText_ComboBox TEXT,
fldText_ListBox TEXT,
fldTimestamp TIMESTAMP,
fldTinyInt TINYINT,
fldTinyInt_ComboBox TINYINT,
fldTinyInt_ListBox TINYINT,
fldUniqueIdentifier UNIQUEIDENTIFIER,
fldVarbinary VARBINARY,
fldVarchar VARCHAR(32),
fldVarchar_ComboBox VARCHAR(32),
fldVarchar_ListBox VARCHAR(32),
fldUserDefined udtGeneric,
fldComputed AS fldDummy,
fldDummy INT)
GO
INSERT INTO tblGeneric (fldBigInt,fldBigInt_ComboBox,fldBigInt_ListBox,fldBinary,fldBit,fldBit_CheckBox,fldBit_ComboBox,fldChar,fldChar_ComboBox,fldChar_ListBox,fldDateTime,fldDecimal,fldDecimal_ComboBox,fldDecimal_ListBox,fldFloat,fldFloat_ComboBox,fldFloat_ListBox,fldImage,fldInt,fldInt_ComboBox,fldInt_ListBox,fldMoney,fldNChar,fldNChar_ComboBox,fldNChar_ListBox,fldNText,fldNText_ComboBox,fldNText_ListBox,fldNumeric,fldNumeric_ComboBox,fldNumeric_ListBox,fldNVarChar,fldNVarChar_ComboBox,fldNVarChar_ListBox,fldReal,fldReal_ComboBox,fldReal_ListBox,fldSmallDateTime,fldSmallInt,fldSmallInt_ComboBox,fldSmallInt_ListBox,fldSmallMoney,fldSQLVariant,fldText,fldText_ComboBox,fldText_ListBox,fldTinyInt,fldTinyInt_ComboBox,fldTinyInt_ListBox,fldUniqueIdentifier,fldVarbinary,fldVarchar,fldVarchar_ComboBox,fldVarchar_ListBox,fldUserDefined,fldDummy) VALUES (17,17,17,17,0,0,0,'Alpha','Alpha','Alpha','01/01/2001',31.99,31.99,31.99,31.99,31.99,31.99,'c:\x.jpg',17,17,17,31.99,'Alpha','Alpha','Alpha','Alpha','Alpha','Alpha',17,17,17,'Alpha','Alpha','Alpha',31.99,31.99,31.99,'01/01/2001',17,17,17,31.99,'Alpha','Alpha','Alpha','Alpha',17,17,17,'{11111111-1111-1111-1111-111111111111}',17,'Alpha','Alpha','Alpha','Alpha',17)
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_Description'
, @value='This column stores bigint values.'
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldBigInt'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_Description'
, @value='This column stores binary values.'
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldBinary'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldBigInt_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldBigInt_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=106
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldBit_CheckBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldBit_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldChar_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldChar_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldDecimal_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldDecimal_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldFloat_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldFloat_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldInt_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldInt_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldNChar_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldNChar_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldNText_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldNText_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldNumeric_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldNumeric_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldNVarChar_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldNVarChar_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldReal_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldReal_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldSmallInt_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldSmallInt_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldText_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldText_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldTinyInt_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldTinyInt_ListBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldVarChar_ComboBox'
GO
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=110
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldVarChar_ListBox'
GO
USE tavora_StandardDataset
CREATE TABLE tblParent (
fldParentID INT CONSTRAINT PK_ParentID PRIMARY KEY NONCLUSTERED,
fldParentName VARCHAR(32)
  CONSTRAINT IX_ParentName UNIQUE NONCLUSTERED
  CONSTRAINT CK_ParentName CHECK ([fldParentName] <> 'Tallock'),
fldParentPhone VARCHAR(16),
fldParentFax VARCHAR(16))
GO
USE tavora_StandardDataset
CREATE INDEX IX_ParentPhone ON tblParent([fldParentPhone])
GO
USE tavora_StandardDataset
CREATE UNIQUE INDEX IX_ParentFax ON tblParent([fldParentFax])
GO
USE tavora_StandardDataset
GO
EXEC sp_fulltext_table
  @tabname='dbo.tblParent'
, @action='create'
, @ftcat='Catalog1'
, @keyname='PK_ParentID'
GO
USE tavora_StandardDataset
GO
EXEC sp_fulltext_column
  @tabname='dbo.tblParent'
, @colname='fldParentName'
, @action='add'
GO
USE tavora_StandardDataset
GO
EXEC sp_fulltext_column
  @tabname='dbo.tblParent'
, @colname='fldParentFax'
, @action='add'
GO
USE tavora_StandardDataset
CREATE TABLE tblChild (
fldChildID INT,
fldChildName VARCHAR(32),
fldParentID INT CONSTRAINT FK_Parent FOREIGN KEY REFERENCES tblParent(fldParentID))
GO
USE tavora_StandardDataset
GO
CREATE TRIGGER trgNewChild ON tblChild FOR INSERT AS EXEC master..xp_sendmail 'SalesMgr','A new child record was entered.'
GO
USE tavora_StandardDataset
GO
CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric
GO

GRANT SELECT ON dbo.vwGeneric (fldInt, fldReal) TO public
GO
GO
GRANT REFERENCES, DELETE ON vwGeneric TO public
GO
USE tavora_StandardDataset
GO
CREATE VIEW vwSchemaBound WITH SCHEMABINDING AS SELECT fldInt FROM dbo.tblGeneric
GO
GO
USE tavora_StandardDataset
GO
CREATE PROCEDURE spGeneric AS SELECT * FROM tblGeneric WHERE tblGeneric.fldInt = 7
GO
USE tavora_StandardDataset
GO
CREATE FUNCTION fnScalar(@X int)
RETURNS int
AS
BEGIN
  RETURN(@X*@X)
END
GO
USE tavora_StandardDataset
GO
CREATE FUNCTION fnEncryptedScalar(@X int)
RETURNS int
WITH ENCRYPTION
AS
BEGIN
  RETURN(@X*@X)
END
GO
USE tavora_StandardDataset
GO
CREATE FUNCTION fnSchemaBoundScalar(@X int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
  RETURN(SELECT MAX(fldInt) FROM dbo.tblGeneric)
END
GO
USE tavora_StandardDataset
GO
CREATE FUNCTION fnTableValued (@InEmpId nchar(5))
  RETURNS @retFindReports TABLE (empid nchar(5) primary key,
    empname nvarchar(50) NOT NULL,
    mgrid nchar(5),
    title nvarchar(30))
AS
BEGIN
  DECLARE @RowsAdded int
  DECLARE @reports TABLE (empid nchar(5) primary key,
    empname nvarchar(50) NOT NULL,
    mgrid nchar(5),
    title nvarchar(30),
    processed tinyint default 0)
  INSERT @reports
  SELECT empid, empname, mgrid, title, 0
  FROM employees
  WHERE empid = @InEmpId
  SET @RowsAdded = @@rowcount
  WHILE @RowsAdded > 0
  BEGIN
    UPDATE @reports
    SET processed = 1
    WHERE processed = 0
    INSERT @reports
    SELECT e.empid, e.empname, e.mgrid, e.title, 0
    FROM employees e, @reports r
    WHERE e.mgrid = r.empid AND e.mgrid <> e.empid AND r.processed = 1
    SET @RowsAdded = @@rowcount
    UPDATE @reports
    SET processed = 2
    WHERE processed = 1
  END
  INSERT @retFindReports
  SELECT empid, empname, mgrid, title
  FROM @reports
  RETURN
END
GO
USE master
SELECT Name FROM sysdatabases WHERE Name='tavora_StandardDataset'
GO
USE master
DROP DATABASE tavora_StandardDataset
GO
