EXEC sp_fulltext_catalog
  @ftcat='Catalog1'
, @action='create'