#!/usr/bin/env python3
"""Writes the hand-made seeds of tests/fuzz/corpus in queue_fuzz's input format.

Each seed is one situation the queue and the program have to get right; the
fuzzer starts from them and the replay test runs them. Run from anywhere:
tests/fuzz/make_corpus.py. Inputs the fuzzer found are kept beside these.
"""
import os
import struct

PUMP, END, ELSE = 0x20, 0x40, 0x80   # the operation byte's flags
KIND = dict(Nothing=0, Key=1, NamedKey=4, Modifier=5, AnyKey=6, Size=7, HugeSize=8, Minimize=9, Restore=10,
            Maximize=11, Expose=12, Close=13, FocusLost=14, FocusGained=15, Quit=16, PostTagged=17, PostKey=19,
            PostOther=20, PostSysCommand=21, Destroy=22, PostChar=23)
DOWN, REPEAT, NUMLOCK = 1, 2, 4      # a key's flags
ESC, F4, F10 = 0, 1, 2               # indices into named_keys
LCTRL, LSHIFT, LALT, RALT, CAPS = 0, 1, 2, 6, 8   # indices into modifiers


def op(kind, *args, flags=0):
    return bytes([KIND[kind] | flags]) + b''.join(args)


def b(*v):
    return bytes(v)


def i16(v):
    return struct.pack('<h', v)


def i32(v):
    return b(1) + struct.pack('<i', v)   # a Dimension of 32 bits


def edge(index, offset):
    return b(2 | index << 2) + struct.pack('<b', offset)   # a Dimension near edges[index]


def u64(v):
    return b(3) + struct.pack('<Q', v)   # a Value of 8 bytes


def mod(index, down, numlock=False):
    return b(index | (0x10 if down else 0) | (0x40 if numlock else 0))


SEEDS = {
    # Escape: the program closes itself after the next frame.
    'escape': b(0) + op('NamedKey', b(ESC, DOWN), flags=END),
    # Alt+F4 goes round the posted queue to WM_CLOSE.
    'alt-f4': b(0) + op('Modifier', mod(LALT, True)) + op('NamedKey', b(F4, DOWN), flags=END),
    # Shifted typing with auto-repeat; numbered posts in the poll and in the pump between characters.
    'typing': b(0) + op('Modifier', mod(LSHIFT, True)) + op('Key', b(4, DOWN)) + op('PostTagged')
              + op('Key', b(4, DOWN | REPEAT)) + op('Key', b(4, 0)) + op('Modifier', mod(LSHIFT, False), flags=END)
              + op('PostTagged', flags=PUMP) + op('PostTagged', flags=PUMP | ELSE | END)
              + op('Modifier', mod(CAPS, True)) + op('Key', b(5, DOWN)) + op('Modifier', mod(CAPS, False))
              + op('Key', b(5, 0), flags=END),
    # Alt alone and F10 ask for the menu; Ctrl+Alt keys give no characters.
    'menu-keys': b(0) + op('Modifier', mod(LALT, True)) + op('Modifier', mod(LALT, False))
                 + op('NamedKey', b(F10, DOWN)) + op('NamedKey', b(F10, 0), flags=END)
                 + op('Modifier', mod(LCTRL, True)) + op('Modifier', mod(RALT, True)) + op('Key', b(20, DOWN))
                 + op('Modifier', mod(LCTRL, False)) + op('Modifier', mod(RALT, False), flags=END),
    # The keypad with NumLock on and off, and key codes no keyboard has.
    'keypad': b(0) + op('Key', b(93, DOWN | NUMLOCK)) + op('Key', b(93, NUMLOCK)) + op('Key', b(93, DOWN))
              + op('Key', b(99, 0)) + op('AnyKey', struct.pack('<i', -1), b(DOWN))
              + op('AnyKey', struct.pack('<i', 0x7FFFFFFF), b(DOWN)) + op('NamedKey', b(27, DOWN), flags=END),
    # Sizes: none, negative, the 16-bit edges; minimised and back, maximised, exposed.
    'sizes': b(8) + op('Size', i16(0), i16(0)) + op('Size', i16(-1), i16(-32768)) + op('Size', i16(32767), i16(1))
             + op('Minimize') + op('Size', i16(10), i16(10)) + op('Restore', flags=END) + op('Maximize')
             + op('Expose') + op('HugeSize', i32(-2147483648), i32(0), flags=END),
    # Sizes as far as an int goes, with the window at (50, 50).
    'huge-sizes': b(0) + op('HugeSize', edge(9, 0), edge(9, 0)) + op('HugeSize', edge(11, 1), edge(10, 0))
                  + op('HugeSize', edge(2, 0), edge(10, -1), flags=END),
    # The close button while numbered posts wait: they still come before WM_QUIT.
    'close': b(0) + op('PostTagged') + op('PostTagged', flags=ELSE) + op('Close') + op('PostTagged', flags=END),
    # Posted key messages with codes beyond the key table, and characters.
    'posted-keys': b(0) + op('PostKey', b(0), u64(256), struct.pack('<I', 0))
                   + op('PostKey', b(0), u64(2**64 - 1), struct.pack('<I', 0))
                   + op('PostKey', b(1), u64(0x10000), struct.pack('<I', 0))
                   + op('PostKey', b(0), u64(255), struct.pack('<I', 0))
                   + op('PostChar', b(1), u64(ord('x')), struct.pack('<I', 0x20000000))
                   + op('PostKey', b(2), u64(0x73), struct.pack('<I', 0x20000000), flags=END)
                   + op('PostKey', b(1), u64(255), struct.pack('<I', 0), flags=END),
    # System commands posted: minimise, restore, maximise, a size, then close.
    'syscommands': b(0) + op('PostSysCommand', b(1), i16(0)) + op('PostSysCommand', b(3), i16(0))
                   + op('PostSysCommand', b(2), i16(0), flags=END)
                   + op('PostOther', b(1), u64(0), struct.pack('<I', 0x00C80064))
                   + op('PostSysCommand', b(0), i16(0), flags=END),
    # The harness quits while posts wait, and posts more after asking.
    'quit-then-posts': b(0) + op('PostTagged') + op('Quit', struct.pack('<i', 7)) + op('PostTagged', flags=ELSE)
                       + op('Quit', struct.pack('<i', -3)) + op('PostTagged', flags=END),
    # The window destroyed with posts queued for it and for the thread.
    'destroy': b(0) + op('PostTagged') + op('PostTagged', flags=ELSE) + op('Key', b(4, DOWN)) + op('Destroy')
               + op('PostTagged') + op('Key', b(4, 0)) + op('Close', flags=END),
    # Focus lost with a key down, then regained: keys only reach the focus.
    'focus': b(0) + op('Key', b(4, DOWN)) + op('FocusLost') + op('Key', b(4, 0)) + op('FocusGained')
             + op('Key', b(5, DOWN), flags=END) + op('FocusLost', flags=END),
}
# Each step of the context set-up failing, with a post and a key waiting.
for i, name in enumerate(['fail-choose', 'fail-set', 'fail-create', 'fail-current']):
    SEEDS[name] = b(4 + i) + op('PostTagged') + op('Key', b(4, DOWN), flags=END)

if __name__ == '__main__':
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
    os.makedirs(out, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
