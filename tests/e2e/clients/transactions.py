# One Python client library (pymssql or pyodbc) against `tavora serve` with
# its default transaction settings: nothing is committed until commit().
# Prints what a second connection sees after each step.
#
#   python3 transactions.py LIBRARY PORT [abandon]
#
# "abandon" inserts a row without committing and ends the process without
# closing the connection, so that only the server can roll it back.
import os
import subprocess
import sys

library, port = sys.argv[1], sys.argv[2]

if library == 'pymssql':
    import pymssql

    def connect():
        return pymssql.connect(server='127.0.0.1', port=port, user='sa', password='',
                               tds_version='7.1')
elif library == 'pyodbc':
    import pyodbc

    def connect():
        return pyodbc.connect('DRIVER={SQL Server};SERVER=127.0.0.1,%s;UID=sa;PWD=;'
                              'TDS_Version=7.1' % port)
else:
    sys.exit('unknown library ' + library)


def rows(connection):
    cursor = connection.cursor()
    cursor.execute('SELECT i FROM t ORDER BY i')
    return [row[0] for row in cursor.fetchall()]


if sys.argv[3:] == ['abandon']:
    # Held until the end: a connection object that is freed rolls back.
    abandoned = connect()
    abandoned.cursor().execute('INSERT INTO t VALUES (4)')
    os._exit(0)

first = connect()
cursor = first.cursor()
cursor.execute('CREATE TABLE t (i int)')
first.commit()
cursor.execute('INSERT INTO t VALUES (1)')
first.rollback()
print('after rollback:', rows(first))
cursor.execute('INSERT INTO t VALUES (2)')
first.commit()
second = connect()
print('second connection:', rows(second))
cursor.execute('INSERT INTO t VALUES (3)')
first.close()
print('after close:', rows(second))
subprocess.run([sys.executable, __file__, library, port, 'abandon'], check=True, timeout=60)
print('after the process ended:', rows(second))
