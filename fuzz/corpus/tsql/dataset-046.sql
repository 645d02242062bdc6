EXEC sp_fulltext_column
  @tabname='dbo.tblParent'
, @colname='fldParentName'
, @action='add'