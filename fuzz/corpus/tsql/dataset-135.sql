USE master
exec sp_adddistributor  @distributor='TAVORA', @password=P