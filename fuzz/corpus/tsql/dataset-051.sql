
GRANT SELECT ON dbo.vwGeneric (fldInt, fldReal) TO public