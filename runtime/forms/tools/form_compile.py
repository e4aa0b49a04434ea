#!/usr/bin/env python3
"""Turns a readable window description (.form) into the program's stored
FormBlock, emitted as a C++ source with a byte array and a header.

Usage: form_compile.py FORM OUT_CPP OUT_H SYMBOL [--entry-size N] [--bin OUT_BIN]

The description, one statement per line ('#' starts a comment, texts are
UTF-8 and stored as GBK):

  subroutines NAME...            the program's subroutine table, in order
  window ID [WORD1 WORD2]        starts a window (words default 0)
  unit ID TYPE ["NAME"]          starts a unit of the current window; TYPE is
                                 window, label, picbox, editbox, button,
                                 htmlviewer, or a number (library << 16 | type)
  rect LEFT TOP WIDTH HEIGHT
  flags visible|disabled|tabstop...
  tab N                          tab order
  parent ID / link ID / tag "TEXT" / pointer N
  on EVENT SUBROUTINE            an event binding ("none" for no handler)
  data KEY=VALUE...              the unit's own data, written whole in the
                                 type's newest version with these values
                                 over its defaults; VALUE is a number, a text,
                                 or @PATH for bytes of a file (relative to the
                                 .form file). Without 'data' nothing is stored
                                 and the unit takes its type's defaults.

A handler is stored as the subroutine's index times the entry size of the
program's subroutine table (4 on the shipped 32-bit build).
"""
import os
import shlex
import struct
import sys

TYPES = {
    'window': 0x00010001, 'editbox': 0x00010005, 'picbox': 0x00010006,
    'label': 0x0001000A, 'button': 0x0001000B, 'htmlviewer': 0x00030001,
}

# Unit-type data layouts, newest version: (version, [(field, kind, default)]).
GREY, WHITE, FACE = 0x808080, 0xFFFFFF, 0xFF000000
LAYOUTS = {
    'label': (2, [
        ('effect', 'u32', 0), ('gradient_width', 'u32', 8), ('border', 'u32', 0),
        ('border_color1', 'u32', GREY), ('border_color2', 'u32', WHITE), ('border_color3', 'u32', GREY),
        ('text_color', 'u32', 0), ('background', 'u32', FACE), ('picture_mode', 'u32', 1),
        ('gradient_mode', 'u32', 0), ('gradient_color1', 'u32', GREY), ('gradient_color2', 'u32', WHITE),
        ('gradient_color3', 'u32', GREY), ('align', 'u32', 0), ('valign', 'u32', 1), ('wrap', 'u32', 0),
        ('font', 'bytes', b''), ('picture', 'bytes', b''), ('caption', 'text', '标签'),
        ('data_source', 'text', ''), ('data_column', 'text', '')]),
    'button': (1, [
        ('kind', 'u32', 0), ('align', 'u32', 1), ('valign', 'u32', 1),
        ('picture', 'bytes', b''), ('font', 'bytes', b''), ('caption', 'text', '按钮')]),
    'editbox': (2, [
        ('border', 'u32', 1), ('text_color', 'u32', 0), ('background', 'u32', WHITE),
        ('hide_selection', 'u32', 1), ('max_length', 'u32', 0), ('multiline', 'u32', 0),
        ('scrollbars', 'u32', 0), ('align', 'u32', 0), ('input_mode', 'u32', 0),
        ('password_char', 'u16', 42), ('letter_case', 'u32', 0), ('spin', 'u32', 0),
        ('spin_lower', 'u32', 0), ('spin_upper', 'u32', 100), ('selection_start', 'u32', 0),
        ('selection_length', 'u32', 0), ('font', 'bytes', b''), ('content', 'text', ''),
        ('data_source', 'text', ''), ('data_column', 'text', '')]),
    'picbox': (2, [
        ('border', 'u32', 0), ('background', 'u32', FACE), ('mode', 'u32', 0), ('animate', 'u32', 1),
        ('picture', 'bytes', b''), ('data_source', 'text', ''), ('data_column', 'text', '')]),
}

