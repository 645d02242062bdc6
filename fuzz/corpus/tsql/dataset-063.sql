USE master
exec sp_adddistributor  @distributor='FUZZ', @password=P