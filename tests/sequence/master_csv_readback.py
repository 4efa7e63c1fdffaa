"""The master file of `kalibron sequence`, read back by Python's csv module:
every record must give back the table's cells exactly, whatever the names
hold (commas, quotes, blanks, tabs, line breaks, non-ASCII letters).

Usage: master_csv_readback.py PATH_TO_KALIBRON"""
import csv
import os
import subprocess
import sys
import tempfile

DAY = 1219795200  # 2008-08-27 00:00:00 UTC; run with TZ=UTC

NAMES = ['0808_27 a,b-S1', '0808_27"q"x-S2', '0808_27 \u017c\u00f3\u0142w 3', '0808_27\ttab4',
         '0808_27line\nbreak5', '0808_27""-S6']


def display(name):
    return name if len(name) < 3 else name[:-3] + '     ' + name[-2:]


def main():
    tool = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        for i, name in enumerate(NAMES):
            path = os.path.join(folder, name + '.env')
            with open(path, 'w') as f:
                f.write('x')
            os.utime(path, (DAY + 600 * i, DAY + 600 * i))
        values = os.path.join(folder, 'values.tab')
        with open(values, 'w') as f:
            f.write('1\t1000\n3\t980\n6\t950\n')
        master = os.path.join(folder, 'out.csv')
        run = subprocess.run([tool, 'sequence', '--day', '0808_27', '--ext', 'env', '--values', values,
                              '--master', master, folder], capture_output=True)
        assert run.returncode == 0, run.stderr
        with open(master, newline='', encoding='utf-8') as f:
            records = list(csv.reader(f))
        raw = open(master, 'rb').read()
    assert raw.endswith(b'\r\n'), 'records end with CR LF'
    # The titles, six files of the day, and the values file.
    assert len(records) == 8, records
    assert records[0][:10] == ['', 'File name', 'Typ', 'Time', 'Time', 'STD c/s', 'Lin. Interp.', 'C.I.',
                               'Log. Interp.', 'Poly2 Inter.'], records[0]
    for row, name in enumerate(NAMES, start=1):
        record = records[row]
        assert len(record) == 14, record
        assert record[0] == str(row), record
        assert record[1] == display(name), (record[1], display(name))
        assert record[2] == ('Std' if '-S' in name[:-1] else ''), record
        assert record[4] == str(600 * (row - 1) + 1), record
        float(record[6]), float(record[9])  # every row has the fitted values
    assert records[7] == ['7'] + [''] * 13, records[7]
    print('ok: %d records read back' % len(records))


if __name__ == '__main__':
    main()