FLAG_BITS = {'visible': 1, 'disabled': 2, 'tabstop': 4}


class FormError(Exception):
    pass


def number(text):
    try:
        return int(text, 0)
    except ValueError:
        raise FormError('not a number: %r' % text)


def gbk(text):
    try:
        return text.encode('gbk')
    except UnicodeEncodeError:
        raise FormError('text has no GBK form: %r' % text)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def counted(b):
    return u32(len(b)) + b


def inline(text):
    b = gbk(text)
    if b'\0' in b:
        raise FormError('a name or tag cannot hold NUL')
    return b + b'\0'


def unit_data(type_name, pairs, base_dir):
    if type_name not in LAYOUTS:
        raise FormError('no data layout for unit type %r' % type_name)
    version, fields = LAYOUTS[type_name]
    known = {f[0]: f for f in fields}
    values = {}
    for key, raw in pairs:
        if key not in known:
            raise FormError('unknown %s data field %r' % (type_name, key))
        kind = known[key][1]
        if kind in ('u32', 'u16'):
            values[key] = number(raw)
        elif kind == 'text':
            values[key] = raw
        elif raw.startswith('@'):
            with open(os.path.join(base_dir, raw[1:]), 'rb') as f:
                values[key] = f.read()
        else:
            values[key] = gbk(raw)
    out = u32(version)
    for name, kind, default in fields:
        v = values.get(name, default)
        if kind == 'u32':
            out += u32(v)
        elif kind == 'u16':
            out += struct.pack('<H', v & 0xFFFF)
        elif kind == 'bytes':
            out += counted(v)
        else:
            out += counted(gbk(v))
    return out


class Unit:
    def __init__(self, uid, type_name, type_id, name):
        self.id, self.type_name, self.type_id, self.name = uid, type_name, type_id, name
        self.rect = (0, 0, 0, 0)
        self.flags = 0
        self.tab = 0
        self.parent = 0
        self.link = 0
        self.tag = ''
        self.pointer = 0
        self.bindings = []
        self.data = b''

    def record(self):
        r = u32(self.type_id) + u32(self.link) + bytes(16) + inline(self.name) + inline('')
        r += u32(0) + b''.join(struct.pack('<i', v) for v in self.rect) + u32(0)
        r += u32(self.parent) + u32(0)  # no children
        r += counted(u32(self.pointer)) + inline(self.tag)
        r += u32(0) + u32(self.flags) + u32(self.tab) + u32(len(self.bindings))
        for event, handler in self.bindings:
            r += struct.pack('<i', event) + u32(handler)
        return r + bytes(20) + self.data


class Window:
    def __init__(self, wid, word1=0, word2=0):
        self.id, self.word1, self.word2 = wid, word1, word2
        self.units = []

    def record(self):
        ids = b''.join(u32(u.id) for u in self.units)
        offsets, entries = b'', b''
        for u in self.units:
            offsets += u32(len(entries))
            entries += counted(u.record())
        unit_list = ids + offsets + entries
        return (u32(self.word1) + u32(self.word2) + counted(b'') + counted(b'') +
                u32(len(self.units)) + counted(unit_list))


