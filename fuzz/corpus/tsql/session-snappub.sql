USE master
CREATE DATABASE tavora_ReplicationDataset
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
EXEC sp_replicationdboption  @dbname='tavora_ReplicationDataset', @optname='publish', @value='true'
GO
USE tavora_ReplicationDataset
CREATE TABLE tblSnapshot (
fldRecordID INT CONSTRAINT PK_SnapshotID PRIMARY KEY NONCLUSTERED)
GO
USE tavora_ReplicationDataset
GO
CREATE VIEW vwSnapshot AS SELECT * FROM tblSnapshot
GO
GO
USE tavora_ReplicationDataset
GO
CREATE PROCEDURE spSnapshot AS SELECT * FROM tblSnapshot WHERE tblSnapshot.fldRecordID<>3
GO
USE tavora_ReplicationDataset
EXEC sp_addpublication  @publication='pubSnapshot', @repl_freq='snapshot'
GO
USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubSnapshot', @article='artTable', @source_table='tblSnapshot', @destination_owner='tkb'
GO
USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubSnapshot', @article='artView', @source_table='tblSnapshot', @destination_owner='tkb'
GO
USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubSnapshot', @article='artStoredProc', @source_table='tblSnapshot', @destination_owner='tkb'
GO
USE tavora_ReplicationDataset
CREATE TABLE tblQueuedSnapshot (
fldRecordID INT CONSTRAINT PK_QueuedSnapshotID PRIMARY KEY NONCLUSTERED)
GO
USE tavora_ReplicationDataset
GO
CREATE VIEW vwQueuedSnapshot AS SELECT * FROM tblQueuedSnapshot
GO
GO
USE tavora_ReplicationDataset
GO
CREATE PROCEDURE spQueuedSnapshot AS SELECT * FROM tblQueuedSnapshot WHERE tblQueuedSnapshot.fldRecordID<>3
GO
USE tavora_ReplicationDataset
EXEC sp_addpublication  @publication='pubQueuedSnapshot', @repl_freq='snapshot', @allow_queued_tran='true'
GO
USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubQueuedSnapshot', @article='artTable', @source_table='tblQueuedSnapshot', @destination_owner='tkb'
GO
USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubQueuedSnapshot', @article='artView', @source_table='tblQueuedSnapshot', @destination_owner='tkb'
GO
USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubQueuedSnapshot', @article='artStoredProc', @source_table='tblQueuedSnapshot', @destination_owner='tkb'
GO
USE master
SELECT Name FROM sysdatabases WHERE Name='tavora_ReplicationDataset'
GO
USE tavora_ReplicationDataset
EXEC sp_droppublication 'pubSnapshot'
GO
USE tavora_ReplicationDataset
EXEC sp_droppublication 'pubQueuedSnapshot'
GO
USE master
EXEC sp_replicationdboption  @dbname='tavora_ReplicationDataset', @optname='publish', @value='false'
GO
USE master
DROP DATABASE tavora_ReplicationDataset
GO
