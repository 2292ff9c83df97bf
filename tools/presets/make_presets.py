#!/usr/bin/env python3
"""Writes the factory preset sources presets/Preset00.cpp .. Preset23.cpp, Presets.h,
PresetTable.h and FactoryPresets.cpp.

Each program is described below by its globals, its character (the range of every person slot
among the people that are heard) and the shape of each slot inside that range. The people are
drawn from a seeded generator of our own, so the output is the same byte for byte on every run
and every Python version.

    make_presets.py            write the sources
    make_presets.py --check    exit 1 if the committed sources differ from what would be written
"""

import math
import os
import struct
import sys

SCRIPT = "tools/presets/make_presets.py"
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
OUT_DIR = os.path.join(ROOT, "presets")

NUM_PEOPLE = 60
MAX_HEARD = 59
SLOTS = ["parPitchShift", "parPitchModGain", "parPitchModSpeed", "parDelayTime",
         "parDelayModGain", "parDelayModSpeed", "parPan"]
SHIFT, PMG, PMS, DELAY, DMG, DMS, PAN, GAIN, P00 = range(9)
SPEED_SLOTS = (PMS, DMS)

GLOBAL_FIELDS = ["parPopulation", "parGlobalWet", "parGlobalDry", "parRandLower",
                 "parAllpassSpread", "parPitchAll", "parReverbWet", "parReverbSize",
                 "parReverbHighCut", "parReverbLowCut"]

# name, then the values of GLOBAL_FIELDS in that order. Selected 0, RandUpper 1, Solo 0 everywhere.
GLOBALS = [
    ("Many Monks", "0.65 0.5 0.401111 0 0.285 0.5 0.531111 0.446667 0.775556 0.104444"),
    ("Crowded Hall", "0.516667 0.526667 0.328889 0 0.490556 0.5 0.322222 0.431111 0.353334 0"),
    ("Stadium Chant", "0.816667 0.462222 0 0 0.61 0.5 0.502222 0.68 0.557778 0"),
    ("Hello Planet!", "0.983333 0.5 0 0 1 0.5 0.633334 0.917778 0.804444 0.26"),
    ("Alien Ripper", "0.566667 0.5 0 0 0.225 0.5 0 0.5 1 0"),
    ("Bodiless Robot", "0.716667 0.5 0.38 0 0 0.5 0.375556 0.111111 1 0"),
    ("Busted Larynx", "0.65 0.513333 0.244444 0 0 0.5 0 0.5 1 0"),
    ("Choirish", "0.65 0.5 0 0 0 0.5 0.46 0.337778 0.791111 0.228889"),
    ("Decender", "0.733333 0.5 0 0 0.6 0.345 0.408889 0.717778 1 0.346667"),
    ("Evil Snake", "0.733333 0.463333 0.282223 0 0.655 0.598889 0.266667 0 1 0"),
    ("Fat Pack", "0.733333 0.5 0 0.012222 0.115 0.5 0 0.5 1 0"),
    ("Gated Layer", "0.15 0.391111 0.5 0 0.245 0.5 0.782222 0.033333 0.675556 0.242222"),
    ("Ghost Maker", "0.65 0.5 0 0 0.765 0.88 0.397778 0.631111 1 0.408889"),
    ("Lost in the Wash", "0.733333 0.531111 0 0 0.595 0.5 0.58 0.884444 0.326667 0.257778"),
    ("Mental Breakage", "0.016667 0.515 0.205 0 0.545 0.5 0 0.5 1 0"),
    ("Metal Ear Box", "0.566667 0.5 0 0 0.315 0.5 0.668889 0 0.911111 0.168889"),
    ("Monster Pan", "0.733333 0.545 0 0 0.395 0.345 0.277778 0.744444 0.997778 0"),
    ("Mouse Delirium", "0.516667 0.503333 0 0 0 1 0 0.5 1 0"),
    ("New species 1", "0.033333 0.5 0.42 0 0 0.5 0 0.5 1 0"),
    ("New species 2", "0.983333 0.516111 0.004444 0 0.31 0.285 0.486667 0.16 1 0.375556"),
    ("Ocean Deep", "0.983333 0.5 0 0 1 0 0.557778 0.795556 0.664444 0"),
    ("Slow Mirror", "0.333333 0.62 0.5 0 0.495 0.5 0 0.5 1 0"),
    ("Spin up", "0.316667 0.522222 0 0 0 0.5 0 0.5 1 0"),
    ("Up Lilt", "0.2 0.561111 0 0 0 0.5 0 0.5 1 0"),
]

