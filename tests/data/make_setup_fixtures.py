#!/usr/bin/python3
"""Writes the small setup files the setup tests read. The bytes are committed; run this only to
remake them after a deliberate change."""
import struct

def integer(v):
    return struct.pack('<i', v)

def length(n):
    if n < 0xFF:
        return bytes([n])
    if n < 0xFFFE:
        return b'\xff' + struct.pack('<H', n)
    return b'\xff\xff\xff' + struct.pack('<I', n)

def narrow(b):
    if isinstance(b, str):
        b = b.encode('ascii')
    return length(len(b)) + b

def wide(text):
    data = text.encode('utf-16-le')
    return b'\xff\xfe\xff' + length(len(data) // 2) + data

def header(version):
    return narrow('tasha (woof)') + integer(version) + integer(0) + integer(7)

def players():
    out = b''
    for n in range(1, 17):
        selected = 1 if n in (1, 16) else 0
        address = 'p%d@example.org' % n if n in (1, 16) else ''
        out += integer(selected) + narrow(address) + narrow('C:\\GAMES\\OLD.M%d' % n if selected else '')
    return out

mail = narrow('Old Game') + narrow('C:\\GAMES\\OLD.XY') + narrow('mail.example.org') + \
    narrow('host@example.org') + narrow('Turn %Y of %G')

def v3_body(game_name):
    return game_name + mail[len(narrow('Old Game')):] + narrow('Your turn, player %P.') + \
        integer(1) + integer(1) + integer(0) + integer(30000) + integer(500) + \
        integer(0) + integer(1) + integer(1) + narrow('/tmp/report.txt') + narrow('host@example.org') + \
        integer(1) + players()

def extension(pairs):
    return narrow('Turnpost extension') + integer(len(pairs)) + \
        b''.join(narrow(key) + value for key, value in pairs)

files = {
    # No leading text: the game name opens the file; "t" switches on the default message.
    'setup-v1.tpf': mail + narrow('t') + narrow('Your turn, player %P.') + players(),
    # Send options and times, but no report preferences yet.
    'setup-v2.tpf': header(2) + mail + narrow('Your turn, player %P.') +
        integer(0) + integer(1) + integer(0) + integer(30000) + integer(500) + players(),
    # Early builds put three fields after the sixteenth player: a tail like any other, ignored.
    'setup-v4.tpf': header(4) + v3_body(narrow('Old Game')) + integer(1) + narrow('host') +
        narrow('pass show smtp'),
    # A later version word with nothing after the players: read as version 3.
    'setup-v4-no-tail.tpf': header(4) + v3_body(narrow('Old Game')),
    # Another program's tail, which does not open with our marker: ignored.
    'setup-v5-foreign-tail.tpf': header(5) + v3_body(narrow('Old Game')) + narrow('Other program') +
        integer(2) + narrow('rm -rf ~'),
    # Our extension block with every key we know, a newer program's key, and a value in the wide form.
    'setup-extension.tpf': header(5) + v3_body(narrow('Old Game')) + extension([
        ('SmtpSecurity', narrow('1')), ('SmtpUser', narrow('host')),
        ('SmtpPasswordCommand', narrow('pass show smtp')), ('FutureOption', narrow('on')),
        ('SmtpLoginMethod', narrow('1')), ('CheckTurnFiles', wide('0'))]),
    # A version 3 file that stops inside the last player's address.
    'setup-cut-short.tpf': (header(3) + v3_body(narrow('Old Game')))[:-30],
    # The game name in the UTF-16 form, with a character outside the basic plane.
    'setup-wide-string.tpf': header(3) + v3_body(wide('Gro\u00dfe Schlacht \u2605 \U0001F680')),
    # The game name as a Windows program in Western Europe wrote it.
    'setup-cp1252.tpf': header(3) + v3_body(narrow('Caf\u00e9 \u20ac \u201cZ\u201d'.encode('cp1252'))),
}

for name, data in files.items():
    with open(name, 'wb') as f:
        f.write(data)
