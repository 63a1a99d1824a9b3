#!/usr/bin/env python3
"""Writes the sample data of the README tour: a synthetic iron K-edge set.

Nothing here is measured. The shapes are chosen to look like what a
beamline gives for an Fe(III) compound near the Fe K-edge (7112 eV):

  Fe_Conventional_XAFS.DAT    conventional XAFS, 7050-7300 eV, 0.5 eV steps
  Fe_XRF_Kbeta.DAT            non-resonant Fe K-beta emission, 7020-7080 eV
  Fe_RIXS_Exc7150eV.DAT       measured RIXS at 7150 eV excitation, 7020-7080 eV
  Fe_1compo_WIEN2k.DAT        WIEN2k-style one-component selective XAFS
  Fe_2compo_up_WIEN2k.DAT     WIEN2k-style component 1 (spin up)
  Fe_2compo_dn_WIEN2k.DAT     WIEN2k-style component 2 (spin down), on a
                              partly overlapping energy range
  Fe_general_XY1Y2.DAT        general X-Y1-Y2 selective XAFS

The WIEN2k-style files start with a four-word header line and give
energies relative to the edge, as WIEN2k's *.xspec, *.xspecup and
*.xspecdn output does; they carry the .DAT extension like the others.
All files are regenerated identically: the noise comes from a fixed-seed
generator.

Run:  python3 examples/make_examples.py   (from anywhere)
"""

import math
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
EDGE = 7112.0


def lorentz(x, x0, fwhm):
    half = fwhm / 2.0
    return half * half / ((x - x0) ** 2 + half * half)


def gauss(x, x0, fwhm):
    sigma = fwhm / 2.3548
    return math.exp(-0.5 * ((x - x0) / sigma) ** 2)


def edge_step(x, x0, width):
    return 0.5 + math.atan((x - x0) / (width / 2.0)) / math.pi


def grid(start, stop, step):
    n = int(round((stop - start) / step))
    return [round(start + i * step, 4) for i in range(n + 1)]


def write(name, rows, header=None):
    with open(os.path.join(HERE, name), "w", newline="\n") as out:
        if header:
            out.write(header + "\n")
        for row in rows:
            out.write("  ".join(f"{v:.6g}" if isinstance(v, float) else str(v) for v in row))
            out.write("\n")


def conventional_xafs(rng):
    rows = []
    for e in grid(7050.0, 7300.0, 0.5):
        pre = 0.02 + 0.0001 * (e - 7050.0)
        mu = pre + edge_step(e, EDGE + 2.0, 3.0)
        mu += 0.08 * gauss(e, 7114.3, 2.0)             # 1s -> 3d pre-edge peak
        mu += 0.45 * lorentz(e, 7131.0, 7.0)           # white line
        k = math.sqrt(max(e - EDGE, 0.0) * 0.2625)      # photoelectron wave number (1/A)
        mu += 0.06 * math.sin(2.0 * 2.0 * k + 0.5) * math.exp(-0.02 * k * k) * edge_step(e, 7140.0, 10.0)
        mu += rng.gauss(0.0, 0.002)
        rows.append((e, round(mu, 5)))
    return rows


def kbeta(e, main=7058.0):
    # K-beta 1,3 with its K-beta' satellite and a weak valence-to-core tail.
    return (1.0 * lorentz(e, main, 3.2) + 0.18 * lorentz(e, main - 12.5, 5.5)
            + 0.02 * lorentz(e, 7094.0, 6.0))


def xrf(rng):
    rows = []
    for e in grid(7020.0, 7080.0, 0.25):
        i = 5200.0 * kbeta(e) + 40.0
        rows.append((e, float(max(round(i + rng.gauss(0.0, math.sqrt(i))), 0))))
    return rows


def rixs(rng):
    # Excited 38 eV above the edge the emission is close to the non-resonant
    # one, slightly narrower and with a weaker satellite.
    rows = []
    for e in grid(7020.0, 7080.0, 0.25):
        i = 0.92 * lorentz(e, 7058.2, 3.0) + 0.14 * lorentz(e, 7045.6, 5.0) + 0.01
        rows.append((e, round(max(i + rng.gauss(0.0, 0.006), 0.0), 5)))
    return rows


def selective(e, shift=0.0, weight=1.0):
    # Fe p-projected absorption: a pre-edge feature, the main edge and two
    # broad resonances, relative to the edge.
    x = e - shift
    s = 0.05 * gauss(x, 1.8, 1.2)
    s += weight * (0.8 * edge_step(x, 6.0, 2.5) + 0.9 * gauss(x, 9.5, 3.0) + 0.35 * gauss(x, 22.0, 8.0))
    return s


def wien2k_one():
    return [(e, round(selective(e), 6)) for e in grid(-5.0, 45.0, 0.1)]


def wien2k_two():
    up = [(e, round(selective(e, 0.0, 1.0), 6)) for e in grid(-5.0, 40.0, 0.1)]
    dn = [(e, round(selective(e, 1.4, 0.7), 6)) for e in grid(-3.0, 45.0, 0.1)]
    return up, dn


def general():
    return [(e, round(selective(e), 6), round(selective(e, 1.4, 0.7), 6)) for e in grid(-5.0, 40.0, 0.1)]


def main():
    rng = random.Random(7112)
    write("Fe_Conventional_XAFS.DAT", conventional_xafs(rng))
    write("Fe_XRF_Kbeta.DAT", xrf(rng))
    write("Fe_RIXS_Exc7150eV.DAT", rixs(rng))
    write("Fe_1compo_WIEN2k.DAT", wien2k_one(), "# ENERGY XAS Fe-K")
    up, dn = wien2k_two()
    write("Fe_2compo_up_WIEN2k.DAT", up, "# ENERGY XAS-up Fe-K")
    write("Fe_2compo_dn_WIEN2k.DAT", dn, "# ENERGY XAS-dn Fe-K")
    write("Fe_general_XY1Y2.DAT", general())


if __name__ == "__main__":
    main()