# The range of each of the seven slots among the heard people, at two decimals; a single number
# means every heard person rounds to it.
CHARACTER = [
    "0.23-0.73 0.00 0.00-0.25 0.00-0.52 0.01-0.44 0.01-0.98 0.03-1.00",
    "0.22-0.78 0.00-0.19 0.00-0.05 0.03-0.69 0.02-0.57 0.00-0.34 0.02-0.99",
    "0.01-0.98 0.03-1.00 0.02-0.99 0.00-0.99 0.00-0.98 0.01-0.97 0.00-1.00",
    "0.05-0.94 0.01-1.00 0.00-1.00 0.01-1.00 0.00-0.98 0.00-0.95 0.01-1.00",
    "0.02-1.00 0.04-0.35 1.00 0.00-1.00 0.01-0.35 1.00 0.15-0.83",
    "0.00-0.24 0.00-1.00 0.00-0.13 0.00-0.02 0.00-0.07 0.00-1.00 0.01-1.00",
    "0.01-0.98 0.00 0.50 0.00 0.01-0.26 0.50 0.34-0.66",
    "0.46-0.55 0.00-0.83 0.00-0.37 0.01-0.67 0.00-0.96 0.20-0.47 0.00-0.98",
    "0.05-0.94 0.00-0.09 0.01-1.00 0.00-0.95 0.01-0.49 0.01-0.99 0.02-1.00",
    "0.00-0.09 0.01-0.98 0.03-1.00 0.00 0.02-0.99 0.00-0.98 0.02-0.98",
    "0.49-0.50 0.00-1.00 0.00-1.00 0.00-0.06 0.01-0.36 0.37-1.00 0.02-0.99",
    "0.11-0.99 0.00-0.71 0.06-0.70 0.00-0.80 0.00-0.19 0.33-0.96 0.50",
    "0.03-0.99 0.00-0.22 0.01-0.34 0.00-0.17 0.00-0.98 0.00-0.32 0.02-0.93",
    "0.31-0.60 0.00-0.99 0.58-1.00 0.04-0.97 0.07-0.98 0.00-1.00 0.03-0.98",
    "0.21-0.78 0.49-0.50 0.32-0.34 0.00 0.09-0.17 0.24-0.33 0.50",
    "0.46-0.55 0.00-0.60 0.08-0.96 0.00-0.23 0.00-1.00 0.30-0.98 0.00-1.00",
    "0.00-0.96 0.00 0.01-0.98 0.00-1.00 0.00 0.01-0.99 0.00-1.00",
    "0.53-1.00 0.00 0.00-0.99 0.00-1.00 0.01-0.18 0.01-0.94 0.05-0.99",
    "0.41-0.91 0.12-0.28 0.07-0.39 0.00-0.08 0.00-0.17 0.00-0.77 0.00-1.00",
    "0.46-0.55 0.01-0.98 0.13-0.32 0.00 0.03-0.96 0.13-0.32 0.01-0.99",
    "0.02-0.97 1.00 0.01-0.30 0.00-0.99 1.00 0.00-0.30 0.01-0.99",
    "0.01-0.41 0.00-0.98 0.02-0.96 0.30-1.00 0.00-0.92 0.01-0.91 0.00-1.00",
    "0.04-1.00 0.10-0.93 0.05-0.99 0.00-1.00 0.08-0.99 0.04-0.98 0.00-0.99",
    "0.03-1.00 0.00 0.00 0.06-1.00 0.00-0.96 0.00-0.92 0.00-0.98",
]

