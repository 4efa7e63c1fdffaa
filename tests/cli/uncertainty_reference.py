#!/usr/bin/env python3
"""`kalibron values` against an independent computation of every method's
standard uncertainty at every position.

The table is ill-conditioned on purpose: positions up to 30000 and the
standards in five tight clusters. The reference fits each method by
numpy.linalg.lstsq on the scaled design (the polynomials in Legendre
polynomials of the scaled position, a basis the tool does not use: u does
not depend on the basis) and takes u(x) = s·‖Σ⁻¹Vᵀf(x)‖ from the design's
singular value decomposition F = UΣVᵀ, which is √(f(x)ᵀ(FᵀF)⁻¹f(x))
without forming FᵀF. Weighted: the rows scaled by √w, s replaced by
max(1, √MSWD). Every u, and every value, within 1e-9 relative.

    uncertainty_reference.py KALIBRON WORKDIR
"""
import csv
import math
import os
import subprocess
import sys

import numpy as np

TOLERANCE = 1e-9


def make_table(path):
    rng = np.random.default_rng(20261209)
    starts = [0, 7000, 14500, 22000, 29700]  # the last cluster ends at 30000
    xs = np.concatenate([np.arange(s + 1, s + 301) for s in starts]).astype(float)
    truth = 1000 + 0.02 * xs - 3e-7 * xs**2 + 5 * np.sin(xs / 2000)
    sigma = 0.3 + 0.7 * rng.random(xs.size)
    ys = truth + sigma * rng.standard_normal(xs.size)
    with open(path, "w") as f:
        for x, y, e in zip(xs, ys, sigma):
            f.write("%d\t%.6f\t%.6f\n" % (x, y, e))
    # What the tool reads back from the text.
    data = np.loadtxt(path)
    return data[:, 0], data[:, 1], data[:, 2]


def run_values(tool, table, free_degree, weighted):
    args = [tool, "values", "--show", "log,poly1,poly2,poly3,poly4,poly5,zigzag", "--export", "none",
            "--free-degree", str(free_degree), "--weights", "yerr" if weighted else "none", table]
    out = subprocess.run(args, check=True, capture_output=True, text=True,
                         env=dict(os.environ, LC_ALL="C")).stdout
    rows = list(csv.reader(out.splitlines()))
    header, body = rows[0], rows[1:]
    columns = {name: [float(r[i]) if r[i] != "" else None for r in body] for i, name in enumerate(header)}
    return header, columns


def least_squares(design, y, w):
    """Values and u at every row of `design` for the points (rows of `fitted`)."""
    root = np.sqrt(w)
    a = design * root[:, None]
    coef, *_ = np.linalg.lstsq(a, y * root, rcond=None)
    r = y - design @ coef
    n, p = design.shape
    chi2 = float(np.sum(w * r * r))
    _, sv, vt = np.linalg.svd(a, full_matrices=False)
    return coef, chi2 / (n - p), sv, vt


def evaluate(coef, ratio, sv, vt, rows, weighted):
    scale = max(1.0, math.sqrt(ratio)) if weighted else math.sqrt(ratio)
    z = (rows @ vt.T) / sv
    return rows @ coef, scale * np.sqrt(np.sum(z * z, axis=1))


failures = []


def compare(what, got, expected, positions):
    for x in positions:
        g, e = got[x], expected[x]
        if e is None or not math.isfinite(e):
            if g is not None:
                failures.append("%s at %d: %r where the reference has none" % (what, x, g))
            continue
        if g is None or abs(g - e) > TOLERANCE * abs(e):
            failures.append("%s at %d: %r, reference %r" % (what, x, g, e))
    bad = [f for f in failures if f.startswith(what)]
    worst = max((abs(got[x] - expected[x]) / abs(expected[x]) for x in positions
                 if expected[x] is not None and got[x] is not None and expected[x] != 0), default=0.0)
    print("%-28s %s  largest relative difference %.2e" % (what, "ok " if not bad else "BAD", worst))


