#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/)
from inputs the unit tests use. Run it again after changing the seeds; the
files it writes are kept in the repository."""
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))

HELLO = b"CS 1092 1276 0 17 2 3 19088743 ABCDEF0123456789ABCDEF0123456789\0"
PAYLOADS = [
    HELLO,
    b"CS 1092 1250 3 1001 77 154 2767692 ?abc\0",
    b"K1 r_picmip in 0 3\n1 cl_maxpackets in 60 125\n1 name exclude BOT\n3\0",
    b"K1 sensitivity out 2 2\n1 rate include 000\0",
    b"BAsensitivity\0", b"BBrate\0", b"BAmy var\0", b"BAcl_Password\0", b"BE+attack\0", b"BFr_\0",
    b"BG\0", b"BH\0", b"BI\0", b"BL5 7\0", b"BQ\0", b"BUfs_game\0", b"BW\0",
    b"AWelcome 100%s %d\0", b"OPNGx-\0", b"OPNGx17\0", b"Oxyz\0",
    b"G1024 0123456789ABCDEF0123456789ABCDEF update.htm\0", b"G10 short ../x.htm\0",
    b"\x08tg_drop_now\0", b"\x03" + bytes(40), b"I0 123 7 320 240 50 50 1\0", b"\x01" + b"5 *\0",
    b"I0 0 9 477218588 477218588 50 50 1\0",
]
LINES = [
    b"tg_Ver", b"TG_VER // a comment", b"tg_Vers", b"tg_SsOptions 320 240", b"tg_SsOptions 5 5",
    b"tg_RegNameFull Player secret", b"tg_RegNamePartial \"The Clan\" \"pass word\"", b"tg_RegNameDel 1",
    b"tg_RegNameList", b"tg_Sleep 100", b"tg_Sleep\t100", b"tg_MsgPrefix \"[TG] Me\"", b"tg_LogPort 0",
    b"TG_SYSTEM 0", b"TG_NETSTAT", b"TG_MYGUID", b"TG_HOMEPATH", b"TG_NEXTMASTER", b"tg_cmd echo hi",
    b"TG_BIND? +attack", b"TG_CVAR? r_", b"TG_ALIST x", b"tg_ypg_hello", b"tg_CvarList", b"tg_CvarUser",
    b"tg_CvarChanged", b"tg_BindSrch attack", b"tg_Plist", b"tg_Kick 3", b"tg_GetSs", b"TG_AUTOEXEC server.cfg",
    b"tg_RegNamePw key", b"tg_LogUser a\rtg_Sleep 21",
]
PLAIN_HEADER = b"TG_REGNAMES\r\n\x1a"
RECORDS = b"\"Player\" \"secret\" Full\r\n\"The Clan\" \"pass word\" Partial\r\n"


def scramble(data, key):
    return bytes(b ^ key[i % len(key)] for i, b in enumerate(data))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def chunk(data):
    return bytes([min(len(data), 255)]) + data[:255]


def main():
    for i, payload in enumerate(PAYLOADS):
        write("receive_frame", f"plain_{i:02d}", b"\x01" + payload)
        write("receive_frame", f"scrambled_{i:02d}", b"\x02" + payload)
    for i, frame in enumerate([b"TG_P\0\0\0\0Ahi\0", b"TG_E\0\0\0\0\0\x03xy", b"TG_1 database", b"TG_C block"]):
        write("receive_frame", f"raw_{i:02d}", b"\x00" + frame)
    for i, line in enumerate(LINES):
        write("dispatch_line", f"line_{i:02d}", line)
    write("names_file", "plain", b"\x00" + PLAIN_HEADER + RECORDS)
    key_hex = hashlib.md5(b"k").hexdigest().upper().encode()
    write("names_file", "scrambled", b"\x01" + scramble(key_hex + RECORDS, b"k"))
    write("names_file", "no_header", b"\x00" + RECORDS)
    # Sessions: connect, hello, rules, requests and lines, the clock moving.
    session = b"\x04\x00\x05\x0a\x04\x00" + b"\x01" + chunk(HELLO) + b"\x04\x00"
    for payload in PAYLOADS[2:8]:
        session += b"\x01" + chunk(payload) + b"\x05\x01\x04\x00\x04\x00"
    for line in LINES[:10]:
        session += b"\x03" + chunk(line) + b"\x04\x10"
    write("session", "connected", session)
    write("session", "server_changes", b"\x04\x00\x06\x01\x04\x00\x01" + chunk(HELLO) + b"\x06\x02\x04\x00\x06\x03\x04\x00")
    write("session", "codes", b"\x04\x00\x07\x01\x05x 1 2 3 4\x07\x22\x06tg_cvl\x07\x60\x00\x04\xff\x05\xff\x04\x00")

    # Screenshots: a display shape, then request, send-list, restart and
    # window lines.
    def shape(selector, width, height, pitch, hidden, right, bottom):
        return bytes([selector]) + (width - 1).to_bytes(2, "little") + (height - 1).to_bytes(2, "little") + \
            bytes([pitch, hidden, 0, 0, right, bottom])
    normal = shape(4, 640, 480, 0, 0, 108, 122)
    write("screenshot", "upload", normal + b"I0 123 7 320 240 50 50 1\nC\nS5 *\nC\nS5 0 3 7\nOPNGA-\nOPNGA3\n")
    write("screenshot", "huge_numbers", normal + b"I0 1 2 4294967295 99999999999 -5 200 3\nC\nS5 4294967295\n")
    write("screenshot", "minimised_mid_capture", normal + b"I0 9 8 2000 2000 0 0 4\nW\nC\nW\nC\n")
    write("screenshot", "palette", shape(0, 300, 200, 7, 0, 60, 60) + b"I0 1 2 300 200 10 90 2\n")
    write("screenshot", "sixteen_bits", shape(2, 320, 240, 0, 0, 60, 70) + b"I0 1 2 100 100 50 50 1\nC\n")
    write("screenshot", "no_display", bytes([0x84]) + normal[1:] + b"I0 1 2 64 64 50 50 1\nC\nC\nC\n")


    # Masters: records of a kind byte, a length byte and the bytes.
    def record(kind, data):
        return kind + bytes([len(data)]) + data

    def big32(value):
        return value.to_bytes(4, "big")

    hash_a, hash_b = b"A" * 32, b"b" * 32
    database = b"<p> S 3 127.0.0.1 16567 0\r\n<p> M alt.example 1\r\n<p> F C W 7 10 " + hash_a + b" " + hash_b
    write("master", "database", record(b"D", database) + record(b"P", b"<P> S 9 x 1 0\r\n<p> F A K 1 FF " + hash_a +
                                                               b" " + hash_b))
    file = b"<p> S 4 b.example 1 0"
    header = big32(77) + b"RWFH" + big32(len(file)) + big32(len(file)) + hashlib.md5(file).digest() + b"tgcl_new.db\0"
    write("master", "transfer", record(b"C", header) + record(b"C", big32(77) + b"RWFB" + big32(0) + file) +
          record(b"T", b"\x01"))
    module = bytes(range(256)) * 5
    header = big32(5) + b"RWFH" + big32(len(module)) + big32(len(module)) + hashlib.md5(module).digest() + b"x.dll\0"
    blocks = [big32(5) + b"RWFB" + big32(i) + module[i * 1024:(i + 1) * 1024][:200] for i in range(2)]
    write("master", "gap", record(b"C", header) + record(b"C", blocks[1]) + record(b"T", b"\x06") +
          record(b"C", blocks[1]) + record(b"C", blocks[0]) + record(b"T", b"\x80"))
    write("master", "name_cache", record(b"N", bytes(range(16))) + record(b"N", b"MASTER.example"))

    # Updates: a package page, and a download announced and streamed.
    import zlib
    module_bytes = bytes(range(256)) * 12
    packed = zlib.compress(module_bytes)
    digest_a = hashlib.md5(packed).hexdigest().upper().encode()
    digest_b = hashlib.md5(packed[1:]).hexdigest().upper().encode()
    hex_text = packed.hex().upper().encode()
    page = b"<html><p> S %X %X " % (len(packed), len(module_bytes)) + digest_a + b" " + digest_b + b"<br>"
    for at in range(0, len(hex_text), 1000):
        page += b"<p>" + hex_text[at:at + 1000] + b"\r\n"
    write("update", "package", b"P" + page + b"</html>")
    write("update", "package_unclosed", b"P" + page)
    body = b"x" * 2100
    announce = b"G2100 " + hashlib.md5(body).hexdigest().encode() + b" xA_up.htm"
    chunks = [b"H" + i.to_bytes(2, "big") + body[i * 1024:(i + 1) * 1024][:200] for i in range(3)]
    write("update", "stream", b"S" + bytes([len(announce)]) + announce + b"".join(bytes([len(c)]) + c for c in
                                                                                     [chunks[0], chunks[2], chunks[1]]))


    # Names from outside and texts for the screenshot log.
    write("text", "module_name", b"dll\\tgag.dll")
    write("text", "markup", b"\x40<script>alert('x')</script> & \"more\"")
    write("text", "escapes", b"../..\\con:aux\x01\x7f")

    # Deflate: two bytes of work a call, then the input.
    write("deflate", "empty", b"\x00\x01")
    write("deflate", "text", b"\x61\x00" + b"the screen shot of the game server " * 40)
    write("deflate", "runs", b"\x10\x27" + bytes(3000) + bytes(range(256)) * 4 + b"\xff" * 700)
    rows = b""
    for y in range(40):
        rows += b"\x00" + bytes((x * 7 + y) % 251 for x in range(150))
    write("deflate", "rows", b"\x00\x10" + rows)


if __name__ == "__main__":
    main()
