EXEC sp_fulltext_column
  @tabname='dbo.tblParent'
, @colname='fldParentFax'
, @action='add'