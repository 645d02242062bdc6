USE master
SELECT DB_NAME() AS here