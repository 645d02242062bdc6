USE master
SELECT Name FROM sysdatabases WHERE Name='tavora_MergePubDataset'