# Two pyodbc connections (autocommit off, the default): while the first holds
# an uncommitted insert, the second connects and ends its own empty
# transactions at once (the driver's BEGIN, COMMIT and ROLLBACK touch no
# table), but its SELECT waits -- until its LOCK_TIMEOUT, or without one until
# the first commits.
#
#   python3 lock_wait.py PORT
import os
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
first.cursor().execute('INSERT INTO t VALUES (1)')

connections = []


def connect_and_end_transactions():
    second = connect()
    second.commit()
    second.rollback()
    connections.append(second)


thread = threading.Thread(target=connect_and_end_transactions, daemon=True)
thread.start()
thread.join(10)
if thread.is_alive():
    print('connecting waits for the first connection')
    # A thread stuck in the driver would keep the interpreter from ending.
    os._exit(0)
reader = connections[0].cursor()

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
