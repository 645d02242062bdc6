# While one pyodbc connection holds an uncommitted insert, a second one
# connects (the driver sends BEGIN TRANSACTION), commits, rolls back and
# closes its own empty transaction. None of these touches a table, so none
# has to wait for the first connection.
#
#   python3 connect_while_held.py PORT
import os
import sys
import threading

import pyodbc

port = sys.argv[1]


def connect():
    return pyodbc.connect('DRIVER={SQL Server};SERVER=127.0.0.1,%s;UID=sa;PWD=;'
                          'TDS_Version=7.1' % port)


first = connect()
first.cursor().execute('CREATE TABLE t (i int)')
first.commit()
first.cursor().execute('INSERT INTO t VALUES (1)')


def second_connection():
    second = connect()
    print('connected', flush=True)
    second.commit()
    print('committed', flush=True)
    second.rollback()
    print('rolled back', flush=True)
    second.close()
    print('closed', flush=True)


thread = threading.Thread(target=second_connection, daemon=True)
thread.start()
thread.join(10)
if thread.is_alive():
    print('still waiting', flush=True)
# A thread stuck in the driver would keep the interpreter from ending.
os._exit(0)
