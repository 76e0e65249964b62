#!/usr/bin/env python3
"""The recommended gains of RisingTone (tests/analysis/analysis_test.cpp), worked out here once,
apart from Varnook's code: the equal-loudness filter from the published coefficient tables, mean
squares of windows of the rate's 50 ms with the fraction dropped, the percentile walk, and
PinkRef - 10 log10 of the value picked. Plain Python, no other module.

    python3 tests/data/rising_tone_gain.py COEFFICIENT-TABLES.md
prints, for each of the nine rates, the gain with windows of the right length and, to show what a
wrong length would do, of one frame more and one frame less."""
import math
import re
import sys

PINK_REF, RMS_PERCENT, SILENCE_FACTOR = 64.82, 0.95, 1000  # the defaults; 1000 is 30 dB


def coefficients(tables, rate):
    section = tables.split('## %d Hz' % rate)[1].split('##')[0]
    row = lambda name: [float(v) for v in re.search(name + r'[^:]*:(.*)', section).group(1).split(',')]
    return row('YuleB'), row('YuleA'), row('ButterB'), row('ButterA')


def rising_tone(rate):
    # One second of 1 kHz rising 60 dB to 32000, rounded half to even as nearbyint does.
    return [round(32000 * 10 ** (3 * (i / rate - 1)) * math.sin(2 * math.pi * 1000 * (i / rate)))
            for i in range(rate)]


def gain(tables, rate, window):
    yule_b, yule_a, butter_b, butter_a = coefficients(tables, rate)
    x, y, z = [0.0] * 11, [0.0] * 11, [0.0] * 3  # newest first
    windows, total, count = [], 0.0, 0
    for sample in rising_tone(rate):
        x = [float(sample)] + x[:10]
        acc = yule_b[0] * x[0]
        for j in range(1, 10):
            acc = x[j] * yule_b[j] + acc - yule_a[j - 1] * y[j - 1]
        y = [x[10] * yule_b[10] + acc - yule_a[9] * y[9]] + y[:10]
        acc = butter_b[0] * y[0]
        acc = y[1] * butter_b[1] + acc - butter_a[0] * z[0]
        z = [y[2] * butter_b[2] + acc - butter_a[1] * z[1]] + z[:2]
        total, count = total + z[0] * z[0], count + 1
        if count == window:
            windows.append(total / count)
            total, count = 0.0, 0
    windows.sort()
    n, picked = len(windows), 0.0
    for i in range(1, n + 1):
        picked = windows[min(max(round((n - i) * RMS_PERCENT + i), 1), n) - 1]
        if SILENCE_FACTOR * windows[i - 1] > picked:
            break
    return PINK_REF - 10 * math.log10(picked)


tables = open(sys.argv[1]).read()
for rate in (48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000):
    w = rate // 20
    print(rate, '%.6f' % gain(tables, rate, w), ' '.join('W%+d: %.4f' % (d, gain(tables, rate, w + d)) for d in (1, -1)))
