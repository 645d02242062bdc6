USE master
exec sp_adddistpublisher  @publisher='FUZZ', @distribution_db='distribution', @working_directory='C:\Program Files\Microsoft SQL Server\MSSQL\Data'