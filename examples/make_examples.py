#!/usr/bin/env python3
"""Writes the sample data of the README tour: a synthetic iron K-edge set.

Nothing here is measured. The shapes are chosen to look like what a
beamline gives for an Fe(III) compound near the Fe K-edge (7112 eV):

  Fe_Conventional_XAFS.DAT    conventional XAFS, 7050-7300 eV, 0.5 eV steps
  Fe_XRF_Kbeta.DAT            non-resonant Fe K-beta emission, 7020-7080 eV
  Fe_RIXS_Exc7115.6eV.DAT     measured RIXS at 7115.6 eV excitation (the pre-edge
                              peak), 7020-7080 eV
  Fe_RIXS_Cut_7113eV.DAT      measured RIXS at 7113 eV excitation (below the
                              pre-edge peak), 7020-7080 eV
  Fe_RIXS_Cut_7118eV.DAT      measured RIXS at 7118 eV excitation (the rising
                              edge), 7020-7080 eV
  Fe_HERFD_Em7058eV.DAT       measured HERFD: the intensity at the K-beta main
                              line, 7058 eV emission, against the excitation
                              energy, 7105-7135 eV in 0.25 eV steps
  Fe_1compo_WIEN2k.DAT        WIEN2k-style one-component selective XAFS
  Fe_2compo_up_WIEN2k.DAT     WIEN2k-style component 1 (spin up)
  Fe_2compo_dn_WIEN2k.DAT     WIEN2k-style component 2 (spin down), on a
                              partly overlapping energy range
  Fe_general_XY1Y2.DAT        general X-Y1-Y2 selective XAFS
  Fe_K_transmission_scan.dat  the conventional XAFS as a beamline writes a
                              transmission scan: 21 '#' header lines (the
                              last names the 12 columns), energy in keV in
                              column 1, ion chambers I0 and I1 in columns 4
                              and 5, ln(I0/I1) = the conventional XAFS + 0.25
  Fe_Conventional_XAFS_scan2.DAT  a repeated scan of the conventional XAFS with
                              the monochromator 0.8 eV off and noise of its own
  Fe_foil.xdi                 the conventional XAFS as an XDI file: columns
                              energy, i0, itrans, mutrans named in the header,
                              Element.symbol Fe, Element.edge K
  Fe_project.prj              a project file of the common XAFS program (gzip):
                              groups "Fe foil" (the conventional XAFS) and
                              "Fe foil scan 2" (a repeat with noise of its own)

The WIEN2k-style files start with a four-word header line and give
energies relative to the edge, as WIEN2k's *.xspec, *.xspecup and
*.xspecdn output does; they carry the .DAT extension like the others.
All files are regenerated identically: the noise comes from a fixed-seed
generator.

The measured RIXS is made to be reproducible with the program itself, from
the other samples as the README tour sets them up: the one-component
WIEN2k spectrum as selective XAFS (divided by its maximum, both components
equal, shifted by the core energy 7113.8 eV of "Fe K-edge", broadening
1.25 eV), the conventional XAFS for the absorption correction, the emission
grid of the XRF sample, the two-component final state of the tour
(A 7045.5 eV, width 4.3, amplitude 0.65; C 7058 eV, width 2, amplitude 1)
and the placeholder factors of a new work-space (absorption correction 1,
scale 7.9e-09). The sample itself carries more pre-edge absorption than the
WIEN2k spectrum: its selective XAFS is that spectrum plus the Lorentzian
1 / ((E - 7115.6)^2 + 3^2) on both components, the peak that the RIXS
Simulation dialog shows with its default amplitude and width when the
pre-edge feature is clicked. The RIXS sum is evaluated here on its own,
every intermediate value rounded to six digits as the work-space files
store it, then given counting noise (1.5 % of the maximum at the peak) and
rounded to five digits. Calculating RIXS at 7115.6 eV from the selective
XAFS with that Lorentzian added reproduces it within the noise; without
it the calculation reaches only about half of the measured intensity, and
two fifths at the peak.

The two further cuts (7113 and 7118 eV excitation, on the emission grid of
the 7115.6 eV one) and the HERFD (rows excitation energy, intensity) are
the same sample model at other points of the RIXS plane, with the same
kind of counting noise (1.5 % of each spectrum's maximum at its peak)
drawn from a generator of their own, so that the files above stay as they
were. Together with Fe_RIXS_Exc7115.6eV.DAT they are a measured set of
three emission spectra across the pre-edge and edge and one HERFD, for
talvern-cli load-exp-cut, load-exp-herfd and plane-compare.

Run:  python3 examples/make_examples.py   (from anywhere)
"""

