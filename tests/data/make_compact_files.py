# Writes the compact score files of tests/data/binary/ from docs/score-format.md alone (not
# from halvorix-prep), so that the format's description is tested as written:
#   python3 tests/data/make_compact_files.py
import os, struct
os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'binary'))
def pad8(n): return (n + 7) // 8 * 8
def write(path, coding, rows, means, resid, Z, missing=-999.0, table=None, kinds=None, names=None):
    nsnp, nsubj, p = len(rows), len(resid), len(Z)
    res = b''.join(struct.pack('<d', r) for r in resid)
    cov = b''.join(struct.pack('<d', v) for col in Z for v in col)
    body = b''; directory = b''
    if coding == 1:
        for row in rows:
            by = bytearray((nsubj + 3) // 4)
            for i, c in enumerate(row): by[i // 4] |= c << (2 * (i % 4))
            body += bytes(by)
    else:
        for row, kind in zip(rows, kinds):
            off = len(body)
            if kind == 1: b = b''.join(struct.pack('<H', x) for x in row)
            else: b = b''.join(struct.pack('<f', x) for x in row)
            b += b'\0' * (pad8(len(b)) - len(b))
            body += b; directory += struct.pack('<Q', off | (kind << 56))
    rows_bytes = len(body)
    body += b'\0' * (pad8(rows_bytes) - rows_bytes)
    mb = b''.join(struct.pack('<d', m) for m in means)
    tb = b''.join(struct.pack('<f', t) for t in (table or []))
    nm = ''.join(n + '\n' for n in names).encode()
    ro = 128 + 8 * nsubj + 8 * p * nsubj
    after = ro + pad8(rows_bytes)
    if coding == 1:
        do, mo, to, te = 0, after, 0, 0; no = mo + 8 * nsnp
    else:
        do = after; mo = do + 8 * nsnp; to = mo + 8 * nsnp; te = len(table); no = to + 4 * te
    h = b'\x89HSC\r\n\x1a\n' + struct.pack('<IIQQIIfI', 2, 128, nsnp, nsubj, coding, p, missing, 0)
    h += struct.pack('<QQQQQQQQQQ', 128, 128 + 8 * nsubj, ro, rows_bytes, do, mo, to, te, no, len(nm))
    assert len(h) == 128
    open(path, 'wb').write(h + res + cov + body + (directory if coding == 2 else b'') + mb + tb + nm)
resid = [0.5, -1.25, 2.0, -0.75, 1.5]
Z = [[1.0] * 5, [30, 40, 50, 60, 70]]
write('compact_genotypes.dat', 1, [[0, 1, 2, 3, 1], [2, 2, 2, 2, 2], [3, 0, 1, 1, 0]], [0.75, 2.0, 0.5], resid, Z, names=['rs1', 'rs2', 'rs3'])
write('compact_dosages.dat', 2, [[0, 1, 0xffff, 2, 1], [0.25, float('nan'), 1.75, 2.0, 0.5]], [0.8, 1.125], resid, Z,
      table=[0.5, 1.25, 2.0], kinds=[1, 2], names=['d1', 'd2'])
# Bad files: an unknown row coding, and a dosage index beyond the table.
b = bytearray(open('compact_genotypes.dat', 'rb').read()); b[32] = 7; open('compact_bad_coding.dat', 'wb').write(b)
write('compact_index_beyond.dat', 2, [[0, 1, 9, 2, 1], [0.25, float('nan'), 1.75, 2.0, 0.5]], [0.8, 1.125], resid, Z,
      table=[0.5, 1.25, 2.0], kinds=[1, 2], names=['d1', 'd2'])
