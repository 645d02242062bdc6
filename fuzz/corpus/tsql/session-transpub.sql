USE master
CREATE DATABASE tavora_TransPubDataset
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
EXEC sp_replicationdboption  @dbname='tavora_TransPubDataset', @optname='publish', @value='true'
GO
USE tavora_TransPubDataset
CREATE TABLE tblTransactional (
fldRecordID INT CONSTRAINT PK_TransactionalID PRIMARY KEY NONCLUSTERED)
GO
USE tavora_TransPubDataset
GO
CREATE VIEW vwTransactional AS SELECT * FROM tblTransactional
GO
GO
USE tavora_TransPubDataset
GO
CREATE PROCEDURE spTransactional AS SELECT * FROM tblTransactional WHERE tblTransactional.fldRecordID<>3
GO
USE tavora_TransPubDataset
EXEC sp_addpublication  @publication='pubTransactional', @repl_freq='continuous'
GO
USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubTransactional', @article='artTable', @source_table='tblTransactional', @destination_owner='tkb'
GO
USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubTransactional', @article='artView', @source_table='tblTransactional', @destination_owner='tkb'
GO
USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubTransactional', @article='artStoredProc', @source_table='tblTransactional', @destination_owner='tkb'
GO
USE tavora_TransPubDataset
CREATE TABLE tblQueuedTransactional (
fldRecordID INT CONSTRAINT PK_QueuedTransactionalID PRIMARY KEY NONCLUSTERED)
GO
USE tavora_TransPubDataset
GO
CREATE VIEW vwQueuedTransactional AS SELECT * FROM tblQueuedTransactional
GO
GO
USE tavora_TransPubDataset
GO
CREATE PROCEDURE spQueuedTransactional AS SELECT * FROM tblQueuedTransactional WHERE tblQueuedTransactional.fldRecordID<>3
GO
USE tavora_TransPubDataset
EXEC sp_addpublication  @publication='pubQueuedTransactional', @repl_freq='continuous', @allow_queued_tran='true'
GO
USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubQueuedTransactional', @article='artTable', @source_table='tblQueuedTransactional', @destination_owner='tkb'
GO
USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubQueuedTransactional', @article='artView', @source_table='tblQueuedTransactional', @destination_owner='tkb'
GO
USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubQueuedTransactional', @article='artStoredProc', @source_table='tblQueuedTransactional', @destination_owner='tkb'
GO
USE master
SELECT Name FROM sysdatabases WHERE Name='tavora_TransPubDataset'
GO
USE tavora_TransPubDataset
EXEC sp_droppublication 'pubTransactional'
GO
USE tavora_TransPubDataset
EXEC sp_droppublication 'pubQueuedTransactional'
GO
USE master
EXEC sp_replicationdboption  @dbname='tavora_TransPubDataset', @optname='publish', @value='false'
GO
USE master
DROP DATABASE tavora_TransPubDataset
GO