import gzip
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


# --- The measured RIXS sample ------------------------------------------------

CORE_ENERGY = 7113.8        # "Fe K-edge" with the core energy typed in the tour
BROADENING = 1.25           # lifetime broadening of the Fe K-edge, full width
ABS_CORRECTION = 1.0        # placeholders of a new work-space
SCALE = 7.9e-09
RIXS_EXCITATION = 7115.6    # the pre-edge peak of the selective XAFS
# Final state of the tour, two components: A+B act on component 1, C+D on 2.
FINAL_STATE = dict(flag=1, widths=(4.3, 5.78, 2.0, 1.07),
                   positions=(7045.5, 7056.0, 7058.0, 7060.1),
                   amplitudes=(0.65, 0.0, 1.0, 0.0))
# The pre-edge peak the sample has beyond the WIEN2k spectrum.
PEAK_CENTRE, PEAK_AMP, PEAK_WIDTH = 7115.6, 1.0, 3.0


def as_stored(v):
    """The value as a six-digit text file gives it back."""
    return float(f"{v:.6g}")


def selective_for_rixs(one):
    # The one-component import: divided by the maximum, both components equal;
    # then made absolute by the core energy, then the pre-edge Lorentzian added
    # to both components.
    rows = [(as_stored(e), as_stored(v)) for e, v in one]
    top = max(v for _, v in rows)
    out = []
    for e, v in rows:
        e = as_stored(e + CORE_ENERGY)
        y = as_stored(v / top)
        peak = as_stored(PEAK_AMP / ((e - PEAK_CENTRE) ** 2 + PEAK_WIDTH ** 2))
        y = as_stored(y + peak)
        out.append((e, y, y))
    return out


def normalised(conv):
    rows = [(as_stored(e), as_stored(mu)) for e, mu in conv]
    top = max(mu for _, mu in rows)
    return [(e, as_stored(mu / top)) for e, mu in rows]


def emission_grid(xrf_rows):
    energies = [as_stored(e) for e, _ in xrf_rows]
    start, end, step = min(energies), max(energies), abs(energies[1] - energies[0])
    grid_points, w = [], start
    while w <= end:                 # accumulated, as the program steps it
        grid_points.append(w)
        w += step
    return grid_points


def absorption_at(conv, omega):
    # Straight line through the first point less than 0.5 eV below omega (or
    # above it) and the next one; 1 when no point qualifies.
    for j in range(len(conv) - 1):
        if omega - conv[j][0] < 0.5:
            (e0, m0), (e1, m1) = conv[j], conv[j + 1]
            return m0 + (m1 - m0) * (omega - e0) / (e1 - e0)
    return 1.0


def rixs_sum(sel, conv, omega, emission, final):
    """Intensity (total, component 1, component 2) at each emission energy.

    Kramers-Heisenberg-type sum over the selective XAFS rows (E, Y1, Y2):
      T_X(w) = h/3 * AC * sum_i w_i * (w/omega) * E_i / ((E_i - omega)^2 + g^2)
               * H_X / ((W_X/2)^2 + (E_i - omega + w - P_X)^2) * M_X * Y_X,i
    with g half the broadening, h the selective XAFS step, Simpson-type
    weights 1, 4, 2, 4, ..., 2 or 4 (no end correction), AC = 1 / (1 + kappa *
    mu(omega)), and the energy factors M_A = P_A, M_B = 2 P_B - P_A, M_C = P_C,
    M_D = 2 P_D - P_C.
    """
    g = 0.5 * BROADENING
    h = sel[1][0] - sel[0][0]
    ac = 1.0 / (1.0 + ABS_CORRECTION * absorption_at(conv, omega))
    W, P, H = final["widths"], final["positions"], final["amplitudes"]
    M = (P[0], P[1] + (P[1] - P[0]), P[2], P[3] + (P[3] - P[2]))
    rows = []
    for w in emission:
        t = [0.0, 0.0, 0.0, 0.0]
        for i, (e, y1, y2) in enumerate(sel):
            weight = 1 if i == 0 else (4 if i % 2 else 2)
            core = weight * (w / omega) * e / ((e - omega) ** 2 + g * g)
            for x in range(4):
                y = y1 if x < 2 else y2
                t[x] += core * H[x] / ((W[x] / 2.0) ** 2 + (e - omega + w - P[x]) ** 2) * M[x] * y
        t = [v * h / 3.0 * ac for v in t]
        if final["flag"] == 1:
            i1, i2 = SCALE * (t[0] + t[1]), SCALE * (t[2] + t[3])
            rows.append((w, i1 + i2, i1, i2))
        else:
            total = SCALE * sum(t)
            rows.append((w, total, total, 0.0))
    return rows