# People whose nine values are fixed: (program, person) -> slots 0 .. 8.
FIXED = {
    (0, 0): "0.560784 0 0.099243 0.307985 0.16128 0.145822 0.540785 0.5 0.5",
    (0, 1): "0.44728 0 0.13182 0.106464 0.273933 0.271545 0.936556 0.5 0",
    (14, 0): "0.775665 0.49 0.324116 0 0.095 0.330029 0.504532 0.5 0",
    (14, 1): "0.209125 0.496836 0.338402 0 0.169734 0.239808 0.498489 0.5 0",
    (18, 0): "0.912548 0.205 0.16 0 0 0.15 0.498489 0.5 0",
    (18, 1): "0.406844 0.125 0.07 0.075 0.000275 0 0 0.5 0",
    (18, 2): "0.418251 0.278717 0.394592 0 0.168823 0.771576 1 0.5 0",
}

# Shapes of a slot inside its range. Each draws a unit value over the range; the people with the
# lowest and the highest draw are then placed on the ends.
UNIFORM = ("uniform",)
BELL = ("bell",)            # clustered around the middle of the range
EVEN = ("even",)            # an even spread, shuffled: pans across the field
TWIN = ("twin",)            # away from the middle, towards both ends


def LOW(k=2.0):             # most people near the low end
    return ("low", k)


def HIGH(k=2.0):            # most people near the high end
    return ("high", k)


def SAME(slot):             # the same value as another slot of the same person
    return ("same", slot)


# Per program: what it should sound like, the shape of each of the seven slots, and orderings
# (slot, key, rising) that tie a slot to another slot or to the person number ("person").
DESIGN = [
    ("A chapter of monks chanting in a stone hall: small shifts around the note, no vibrato, "
     "moderate delays, slow breathing swells.",
     [BELL, UNIFORM, LOW(1.5), BELL, UNIFORM, UNIFORM, EVEN], []),
    ("A hall full of people talking: voices around the speaker's pitch with a little wobble, "
     "spread over the depth of the room, one voice quieter than the rest.",
     [BELL, LOW(), UNIFORM, UNIFORM, UNIFORM, LOW(), EVEN], []),
    ("A stadium chanting together: every pitch and distance in the stands, loud and far voices "
     "side by side, all over the field.",
     [BELL, UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN], []),
    ("The whole planet says hello: sixty voices from everywhere, every wobble and distance, "
     "mostly slow vibrato.",
     [BELL, UNIFORM, LOW(1.6), UNIFORM, UNIFORM, LOW(1.4), EVEN], []),
    ("Alien chatter: shifts far from the note in both directions, everything warbling at full "
     "speed, held away from the hard edges of the field.",
     [TWIN, UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN], []),
    ("A robot without a body: all voices shifted well down with almost no delay, so they ring as "
     "one metallic comb; slow wide pitch sweeps.",
     [UNIFORM, UNIFORM, LOW(), UNIFORM, LOW(), UNIFORM, EVEN], []),
    ("A broken voice box: one throat, no delay, shifts scattered far apart that rasp against "
     "each other, all at one steady modulation speed.",
     [TWIN, UNIFORM, UNIFORM, UNIFORM, LOW(), UNIFORM, EVEN], []),
    ("A choir: gentle detuning around the note, vibrato at singers' rates, voices placed across "
     "the stage at natural distances.",
     [BELL, LOW(), UNIFORM, BELL, LOW(1.5), UNIFORM, EVEN], []),
    ("A descending cascade: the later a voice enters, the further down it is shifted, on top of "
     "a downward overall shift.",
     [LOW(2.5), LOW(), UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN], [(SHIFT, DELAY, False)]),
    ("A hissing snake: every voice shifted deep down and undelayed, slithering with strong "
     "modulation.",
     [UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN], []),
    ("A fat unison pack: tiny detuning and short doubling delays thicken the voice without "
     "turning it into a crowd.",
     [BELL, UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN], []),
    ("Gated layers: ten centred copies at staggered delays, each shifted higher than the one "
     "before, stacked like an arpeggio.",
     [EVEN, UNIFORM, UNIFORM, EVEN, UNIFORM, UNIFORM, EVEN], [(SHIFT, DELAY, True)]),
    ("Ghosts: voices at scattered shifts, close together in time, drifting slowly with deep "
     "delay wavering.",
     [UNIFORM, LOW(), LOW(1.5), LOW(), UNIFORM, LOW(1.5), EVEN], []),
    ("Lost in the wash: a blur of near-note voices with fast pitch wobble at every distance.",
     [BELL, UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN], []),
    ("A mind split in two: pairs of voices shifted in opposite directions, undelayed and "
     "centred, wobbling at half depth.",
     [TWIN, UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM], []),
    ("A metal box at the ear: near-note voices at very short delays ring like a small tin room.",
     [BELL, LOW(), UNIFORM, LOW(), UNIFORM, UNIFORM, EVEN], []),
    ("A monster panned across the field: mostly deep shifts at every delay, steady, with no "
     "modulation depth at all.",
     [LOW(2.2), UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN], []),
    ("Mice in delirium: every voice shifted up, at every delay, squeaking at every speed.",
     [HIGH(2.5), UNIFORM, UNIFORM, UNIFORM, LOW(), UNIFORM, EVEN], []),
    ("A new species: three creatures, one shifted high in the middle and two a little low, "
     "hard left and hard right.",
     [UNIFORM, UNIFORM, UNIFORM, LOW(), LOW(), UNIFORM, EVEN], []),
    ("Another species: a swarm of near-note voices without delay whose pitch and delay wobble "
     "at the same rate.",
     [BELL, UNIFORM, UNIFORM, UNIFORM, UNIFORM, SAME(PMS), EVEN], []),
    ("The deep ocean: mostly deep shifts at every distance, all swelling at full modulation "
     "depth, slowly.",
     [LOW(1.5), UNIFORM, LOW(1.5), UNIFORM, UNIFORM, LOW(1.5), EVEN], []),
    ("A slow mirror: voices shifted down, returning late, at long delays.",
     [UNIFORM, UNIFORM, UNIFORM, HIGH(1.5), UNIFORM, UNIFORM, EVEN], [(SHIFT, DELAY, False)]),
    ("Spinning up: each voice enters later and higher than the one before, circling from one "
     "side of the field to the other.",
     [UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN],
     [(SHIFT, "person", True), (DELAY, "person", True), (PAN, "person", "circle")]),
    ("An upward lilt: voices shifted up, the later the higher, without vibrato.",
     [HIGH(3.0), UNIFORM, UNIFORM, UNIFORM, UNIFORM, UNIFORM, EVEN], [(SHIFT, DELAY, True)]),
]

