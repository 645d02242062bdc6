CREATE FUNCTION Square(@x int)
RETURNS int
AS
BEGIN
  RETURN(@x*@x)
END