def zigzag_reference(xs, ys, last):
    # Runs of consecutive positions: the table holds no rejection and every Y is positive.
    clusters, run = [], [0]
    for i in range(1, xs.size):
        if xs[i] == xs[i - 1] + 1:
            run.append(i)
        else:
            clusters.append(run)
            run = [i]
    clusters.append(run)
    cx = [float(np.mean(xs[c])) for c in clusters]
    cy = [float(np.mean(ys[c])) for c in clusters]
    ss = sum(float(np.sum((ys[c] - np.mean(ys[c])) ** 2)) for c in clusters if len(c) > 1)
    sp = math.sqrt(ss / sum(len(c) - 1 for c in clusters if len(c) > 1))
    uc = [sp / math.sqrt(len(c)) for c in clusters]
    values, us = [None] * (last + 1), [None] * (last + 1)
    for x in range(last + 1):
        if x <= cx[0]:
            us[x] = uc[0]
        elif x >= cx[-1]:
            us[x] = uc[-1]
        for m in range(len(cx) - 1):
            if cx[m] <= x <= cx[m + 1]:
                f = (x - cx[m]) / (cx[m + 1] - cx[m])
                values[x] = cy[m] + (x - cx[m]) * (cy[m + 1] - cy[m]) / (cx[m + 1] - cx[m])
                us[x] = math.hypot((1 - f) * uc[m], f * uc[m + 1])
                break
    return values, us


def main():
    tool, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    table = os.path.join(work, "clustered.txt")
    xs, ys, errors = make_table(table)
    last = int(xs.max())
    positions = np.arange(last + 1, dtype=float)
    everywhere = range(last + 1)
    lo, hi = xs.min(), xs.max()
    t_points = (2 * xs - (lo + hi)) / (hi - lo)
    t_all = (2 * positions - (lo + hi)) / (hi - lo)

    for weighted in (False, True):
        w = 1 / errors**2 if weighted else np.ones_like(xs)
        kind = "weighted" if weighted else "unweighted"
        for free in (6, 7, 8, 9, 10):
            header, got = run_values(tool, table, free, weighted)
            methods = {"free": free}
            if free == 6:
                methods.update({"poly2": 2, "poly3": 3, "poly4": 4, "poly5": 5})
                # Line and log fit: the same formula with f(x) = (1, x) and (1, ln x).
                for name, g_points, g_all in (("lin", xs, positions),
                                              ("log", np.log(xs), np.log(np.maximum(positions, 1)))):
                    design = np.column_stack([np.ones_like(g_points), g_points])
                    coef, ratio, sv, vt = least_squares(design, ys, w)
                    value, u = evaluate(coef, ratio, sv, vt, np.column_stack([np.ones_like(g_all), g_all]), weighted)
                    value, u = list(value), list(u)
                    if name == "log":
                        value[0] = u[0] = None
                    compare("%s %s u" % (kind, name), got[name + "_u"], u, everywhere)
                    compare("%s %s value" % (kind, name), got[name], value, everywhere)
                if not weighted:
                    zv, zu = zigzag_reference(xs, ys, last)
                    compare("zigzag u", got["zigzag_u"], zu, everywhere)
                    compare("zigzag value", got["zigzag"], zv, everywhere)
            for name, degree in methods.items():
                design = np.polynomial.legendre.legvander(t_points, degree)
                coef, ratio, sv, vt = least_squares(design, ys, w)
                value, u = evaluate(coef, ratio, sv, vt, np.polynomial.legendre.legvander(t_all, degree), weighted)
                compare("%s degree %d u" % (kind, degree), got[name + "_u"], list(u), everywhere)
                compare("%s degree %d value" % (kind, degree), got[name], list(value), everywhere)

    if failures:
        print("\n".join(failures[:40]))
        print("%d differences" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