STADIUM = 2
GAIN_LOW, GAIN_HIGH = "0.42034", "0.600133"
HALL_PERSON0_GAIN = "0.206667"


class SplitMix64:
    """A small, fully specified generator, so the tables do not depend on Python's own."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next64(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def uniform(self):
        return (self.next64() >> 11) / float(1 << 53)

    def between(self, lo, hi):
        return lo + (hi - lo) * self.uniform()

    def below(self, n):
        return self.next64() % n

    def shuffle(self, items):
        for i in range(len(items) - 1, 0, -1):
            j = self.below(i + 1)
            items[i], items[j] = items[j], items[i]


def f32(x):
    return struct.unpack("<f", struct.pack("<f", float(x)))[0]


def two_decimals(x):
    """What printf("%.2f") shows for the stored float."""
    return "%.2f" % f32(x)


def six(x):
    """The value as it is written: at most six decimals."""
    return float("%.6f" % x)


def literal(x):
    text = ("%.6f" % x).rstrip("0")
    if text.endswith("."):
        text += "0"
    return text + "f"


def people_stored(population):
    p = f32(population)
    return int(f32(f32(60.0 * p) + 0.5)) + 1


def parse_range(text):
    if "-" in text:
        lo, hi = text.split("-")
        return float(lo), float(hi)
    return float(text), float(text)


def shaped(shape, u):
    """Places a unit value u (evenly distributed) according to the shape."""
    kind = shape[0]
    if kind in ("uniform", "even"):
        return u
    if kind == "bell":
        t = 2.0 * u - 1.0
        return 0.5 + 0.5 * math.copysign(abs(t) ** 2.0, t)
    if kind == "twin":
        t = 2.0 * u - 1.0
        return 0.5 + 0.5 * math.copysign(abs(t) ** 0.5, t)
    if kind == "low":
        return u ** shape[1]
    if kind == "high":
        return 1.0 - (1.0 - u) ** shape[1]
    raise ValueError(kind)


def draws(rng, shape, n):
    """n shaped values in a shuffled order, one from each n-th of the unit range, so that even a
    small crowd has the shape rather than the luck of the draw."""
    if shape[0] == "even" and n >= 2:
        units = [(i + (0.0 if i in (0, n - 1) else rng.between(-0.3, 0.3))) / (n - 1)
                 for i in range(n)]
    else:
        units = [(i + rng.uniform()) / n for i in range(n)]
    rng.shuffle(units)
    return [shaped(shape, u) for u in units]


def end_value(rng, printed):
    """An end of a range: exactly 0 or 1 at the edges, otherwise near the printed value."""
    if printed in (0.0, 1.0):
        return printed
    return six(printed + rng.between(-0.003, 0.003))


def design_slot(rng, shape, printed, fixed, heard, stored_values):
    """Values of one slot for all 60 people. fixed maps person -> value."""
    lo, hi = printed
    free_heard = [p for p in range(heard) if p not in fixed]
    beyond = [p for p in range(heard, NUM_PEOPLE) if p not in fixed]
    values = dict(fixed)
    if shape[0] == "same":
        for p in range(NUM_PEOPLE):
            values.setdefault(p, stored_values[shape[1]][p])
        return [values[p] for p in range(NUM_PEOPLE)]
    if lo == hi and lo in (0.0, 0.5, 1.0):
        for p in free_heard + beyond:
            values[p] = lo
        return [values[p] for p in range(NUM_PEOPLE)]

    if len(free_heard) >= 2:
        lo_t, hi_t = end_value(rng, lo), end_value(rng, hi)
        heard_draws = draws(rng, shape, len(free_heard))
        for p, d in zip(free_heard, heard_draws):
            values[p] = six(lo_t + d * (hi_t - lo_t))
        # The lowest and the highest draw take the ends of the range.
        values[free_heard[heard_draws.index(min(heard_draws))]] = lo_t
        values[free_heard[heard_draws.index(max(heard_draws))]] = hi_t
    else:
        # Every heard person is given: the rest stay inside what the heard people span.
        heard_values = [fixed[p] for p in range(heard)]
        lo_t, hi_t = min(heard_values), max(heard_values)
    # The reserve people are drawn from the same shape over the same range.
    for p, d in zip(beyond, draws(rng, shape, len(beyond))):
        values[p] = six(lo_t + d * (hi_t - lo_t))
    return [values[p] for p in range(NUM_PEOPLE)]


def apply_order(rng, table, slot, key, rising, people):
    """Reorders one slot among the given people so that it follows the key."""
    if len(people) < 2:
        return
    values = sorted(table[slot][p] for p in people)
    if rising == "circle":
        # Sweep across the field and back as the person number rises.
        for p, v in zip(sorted(people), values[0::2] + values[1::2][::-1]):
            table[slot][p] = v
        return
    if key == "person":
        ranked = sorted(people)
    else:
        span = max(table[key][p] for p in people) - min(table[key][p] for p in people)
        noisy = {p: table[key][p] + rng.between(-0.04, 0.04) * span for p in people}
        ranked = sorted(people, key=lambda p: noisy[p])
    if not rising:
        values.reverse()
    for p, v in zip(ranked, values):
        table[slot][p] = v


def design_program(number):
    rng = SplitMix64(0x5A0B_EC00 + number)
    name, globals_text = GLOBALS[number]
    population = float(globals_text.split()[0])
    heard = min(people_stored(population), MAX_HEARD)
    comment, shapes, orders = DESIGN[number]
    ranges = [parse_range(t) for t in CHARACTER[number].split()]
    fixed_rows = {p: [float(v) for v in text.split()]
                  for (n, p), text in FIXED.items() if n == number}

    table = [None] * 9
    for slot in range(7):
        fixed = {p: row[slot] for p, row in fixed_rows.items()}
        table[slot] = design_slot(rng, shapes[slot], ranges[slot], fixed, heard, table)

    free_heard = [p for p in range(heard) if p not in fixed_rows]
    beyond = [p for p in range(heard, NUM_PEOPLE) if p not in fixed_rows]
    for slot, key, rising in orders:
        apply_order(rng, table, slot, key, rising, free_heard)
        apply_order(rng, table, slot, key, rising, beyond)

    gains = [0.5] * NUM_PEOPLE
    if number == 1:
        gains[0] = float(HALL_PERSON0_GAIN)
    if number == STADIUM:
        # Fifteen people at the plain level, the rest louder and softer around it.
        people = list(range(NUM_PEOPLE))
        rng.shuffle(people)
        varied = sorted(people[15:])
        lo, hi = float(GAIN_LOW), float(GAIN_HIGH)
        levels = draws(rng, BELL, len(varied))
        for p, d in zip(varied, levels):
            gains[p] = six(lo + (hi - lo) * d)
            if gains[p] == 0.5:
                gains[p] = 0.500001
        gains[varied[levels.index(min(levels))]] = lo
        gains[varied[levels.index(max(levels))]] = hi
    table[GAIN] = gains

    # par00 marks the people kept in reserve beyond the heard population.
    table[P00] = [0.0 if p < heard else 1.0 for p in range(NUM_PEOPLE)]
    if number == 0:
        table[P00] = [0.5] + [0.0] * (NUM_PEOPLE - 1)
    for p, row in fixed_rows.items():
        for slot in range(9):
            table[slot][p] = row[slot]

    globals_values = [float(v) for v in globals_text.split()]
    return {"number": number, "name": name, "comment": comment, "heard": heard,
            "globals": dict(zip(GLOBAL_FIELDS, globals_values)), "table": table,
            "ranges": ranges}


def check_program(program):
    """The requirements on the stored values, checked on the float32 each value becomes."""
    number, heard, table = program["number"], program["heard"], program["table"]
    problems = []
    for slot in range(7):
        lo, hi = program["ranges"][slot]
        values = [f32(v) for v in table[slot][:heard]]
        if two_decimals(min(values)) != "%.2f" % lo or two_decimals(max(values)) != "%.2f" % hi:
            problems.append("slot %d range %s..%s" % (slot, two_decimals(min(values)),
                                                      two_decimals(max(values))))
        if slot in SPEED_SLOTS and lo != hi:
            generated = [table[slot][p] for p in range(heard) if (number, p) not in FIXED]
            if len(set(generated)) != len(generated):
                problems.append("slot %d: two people share a speed" % slot)
        lo_all, hi_all = min(table[slot]), max(table[slot])
        if lo_all < min(values) - 1e-6 or hi_all > max(values) + 1e-6:
            problems.append("slot %d: reserve people outside the heard range" % slot)
    for slot in range(9):
        if any(not 0.0 <= v <= 1.0 for v in table[slot]):
            problems.append("slot %d outside 0..1" % slot)
    if any(v not in (0.0, 1.0) for v in table[P00][1 if number == 0 else 0:]):
        problems.append("par00 not 0 or 1")
    if number == STADIUM:
        gains = table[GAIN]
        if gains.count(0.5) != 15 or min(gains) != float(GAIN_LOW) or max(gains) != float(GAIN_HIGH):
            problems.append("stadium gains")
    if problems:
        raise SystemExit("program %d: %s" % (number, "; ".join(problems)))


HEADER = ("// Generated by %s. Do not edit by hand: change the generator and run it again.\n"
          % SCRIPT)


def wrap_comment(text, width=106):
    words, lines, line = text.split(), [], "//"
    for word in words:
        if len(line) + 1 + len(word) > width:
            lines.append(line)
            line = "//"
        line += " " + word
    lines.append(line)
    return "\n".join(lines) + "\n"


def preset_source(program):
    n = program["number"]
    g = program["globals"]
    out = [HEADER, "#include <cstring>\n\n#include \"model/Program.h\"\n",
           "#include \"presets/PresetTable.h\"\n#include \"presets/Presets.h\"\n\n",
           wrap_comment("%s: %s" % (program["name"], program["comment"])),
           "void Preset%02d(Program& program) {\n" % n,
           "    static constexpr char kName[kProgramNameSize] = \"%s\";\n" % program["name"],
           "    std::memcpy(program.name, kName, sizeof kName);\n\n"]
    assignments = [("parPopulation", g["parPopulation"]), ("parPersonSelected", 0.0),
                   ("parGlobalWet", g["parGlobalWet"]), ("parGlobalDry", g["parGlobalDry"]),
                   ("parRandLower", g["parRandLower"]), ("parRandUpper", 1.0), ("parSolo", 0.0)]
    assignments += [(f, g[f]) for f in GLOBAL_FIELDS[4:]]
    for field, value in assignments:
        out.append("    program.%s = %s;\n" % (field, literal(value)))
    out.append("\n    // %s, %s, %s, %s, %s,\n    // %s, %s, parGain, par00\n"
               % tuple(SLOTS[:5] + SLOTS[5:]))
    out.append("    // clang-format off\n    static constexpr PersonValues kPeople[kNumPeople] = {\n")
    for p in range(NUM_PEOPLE):
        if p == program["heard"]:
            out.append("        // Stored but not heard at this population.\n")
        row = ", ".join(literal(program["table"][s][p]) for s in range(9))
        out.append("        {%s},  // %d\n" % (row, p))
    out.append("    };\n    // clang-format on\n    writePeople(program, kPeople);\n}\n")
    return "".join(out)


def presets_header():
    decls = "".join("void Preset%02d(Program& program);\n" % n for n in range(24))
    return (HEADER + "// The 24 factory programs. Each writes the name, globals 0 .. 6 and 12 .. 17 and "
            "slots 0 .. 8\n// of all 60 people into a program, and nothing else.\n#pragma once\n\n"
            "struct Program;\n\n" + decls +
            "\nusing PresetFunction = void (*)(Program&);\n"
            "extern const PresetFunction kFactoryPresets[24];\n")


def table_header():
    return (HEADER + "#pragma once\n\n#include \"model/Program.h\"\n\n"
            "// Slots 0 .. 8 of one person, in record order.\nusing PersonValues = float[9];\n\n"
            "inline void writePeople(Program& program, const PersonValues* people) {\n"
            "    for (int p = 0; p < kNumPeople; ++p) {\n"
            "        Individual& person = program.people[p];\n"
            "        const float* v = people[p];\n" +
            "".join("        person.%s = v[%d];\n" % (field, k)
                    for k, field in enumerate(SLOTS + ["parGain", "par00"])) +
            "    }\n}\n")


def factory_source():
    entries = "".join("    " + ", ".join("Preset%02d" % n for n in range(row, row + 8)) + ",\n"
                      for row in (0, 8, 16))
    return (HEADER + "#include \"presets/Presets.h\"\n\n"
            "const PresetFunction kFactoryPresets[24] = {\n" + entries + "};\n")


def all_files():
    files = {"Presets.h": presets_header(), "PresetTable.h": table_header(),
             "FactoryPresets.cpp": factory_source()}
    for n in range(24):
        program = design_program(n)
        check_program(program)
        files["Preset%02d.cpp" % n] = preset_source(program)
    return files


def main(argv):
    files = all_files()
    if "--check" in argv:
        stale = []
        for name, text in sorted(files.items()):
            path = os.path.join(OUT_DIR, name)
            if not os.path.exists(path) or open(path, encoding="utf-8").read() != text:
                stale.append(name)
        if stale:
            print("out of date: " + ", ".join(stale), file=sys.stderr)
            return 1
        return 0
    os.makedirs(OUT_DIR, exist_ok=True)
    for name, text in sorted(files.items()):
        with open(os.path.join(OUT_DIR, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
