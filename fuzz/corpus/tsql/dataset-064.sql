USE master
SELECT phyname FROM sysdevices WHERE name='master'