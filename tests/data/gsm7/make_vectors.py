# Packs GSM 7-bit test vectors independently of the C++ decoder.
# Usage: python3 make_vectors.py tests/data/gsm7   (NAME.in holds udh= and data=,
# NAME.out the exact UTF-8 text expected)
import os, sys
out = sys.argv[1]
basic = ("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
         "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
assert len(basic) == 128
ext = {0x14:'^',0x28:'{',0x29:'}',0x2F:'\\',0x3C:'[',0x3D:'~',0x3E:']',0x40:'|',0x65:'€'}
def encode(text):
    s = []
    for ch in text:
        if ch in ext.values():
            s += [0x1b, [k for k,v in ext.items() if v == ch][0]]
        else:
            i = basic.index(ch); assert i != 0x1b; s.append(i)
    return s
def pack(septets, fill=0):
    bits = [0]*fill
    for v in septets:
        bits += [(v >> i) & 1 for i in range(7)]
    while len(bits) % 8:
        bits.append(0)
    octs = bytes(sum(bits[o*8+i] << i for i in range(8)) for o in range(len(bits)//8))
    return octs.hex().upper()
def pack_padded(septets, padseptet):
    # 8n-1 septets leave 7 spare bits; fill them with padseptet's bits
    assert (len(septets)*7) % 8 == 1
    return pack(septets + [padseptet])
def write(name, udh, data, expected):
    with open(os.path.join(out, name + ".in"), "w") as f:
        f.write("udh=" + udh + "\ndata=" + data + "\n")
    with open(os.path.join(out, name + ".out"), "wb") as f:
        f.write(expected.encode("utf-8"))
every = [i for i in range(128) if i != 0x1b]
write("default-alphabet", "", pack(every + [0x20]), "".join(basic[i] for i in every) + " ")
write("extension-table", "", pack(encode("x^{}\\[~]|€y")), "x^{}\\[~]|€y")
write("extension-unmapped-codes", "", pack([0x41,0x1b,0x0a,0x42,0x1b,0x00,0x43,0x1b,0x41,0x44]), "A-B-C-D")
write("greek-capitals", "", pack(encode("ΔΦΓΛΩΠΨΣΘΞ_")), "ΔΦΓΛΩΠΨΣΘΞ_")
msg = "Hello, part one of two!"
write("udh-concat-8bit-one-fill-bit", "050003A40201", pack(encode(msg), fill=1), msg)
write("udh-concat-16bit-no-fill", "06080400010201", pack(encode(msg), fill=0), msg)
write("udh-8bit-ports-two-fill-bits", "040402F0F0", pack(encode(msg), fill=2), msg)
write("udh-stored-without-length-octet", "0003A40201", pack(encode(msg), fill=1), msg)
write("seven-characters-zero-padding", "", pack(encode("Testing")), "Testing")
write("seven-characters-cr-padding", "", pack_padded(encode("Testing"), 0x0D), "Testing")
write("fifteen-characters-zero-padding", "", pack(encode("abcdefghijklmno")), "abcdefghijklmno")
write("lowercase-hex-digits", "", pack(encode("lower case")).lower(), "lower case")
write("invalid-hex-stops-decoding", "", pack(encode("hello"))[:6] + "ZZ" + pack(encode("hello"))[8:], "hel")
write("odd-digit-count-ignores-last", "", pack(encode("hi")) + "7", "hi")
write("empty-data", "", "", "")
write("trailing-escape-dropped", "", pack([0x41,0x42,0x1b]), "AB")
write("newline-and-return-kept", "", pack(encode("a\r\nb")), "a\r\nb")
