# SPDX-License-Identifier: MIT
# A session built from docs/session-format.md's tables alone, with none of
# the program's own writing code: the header byte by byte, the records as
# tags and LEB128 varints, zigzag changes, zlib. The renderer replays it to
# the picture of the same run made directly; a bare end mark without its
# time is refused, as the document says the end record has one.
#   python3 session_from_document.py build/tambrel-render
import os
import struct
import subprocess
import sys
import tempfile
import zlib

render = sys.argv[1]


def varint(v):
    out = bytearray()
    while v >= 0x80:
        out.append(v & 0x7F | 0x80)
        v >>= 7
    out.append(v)
    return bytes(out)


def zigzag(v):
    return (v << 1) ^ (v >> 63)


def session(seed, records):
    version = b'doc'
    header = b'\x89TAMBREL' + struct.pack('<HB', 1, len(version)) + version + struct.pack('<IHHB', seed, 596, 508, 0)
    return header + zlib.compress(records)


END, PASS, COMMAND, POINTER = 0, 1, 2, 3
BOUNCY = 1003  # the second mode button
# Press the button, then three passes 10 ms apart, each reading the pointer
# at client (105, 105): the canvas's (100, 100). The session ends 10 ms
# after the last pass.
records = bytes([COMMAND]) + varint(BOUNCY) + varint(0) + varint(0)
x = y = 0
for step in (0, 10, 10):
    records += bytes([PASS]) + varint(step) + bytes([POINTER]) + varint(zigzag(105 - x)) + varint(zigzag(105 - y))
    x, y = 105, 105
ended = records + bytes([END]) + varint(10)

with tempfile.TemporaryDirectory() as tmp:
    def path(name):
        return os.path.join(tmp, name)

    open(path('doc.tambrel'), 'wb').write(session(9, ended))
    subprocess.run([render, '--replay', path('doc.tambrel'), '--out', path('doc.png')], check=True)
    subprocess.run([render, '--seed', '9', '--mode', 'bouncy', '--frames', '3', '--pointer', '100,100',
                    '--out', path('direct.png')], check=True)
    if open(path('doc.png'), 'rb').read() != open(path('direct.png'), 'rb').read():
        sys.exit('FAIL: the session built from the document replays to another picture')
    open(path('bare.tambrel'), 'wb').write(session(9, records + bytes([END])))
    bare = subprocess.run([render, '--replay', path('bare.tambrel'), '--out', path('bare.png')], capture_output=True, text=True)
    if bare.returncode != 2 or 'end mark' not in bare.stderr:
        sys.exit(f'FAIL: a bare end mark: exit status {bare.returncode}, {bare.stderr.strip()}')
print('ok a session built from the document alone replays to the run it describes')
