# Two pyodbc connections (autocommit off, the default): while the first holds
# an uncommitted insert, the second's SELECT waits -- until its LOCK_TIMEOUT,
# or without one until the first commits.
#
#   python3 lock_wait.py PORT
import sys
import threading
import time

import pyodbc

port = sys.argv[1]


def connect():
    return pyodbc.connect('DRIVER={SQL Server};SERVER=127.0.0.1,%s;UID=sa;PWD=;'
                          'TDS_Version=7.1' % port)


first = connect()
first.cursor().execute('CREATE TABLE t (i int)')
first.commit()
# Connected before the insert: the BEGIN TRANSACTION the driver sends on
# connect would itself wait for the first connection's commit.
second = connect()
reader = second.cursor()
first.cursor().execute('INSERT INTO t VALUES (1)')

reader.execute('SET LOCK_TIMEOUT 500')
start = time.monotonic()
try:
    reader.execute('SELECT i FROM t')
    print('did not wait:', reader.fetchall())
except pyodbc.Error as e:
    print('error:', e.args[-1])
print('waited for LOCK_TIMEOUT:', 0.4 <= time.monotonic() - start < 10)

reader.execute('SET LOCK_TIMEOUT -1')
seen = []


def read():
    reader.execute('SELECT i FROM t')
    seen.extend(row[0] for row in reader.fetchall())


thread = threading.Thread(target=read, daemon=True)
thread.start()
thread.join(1.0)
print('waiting before the commit:', thread.is_alive())
first.commit()
thread.join(30)
print('after the commit:', 'still waiting' if thread.is_alive() else seen)