def with_noise(rng, points):
    """(energy, intensity) pairs with counting noise, rounded to five digits."""
    top = max(i for _, i in points)
    rows = []
    for e, i in points:
        noisy = i + rng.gauss(0.0, 0.015 * math.sqrt(top * i))    # counting noise
        rows.append((as_stored(e), float(f"{max(noisy, 0.0):.5g}")))
    return rows


def measured_rixs(rng, conv, xrf_rows, one, omega=RIXS_EXCITATION):
    calc = rixs_sum(selective_for_rixs(one), normalised(conv), omega,
                    emission_grid(xrf_rows), FINAL_STATE)
    return with_noise(rng, [(w, i) for w, i, _, _ in calc])


# Further points of the sample's RIXS plane: cuts below the pre-edge peak and
# on the rising edge, and a HERFD at the K-beta main line.
CUT_EXCITATIONS = ((7113.0, "Fe_RIXS_Cut_7113eV.DAT"), (7118.0, "Fe_RIXS_Cut_7118eV.DAT"))
HERFD_EMISSION = 7058.0


def measured_herfd(rng, conv, one):
    sel, norm = selective_for_rixs(one), normalised(conv)
    points = [(omega, rixs_sum(sel, norm, omega, [HERFD_EMISSION], FINAL_STATE)[0][1])
              for omega in grid(7105.0, 7135.0, 0.25)]
    return with_noise(rng, points)


SCAN_COLUMNS = ("Energy", "Time", "Ia", "I0", "I1", "I2", "If", "Iref",
                "muT", "muRef", "Ring", "Temp")


def transmission_scan(conv, rng):
    """The conventional XAFS as a 12-column scan file with energies in keV."""
    header = [
        "# Beamline: BL-7  Fe K-edge transmission scan (synthetic sample data)",
        "# Sample: Fe(III) compound, pellet in BN",
        "# Date: 2024-03-14 02:17:44",
        "# Monochromator: Si(111) double crystal, d = 3.13551 A",
        "# Edge: Fe K, E0 = 7.112 keV",
        "# Scan: 7.050 - 7.300 keV, step 0.0005 keV",
        "# Dwell: 1.0 s per point",
        "# Detectors: ionisation chambers Ia, I0, I1, I2 (N2/He), Lytle If",
        "# I0 gas: N2 15 %, He 85 %",
        "# I1 gas: N2 50 %, Ar 50 %",
        "# I2 gas: N2 50 %, Ar 50 %",
        "# Reference: Fe foil between I1 and I2",
        "# Amplifier gains: 1e8 1e8 1e9 1e9 V/A",
        "# Offsets subtracted: yes",
        "# Ring current: top-up, about 400 mA",
        "# Harmonic rejection: Rh mirrors, 3.5 mrad",
        "# Slits: 0.5 mm x 5 mm",
        "# Temperature: room temperature",
        "# Columns: energy (keV), counting time (s), currents (counts), mu, ring (mA), T (K)",
        "# muT = ln(I0/I1), muRef = ln(I1/I2)",
        "#  " + "  ".join(SCAN_COLUMNS),
    ]
    rows = []
    for i, (e, mu) in enumerate(conv):
        drift = 1.0 + 0.02 * math.sin(i / 60.0)
        i0 = 120000.0 * drift + rng.gauss(0.0, 30.0)
        i1 = i0 * math.exp(-(mu + 0.25))
        ref = 0.4 + edge_step(e, EDGE, 1.5)
        i2 = i1 * math.exp(-ref)
        ia = 0.8 * i0
        fl = i0 * 0.004 * mu
        rows.append((f"{e / 1000.0:.4f}", "1.0", f"{ia:.1f}", f"{i0:.1f}", f"{i1:.1f}", f"{i2:.1f}",
                     f"{fl:.2f}", f"{ia * 0.5:.1f}", f"{math.log(i0 / i1):.6f}",
                     f"{math.log(i1 / i2):.6f}", f"{400.0 - 0.001 * i:.3f}", "295.2"))
    with open(os.path.join(HERE, "Fe_K_transmission_scan.dat"), "w", newline="\n") as out:
        out.write("\n".join(header) + "\n")
        for row in rows:
            out.write("  ".join(row) + "\n")


