# pyodbc's catalog functions against `tavora serve`, over a small database
# this script makes: each prints what a client would read from it. Then
# datetimes with milliseconds, which pyodbc sends only as sp_datatype_info
# describes the type.
#
#   python3 catalog.py PORT
import datetime
import sys

import pyodbc

port = sys.argv[1]
connection = pyodbc.connect('DRIVER={SQL Server};SERVER=127.0.0.1,%s;UID=sa;PWD=;'
                            'TDS_Version=7.1' % port, autocommit=True)
cursor = connection.cursor()
for statement in [
        'CREATE DATABASE shop',
        'USE shop',
        'CREATE TABLE customer (id int IDENTITY(1, 1) CONSTRAINT pk_customer PRIMARY KEY, '
        'name nvarchar(40) NOT NULL, joined datetime NULL, credit decimal(9, 2) NULL)',
        'CREATE TABLE orders (customer_id int NOT NULL, line smallint NOT NULL, '
        'note varchar(200) NULL, CONSTRAINT pk_orders PRIMARY KEY (customer_id, line), '
        'CONSTRAINT fk_orders_customer FOREIGN KEY (customer_id) REFERENCES customer (id))',
        'CREATE INDEX ix_orders_note ON orders (note)',
        'CREATE PROCEDURE add_customer @name nvarchar(40), @id int OUTPUT AS '
        'INSERT INTO customer (name) VALUES (@name) SET @id = SCOPE_IDENTITY()',
]:
    cursor.execute(statement)

print('tables:', [(r.table_name, r.table_type) for r in cursor.tables(tableType='TABLE')])
print('columns:', [(r.column_name, r.type_name, r.column_size, r.nullable)
                   for r in cursor.columns(table='customer')])
print('primary key:', [(r.column_name, r.key_seq, r.pk_name)
                       for r in cursor.primaryKeys('orders')])
print('foreign key:', [(r.pktable_name, r.pkcolumn_name, r.fktable_name, r.fkcolumn_name,
                        r.fk_name) for r in cursor.foreignKeys(table='customer')])
print('statistics:', [(r.index_name, r.non_unique, r.column_name)
                      for r in cursor.statistics('orders')])
print('row id:', [(r.column_name, r.type_name) for r in cursor.rowIdColumns('customer')])
print('procedures:', [r.procedure_name for r in cursor.procedures()])
print('procedure columns:', [(r.column_name, r.column_type, r.type_name)
                             for r in cursor.procedureColumns(procedure='add_customer')])
types = [(r.type_name, r.data_type, r.column_size) for r in cursor.getTypeInfo()]
print('type info:', len(types), [t for t in types if t[0] in ('datetime', 'int identity')])

# fast_executemany is left out: with Debian's FreeTDS ODBC driver it
# crashes inside the driver while binding the parameter array, before
# anything is sent to the server.
cursor.executemany('INSERT INTO customer (name, joined, credit) VALUES (?, ?, ?)',
                   [('ann', datetime.datetime(2004, 2, 29, 13, 45, 30, 123000), 10.5),
                    ('bob', None, None)])
print('inserted:', [tuple(r) for r in cursor.execute(
    'SELECT id, name, joined FROM customer ORDER BY id').fetchall()])
stamp = datetime.datetime(2005, 5, 3, 23, 18, 38, 997000)
print('milliseconds:', cursor.execute('SELECT ?', stamp).fetchone()[0] == stamp)
