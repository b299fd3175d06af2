#!/usr/bin/env python3
"""Prints the CRC-32 folding constants used by gz/crc32_*.cpp (reflected polynomial
0xEDB88320): for each distance D in bits, the pair (x^(D+32) mod P, x^(D-32) mod P), bit-
reflected and shifted left by one, as carry-less multiplication wants them; and the
Barrett constants. Run it to check or extend the constants in gz/crc32_fold_constants.h."""
P = 0x104C11DB7

def xpow_mod(n):
    r = 1
    for _ in range(n):
        r <<= 1
        if r & (1 << 32):
            r ^= P
    return r

def reflect(v, bits):
    return int(format(v, '0%db' % bits)[::-1], 2)

def fold_constant(n):
    return reflect(xpow_mod(n), 32) << 1

def polydiv(a, b):
    q, db = 0, b.bit_length() - 1
    while a.bit_length() - 1 >= db:
        s = a.bit_length() - 1 - db
        q |= 1 << s
        a ^= b << s
    return q

for distance in (2048, 512, 384, 256, 128):
    print("distance %4d: 0x%09x, 0x%09x" % (distance, fold_constant(distance + 32), fold_constant(distance - 32)))
print("128 to 64: 0x%09x" % fold_constant(64))
print("barrett: poly 0x%09x, mu 0x%09x" % (reflect(P, 33), reflect(polydiv(1 << 64, P), 33)))
