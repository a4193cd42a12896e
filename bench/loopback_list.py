#!/usr/bin/env python3
"""A list file of loopback hosts for the benchmarks: 127.4.0.1 upwards, skipping .0 and .255.

Usage: bench/loopback_list.py FILE INTERVAL COUNT
The format: interval and count, then per host its address and a named flag of 0, little-endian.
"""
import struct
import sys

path, interval, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
out = bytearray(struct.pack('<Ii', interval, count))
for i in range(count):
    k = 1 + i + 2 * (i // 254)
    out += bytes((127, 4 + (k >> 16), (k >> 8) & 255, k & 255)) + struct.pack('<I', 0)
with open(path, 'wb') as f:
    f.write(out)
