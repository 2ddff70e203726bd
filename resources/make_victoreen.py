#!/usr/bin/env python3
"""Writes Victoreen1.txt beside this script.

Run by hand (needs Debian's python3-xraylib); the build only embeds the result.

Edge energies (keV) come from xraylib.EdgeEnergy; each wavelength is
12.398424360387684 / E angstrom. The Victoreen coefficients C and D are a
least-squares fit of mu/rho = C lambda^3 - D lambda^4 (cm^2/g, lambda in
angstrom) to xraylib.CS_Photo just above each edge, up to the next edge (K: up
to three times the K energy), weighted by relative error; where the next edge
is closer than 15 % only C is fitted (D = 0). A fit that yields no
positive C, or a range xraylib cannot cover, is written as "=".

A few lines and the M1 column are fixed by hand below (PINNED, M1_WAVELENGTH).
"""

import math
import os
from decimal import Decimal

import xraylib

HC_KEV_A = 12.398424360387684
LAST_Z = 92
SHELLS = [xraylib.K_SHELL, xraylib.L1_SHELL, xraylib.L2_SHELL, xraylib.L3_SHELL]

HEADER = ["=", "原子番号",
          "K吸収端エネルギー", "K吸収端波長", "K係数C", "K係数D",
          "LI吸収端エネルギー", "LI吸収端波長", "LI係数C", "LI係数D",
          "LII吸収端エネルギー", "LII吸収端波長", "LII係数C", "LII係数D",
          "LIII吸収端エネルギー", "LIII吸収端波長", "LIII係数C", "LIII係数D",
          "M1吸収端波長", "M1係数C", "M1係数D"]

# Items written exactly as given: edge energies (keV) and coefficients per
# edge slot; None leaves an item to the computation, "=" marks it missing.
PINNED = {
    1: {"edges": ["=", "=", "=", "="],
        "coeffs": [("0.0127", "0.00000466"), ("=", "="), ("=", "="), ("=", "=")]},
    29: {"edges": ["8.98436029", "1.1", "0.954", "0.935"],
         "coeffs": [("176", "48.3"), None, None, None]},
    92: {"edges": ["115.009", "21.762", "20.946", "17.158"],
         "coeffs": [("=", "="), None, None, None]},
}

# The M1 column holds a wavelength (angstrom) for these elements only.
M1_WAVELENGTH = {74: "4.374", 78: "3.61"}


def edge_energy(z, shell):
    try:
        e = xraylib.EdgeEnergy(z, shell)
    except ValueError:
        return 0.0
    return e if e > 0 else 0.0


def photo(z, e):
    try:
        return xraylib.CS_Photo(z, e)
    except ValueError:
        return 0.0


def fit_victoreen(z, e_lo, e_hi, n=40):
    """Fits C, D over [e_lo, e_hi] keV; returns None when no sound fit exists."""
    if e_lo <= 0 or e_hi <= e_lo * 1.002:
        return None
    pts = []
    for i in range(n):
        e = e_lo * (e_hi / e_lo) ** (i / (n - 1))
        mu = photo(z, e)
        if mu <= 0:
            return None
        lam = HC_KEV_A / e
        pts.append((lam ** 3 / mu, lam ** 4 / mu))
    # minimise sum (C a - D b - 1)^2
    saa = sum(a * a for a, _ in pts)
    sbb = sum(b * b for _, b in pts)
    sab = sum(a * b for a, b in pts)
    sa = sum(a for a, _ in pts)
    sb = sum(b for _, b in pts)
    det = saa * sbb - sab * sab
    c = d = None
    if det > 0 and abs(det) > 1e-12 * saa * sbb:
        c = (sa * sbb - sb * sab) / det
        d = (sa * sab - sb * saa) / det
    # Between close edges the two terms cannot be told apart: C alone there.
    narrow = e_hi / e_lo < 1.15
    if narrow or c is None or d is None or d < 0:
        c, d = sa / saa, 0.0
    if not (c > 0) or math.isnan(c):
        return None
    return c, d


def num(v, digits=6):
    """v rounded to the given significant digits, written without an exponent."""
    text = format(Decimal("%.*g" % (digits, v)), "f")
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return text


def element_line(z):
    symbol = xraylib.AtomicNumberToSymbol(z)
    pin = PINNED.get(z, {})
    energies = [edge_energy(z, s) for s in SHELLS]
    edge_texts = []
    for i in range(4):
        given = pin.get("edges", [None] * 4)[i]
        if given is not None:
            edge_texts.append(given)
            if given != "=":
                energies[i] = float(given)
        else:
            edge_texts.append(num(energies[i]) if energies[i] > 0 else "=")
    # upper bound of each edge's fit range: K to 3 E_K, L1 to K, L2 to L1, L3 to L2
    upper = [energies[0] * 3, energies[0] * 0.998, energies[1] * 0.998, energies[2] * 0.998]
    items = [symbol, str(z)]
    for i in range(4):
        e = energies[i]
        lam = num(HC_KEV_A / e) if e > 0 and edge_texts[i] != "=" else "="
        given = pin.get("coeffs", [None] * 4)[i]
        if given is not None:
            c_text, d_text = given
        else:
            fit = fit_victoreen(z, e * 1.002, upper[i]) if e > 0 else None
            c_text, d_text = (num(fit[0], 4), num(fit[1], 4)) if fit else ("=", "=")
        items += [edge_texts[i], lam, c_text, d_text]
    items += [M1_WAVELENGTH.get(z, "="), "=", "="]
    assert len(items) == 21
    return " ".join(items)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Victoreen1.txt")
    lines = [" ".join(HEADER)] + [element_line(z) for z in range(1, LAST_Z + 1)]
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
