# pyodbc passes `?` values as parameters of a prepared call (sp_prepexec),
# the way most of its users write statements.
#
#   python3 parameters.py PORT
import decimal
import sys

import pyodbc

port = sys.argv[1]
connection = pyodbc.connect('DRIVER={SQL Server};SERVER=127.0.0.1,%s;UID=sa;PWD=;'
                            'TDS_Version=7.1' % port)
cursor = connection.cursor()
cursor.execute('CREATE TABLE p (i int, s varchar(20), m decimal(10, 2))')
cursor.execute('INSERT INTO p VALUES (?, ?, ?)', 1, "it's", decimal.Decimal('12.34'))
connection.commit()
cursor.execute('SELECT i, s, m FROM p WHERE i = ?', 1)
print(cursor.fetchall())
