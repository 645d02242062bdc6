USE master
CREATE DATABASE tavora_MergePubDataset
GO
USE master
exec sp_dropdistributor  @no_checks=1
GO
USE master
exec sp_adddistributor  @distributor='FUZZ', @password=P
GO
USE master
SELECT phyname FROM sysdevices WHERE name='master'
GO
USE master
exec sp_adddistributiondb  @database='distribution', @data_folder='C:\Program Files\Microsoft SQL Server\MSSQL\Data', @data_file='distribution.mdf', @data_file_size=2, @log_folder='C:\Program Files\Microsoft SQL Server\MSSQL\Data', @log_file='distribution.ldf', @log_file_size=0, @min_distretention=0, @max_distretention=72, @history_retention=48, @security_mode=1
GO
USE master
exec sp_adddistpublisher  @publisher='FUZZ', @distribution_db='distribution', @working_directory='C:\Program Files\Microsoft SQL Server\MSSQL\Data'
GO
USE master
EXEC sp_replicationdboption  @dbname='tavora_MergePubDataset', @optname='merge publish', @value='true'
GO
USE tavora_MergePubDataset
CREATE TABLE tblGeneric (
fldRecordID INT CONSTRAINT PK_MergeID PRIMARY KEY NONCLUSTERED)
GO
USE tavora_MergePubDataset
GO
CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric
GO
GO
USE tavora_MergePubDataset
GO
CREATE PROCEDURE spGeneric AS SELECT * FROM tblGeneric WHERE tblGeneric.fldRecordID<>3
GO
USE tavora_MergePubDataset
GO
CREATE FUNCTION Square(@x int)
RETURNS int
AS
BEGIN
  RETURN(@x*@x)
END
GO
USE tavora_MergePubDataset
EXEC sp_addmergepublication  @publication='pubMerge'
GO
USE tavora_MergePubDataset
EXEC sp_addmergearticle  @publication='pubMerge', @article='artTable', @source_object='tblGeneric', @type='table'
GO
USE tavora_MergePubDataset
EXEC sp_addmergearticle  @publication='pubMerge', @article='artView', @source_object='vwGeneric', @type='view schema only'
GO
USE tavora_MergePubDataset
EXEC sp_addmergearticle  @publication='pubMerge', @article='artStoredProc', @source_object='spGeneric', @type='proc schema only'
GO
USE master
SELECT Name FROM sysdatabases WHERE Name='tavora_MergePubDataset'
GO
USE tavora_MergePubDataset
EXEC sp_dropmergepublication 'pubMerge'
GO
USE master
EXEC sp_replicationdboption  @dbname='tavora_MergePubDataset', @optname='merge publish', @value='false'
GO
USE master
DROP DATABASE tavora_MergePubDataset
GO
