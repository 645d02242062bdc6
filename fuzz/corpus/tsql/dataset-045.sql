EXEC sp_fulltext_table
  @tabname='dbo.tblParent'
, @action='create'
, @ftcat='Catalog1'
, @keyname='PK_ParentID'