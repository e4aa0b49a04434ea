#!/usr/bin/env python3
"""The window description compiler: what it writes for each statement, and
that a mistake in a description stops the build with the line named."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

COMPILER = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), '..', '..', '..', 'runtime', 'forms', 'tools', 'form_compile.py')


def compile_form(text):
    with tempfile.TemporaryDirectory() as d:
        form = os.path.join(d, 'w.form')
        with open(form, 'w', encoding='utf-8') as f:
            f.write(text)
        with open(os.path.join(d, 'pic.bin'), 'wb') as f:
            f.write(b'\x01\x02\x03')
        out = [os.path.join(d, n) for n in ('w.cpp', 'w.h', 'w.bin')]
        r = subprocess.run([sys.executable, COMPILER, form, out[0], out[1], 'kForm', '--entry-size', '4',
                            '--bin', out[2]], capture_output=True, text=True)
        block = None
        if r.returncode == 0:
            with open(out[2], 'rb') as f:
                block = f.read()
        return r.returncode, r.stderr, block


def words(b, at, n):
    return list(struct.unpack_from('<%dI' % n, b, at))


BASE = '''subroutines First Second
window 0x52010001
unit 0x06010000 window
    rect 1 2 3 4
'''


class FormCompile(unittest.TestCase):
    def test_window_table_and_unit_list(self):
        rc, err, b = compile_form(BASE + 'unit 0x16000001 button "b"\n    flags visible tabstop\n'
                                  '    on 0 Second\n    on -1 none\n    data caption="OK"\n')
        self.assertEqual(rc, 0, err)
        self.assertEqual(words(b, 0, 3), [8, 0x52010001, 0])
        self.assertEqual(words(b, 28, 1), [2])  # unit count
        unit_list = 36
        self.assertEqual(words(b, unit_list, 2), [0x06010000, 0x16000001])
        # Second record: type, link, 16 reserved, "b\0", "\0".
        second = unit_list + 16 + words(b, unit_list + 12, 1)[0] + 4
        self.assertEqual(words(b, second, 2), [0x0001000B, 0])
        self.assertEqual(b[second + 24:second + 27], b'b\x00\x00')
        fixed = second + 27
        # no children, pointer data of 4 zero bytes, empty tag
        after = fixed + 32 + 8 + 1
        self.assertEqual(words(b, after, 4), [0, 5, 0, 2])
        self.assertEqual(struct.unpack_from('<iIiI', b, after + 16), (0, 4, -1, 0xFFFFFFFF))
        data = after + 32 + 20
        self.assertEqual(words(b, data, 4), [1, 0, 1, 1])  # version 1, defaults
        self.assertEqual(b[data + 24:], b'\x02\x00\x00\x00OK')

    def test_texts_are_stored_as_gbk_and_files_as_bytes(self):
        rc, err, b = compile_form(BASE + 'unit 0x16000001 picbox "图片框1"\n    data picture=@pic.bin\n')
        self.assertEqual(rc, 0, err)
        self.assertIn('图片框1'.encode('gbk') + b'\0', b)
        self.assertTrue(b.endswith(b'\x03\x00\x00\x00\x01\x02\x03' + bytes(8)))

    def test_mistakes_name_their_line(self):
        cases = [
            ('unknown statement', 'colour red\n', 6),
            ('unknown data field', 'data colour=1\n', 6),
            ('unbound subroutine', 'on 0 Third\n', 6),
            ('rect with three numbers', 'rect 1 2 3\n', 6),
            ('not a number', 'tab x\n', 6),
            ('unknown flag', 'flags shown\n', 6),
            ('text without GBK form', 'tag "\U0001F600"\n', 6),
            ('missing picture file', 'data picture=@nothing.bin\n', 6),
        ]
        for what, line, line_no in cases:
            rc, err, _ = compile_form(BASE + 'unit 0x16000001 label\n' + line)
            self.assertEqual(rc, 1, what)
            self.assertIn('w.form:%d:' % line_no, err, what)


if __name__ == '__main__':
    unittest.main()
