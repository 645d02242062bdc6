CREATE FUNCTION fnTableValued (@InEmpId nchar(5))
  RETURNS @retFindReports TABLE (empid nchar(5) primary key,
    empname nvarchar(50) NOT NULL,
    mgrid nchar(5),
    title nvarchar(30))
AS
BEGIN
  DECLARE @RowsAdded int
  DECLARE @reports TABLE (empid nchar(5) primary key,
    empname nvarchar(50) NOT NULL,
    mgrid nchar(5),
    title nvarchar(30),
    processed tinyint default 0)
  INSERT @reports
  SELECT empid, empname, mgrid, title, 0
  FROM employees
  WHERE empid = @InEmpId
  SET @RowsAdded = @@rowcount
  WHILE @RowsAdded > 0
  BEGIN
    UPDATE @reports
    SET processed = 1
    WHERE processed = 0
    INSERT @reports
    SELECT e.empid, e.empname, e.mgrid, e.title, 0
    FROM employees e, @reports r
    WHERE e.mgrid = r.empid AND e.mgrid <> e.empid AND r.processed = 1
    SET @RowsAdded = @@rowcount
    UPDATE @reports
    SET processed = 2
    WHERE processed = 1
  END
  INSERT @retFindReports
  SELECT empid, empname, mgrid, title
  FROM @reports
  RETURN
END