def parse(path, entry_size):
    base_dir = os.path.dirname(os.path.abspath(path))
    subroutines, windows = [], []
    unit = None
    with open(path, encoding='utf-8') as f:
        for line_no, line in enumerate(f, 1):
            try:
                words = shlex.split(line, comments=True)
                if not words:
                    continue
                op, args = words[0], words[1:]
                if op == 'subroutines':
                    subroutines = args
                elif op == 'window':
                    windows.append(Window(number(args[0]), *(number(a) for a in args[1:3])))
                    unit = None
                elif op == 'unit':
                    if not windows:
                        raise FormError('unit before any window')
                    type_name = args[1]
                    type_id = TYPES[type_name] if type_name in TYPES else number(type_name)
                    unit = Unit(number(args[0]), type_name, type_id, args[2] if len(args) > 2 else '')
                    inline(unit.name)
                    windows[-1].units.append(unit)
                elif unit is None:
                    raise FormError('%r outside a unit' % op)
                elif op == 'rect':
                    if len(args) != 4:
                        raise FormError('rect takes left top width height')
                    unit.rect = tuple(number(a) for a in args)
                elif op == 'flags':
                    for a in args:
                        if a not in FLAG_BITS:
                            raise FormError('unknown flag %r' % a)
                        unit.flags |= FLAG_BITS[a]
                elif op in ('tab', 'parent', 'link', 'pointer'):
                    setattr(unit, op, number(args[0]))
                elif op == 'tag':
                    unit.tag = args[0]
                    inline(unit.tag)
                elif op == 'on':
                    event, target = number(args[0]), args[1]
                    if target == 'none':
                        handler = 0xFFFFFFFF
                    elif target in subroutines:
                        handler = subroutines.index(target) * entry_size
                    else:
                        raise FormError('subroutine %r is not in the subroutines list' % target)
                    unit.bindings.append((event, handler))
                elif op == 'data':
                    pairs = []
                    for a in args:
                        if '=' not in a:
                            raise FormError('data takes KEY=VALUE, got %r' % a)
                        pairs.append(tuple(a.split('=', 1)))
                    unit.data = unit_data(unit.type_name, pairs, base_dir)
                else:
                    raise FormError('unknown statement %r' % op)
            except (FormError, IndexError, KeyError, OSError) as e:
                raise FormError('%s:%d: %s' % (path, line_no, e))
    return subroutines, windows


def form_block(windows):
    if not windows:
        return b''
    out = u32(8 * len(windows)) + b''.join(u32(w.id) for w in windows) + bytes(4 * len(windows))
    return out + b''.join(w.record() for w in windows)


def emit(block, subroutines, symbol, form_path, out_cpp, out_h):
    header_name = os.path.basename(out_h)
    note = '// Generated from %s by form_compile.py; edit that file, not this one.\n' % os.path.basename(form_path)
    lines = []
    for i in range(0, len(block), 16):
        lines.append('    ' + ', '.join('0x%02X' % b for b in block[i:i + 16]) + ',')
    with open(out_cpp, 'w') as f:
        f.write(note + '#include "%s"\n\n' % header_name)
        f.write('alignas(4) const uint8_t %s[%d] = {\n%s\n};\n' % (symbol, max(len(block), 1), '\n'.join(lines)))
        f.write('const uint32_t %sSize = %d;\n' % (symbol, len(block)))
    with open(out_h, 'w') as f:
        f.write(note + '#pragma once\n\n#include <cstdint>\n\n')
        f.write('extern const uint8_t %s[];\nextern const uint32_t %sSize;\n\n' % (symbol, symbol))
        f.write('// Order of the program\'s subroutine table that the stored handlers index.\n')
        f.write('enum %sSubroutine : uint32_t {\n' % (symbol[1:] if symbol.startswith('k') else symbol))
        for i, name in enumerate(subroutines):
            f.write('    %sSub%s = %d,\n' % (symbol, name, i))
        f.write('    %sSubroutineCount = %d,\n};\n' % (symbol, len(subroutines)))


def main(argv):
    entry_size, out_bin, rest = 4, None, []
    i = 0
    while i < len(argv):
        if argv[i] == '--entry-size':
            entry_size, i = int(argv[i + 1]), i + 2
        elif argv[i] == '--bin':
            out_bin, i = argv[i + 1], i + 2
        else:
            rest.append(argv[i])
            i += 1
    if len(rest) != 4:
        sys.stderr.write(__doc__)
        return 2
    form_path, out_cpp, out_h, symbol = rest
    try:
        subroutines, windows = parse(form_path, entry_size)
    except FormError as e:
        sys.stderr.write('form_compile: %s\n' % e)
        return 1
    block = form_block(windows)
    emit(block, subroutines, symbol, form_path, out_cpp, out_h)
    if out_bin:
        with open(out_bin, 'wb') as f:
            f.write(block)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