def repeated_scan(conv, rng, shift=0.8):
    return [(round(e + shift, 4), round(mu + rng.gauss(0.0, 0.002), 5)) for e, mu in conv]


def xdi_file(conv):
    lines = ["# XDI/1.0 TALVERN-examples/1.0",
             "# Column.1: energy eV",
             "# Column.2: i0",
             "# Column.3: itrans",
             "# Column.4: mutrans",
             "# Element.symbol: Fe",
             "# Element.edge: K",
             "# Mono.d_spacing: 3.13551",
             "# Sample.name: synthetic Fe(III) compound",
             "#----",
             "# energy i0 itrans mutrans"]
    for e, mu in conv:
        i0 = 120000.0
        lines.append(f"{e:.6g}  {i0:.6g}  {i0 * math.exp(-mu):.6g}  {mu:.6g}")
    with open(os.path.join(HERE, "Fe_foil.xdi"), "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


def project_file(conv, repeat):
    def group(name, label, rows):
        xs = ",".join(f"'{e:.6g}'" for e, _ in rows)
        ys = ",".join(f"'{mu:.6g}'" for _, mu in rows)
        return (f"$old_group = '{name}';\n"
                f"@args = ('bkg_e0','7112','is_xmu','1','label','{label}');\n"
                f"@x = ({xs});\n@y = ({ys});\n@stddev = ();\n\n")
    text = ("# project file of the common XAFS program, made by make_examples.py\n\n" +
            group("fefoa", "Fe foil", conv) + group("fefob", "Fe foil scan 2", repeat) + "1;\n")
    with open(os.path.join(HERE, "Fe_project.prj"), "wb") as out:
        out.write(gzip.compress(text.encode(), mtime=0))


def main():
    rng = random.Random(7112)
    conv = conventional_xafs(rng)
    xrf_rows = xrf(rng)
    one = wien2k_one()
    write("Fe_Conventional_XAFS.DAT", conv)
    write("Fe_XRF_Kbeta.DAT", xrf_rows)
    write("Fe_RIXS_Exc7115.6eV.DAT", measured_rixs(rng, conv, xrf_rows, one))
    write("Fe_1compo_WIEN2k.DAT", one, "# ENERGY XAS Fe-K")
    up, dn = wien2k_two()
    write("Fe_2compo_up_WIEN2k.DAT", up, "# ENERGY XAS-up Fe-K")
    write("Fe_2compo_dn_WIEN2k.DAT", dn, "# ENERGY XAS-dn Fe-K")
    write("Fe_general_XY1Y2.DAT", general())
    transmission_scan(conv, random.Random(26))
    measured = random.Random(7058)
    for omega, name in CUT_EXCITATIONS:
        write(name, measured_rixs(measured, conv, xrf_rows, one, omega))
    write("Fe_HERFD_Em7058eV.DAT", measured_herfd(measured, conv, one))
    write("Fe_Conventional_XAFS_scan2.DAT", repeated_scan(conv, random.Random(8)))
    xdi_file(conv)
    project_file(conv, repeated_scan(conv, random.Random(9), shift=0.0))


if __name__ == "__main__":
    main()
