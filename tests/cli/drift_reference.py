#!/usr/bin/env python3
"""`kalibron values` and `kalibron fit` for the drift methods against an
independent computation, unweighted and with `--weights yerr`.

The table: clusters of two to four standards at consecutive positions (the
zigzag's clusters, whose pooled scatter the bracketing rules take), gaps of
samples between them, room before the first and after the last standard.

  - spline: scipy.interpolate.make_smoothing_spline(x, y, w, lam=None), the
    lambda its GCV search picks (recorded) equal to the tool's, the value at
    every position within 1e-8 of the data's range (outside the standards the
    straight line with scipy's end slope); u = s * ||W^-1/2 l(x)|| with l(x)
    from scipy refits of unit vectors at that lambda and s^2 = sum w r^2 /
    (n - tr H), within 1e-6 relative; tr(H) as the tool's "edf".
  - preceding, succeeding, bracket: the standard before, after, their mean
    (an end takes the side there is) by numpy.searchsorted; u = s_p, or s_p/sqrt(2)
    strictly between two standards, s_p pooled over the clusters by hand.
  - mean: numpy's mean, u = std(ddof=1)/sqrt(n).
Every column's cell must be present where the method has a value.

    drift_reference.py KALIBRON WORKDIR
"""
import csv
import json
import math
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "regression"))
from scipy_spline import (chosen, check, extended, make_smoothing_spline, np,  # noqa: E402
                          report)

METHODS = ["spline", "preceding", "succeeding", "bracket", "mean"]



def make_table(path):
    rng = np.random.default_rng(919)
    xs = []
    start = 40
    while start < 900:
        size = int(rng.integers(2, 5))
        xs.extend(range(start, start + size))
        start += size + int(rng.integers(2, 6))
    x = np.array(xs, dtype=float)
    sigma = 0.5 + rng.random(x.size)
    y = 800 + 0.05 * x + 30 * np.sin(x / 15) + sigma * rng.standard_normal(x.size)
    with open(path, "w") as f:
        for a, b, e in zip(x, y, sigma):
            f.write("%d\t%.6f\t%.6f\n" % (a, b, e))
    data = np.loadtxt(path)  # what the tool reads back
    return data[:, 0], data[:, 1], data[:, 2], int(x[-1])  # the table ends at its last standard


def run(tool, args, table):
    return subprocess.run([tool] + args + [table], check=True, capture_output=True, text=True,
                          env=dict(os.environ, LC_ALL="C")).stdout


def columns_of(text):
    rows = list(csv.reader(text.splitlines()))
    header, body = rows[0], rows[1:]
    return {name: np.array([float(r[i]) if r[i] != "" else np.nan for r in body]) for i, name in enumerate(header)}




def pooled_scatter(x, y):
    """s_p over the runs of consecutive positions with two or more standards,
    the first 100 runs as the zigzag holds them."""
    ss, dof, start, runs = 0.0, 0, 0, 0
    for k in range(1, len(x) + 1):
        if k == len(x) or x[k] != x[k - 1] + 1:
            runs += 1
            if runs > 100:
                break
            run_y = y[start:k]
            if len(run_y) >= 2:
                ss += float(np.sum((run_y - run_y.mean()) ** 2))
                dof += len(run_y) - 1
            start = k
    return math.sqrt(ss / dof)


def rules(x, y, pos, sp):
    after = np.searchsorted(x, pos, side="left")  # first standard at or after
    n = len(x)
    exact = (after < n) & (x[np.minimum(after, n - 1)] == pos)
    before = np.where(exact, after, after - 1)
    yb = np.where(before >= 0, y[np.clip(before, 0, n - 1)], np.nan)
    ya = np.where(after < n, y[np.clip(after, 0, n - 1)], np.nan)
    yb = np.where(np.isnan(yb), ya, yb)  # an end takes the side there is
    ya = np.where(np.isnan(ya), yb, ya)
    two = (before >= 0) & (after < n) & ~exact
    u_avg = np.where(two, sp / math.sqrt(2), sp)
    return {"preceding": (yb, np.full(pos.size, sp)), "succeeding": (ya, np.full(pos.size, sp)),
            "bracket": ((yb + ya) / 2, u_avg)}


def compare(name, got, ref, scale, tol):
    bad = np.isnan(got) != np.isnan(ref)
    check(name, not bad.any(), f"cells empty at {np.flatnonzero(bad)[:5]}")
    err = float(np.nanmax(np.abs(got - ref))) / scale
    check(name, err <= tol, f"differs by {err:.3g} (limit {tol})")
    return err


def main():
    tool, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    table = os.path.join(work, "drift.txt")
    x, y, sigma, max_x = make_table(table)
    pos = np.arange(0, max_x + 1, dtype=float)
    scale = float(np.ptp(y))
    sp = pooled_scatter(x, y)
    n = len(x)
    for weighted in (False, True):
        tag = "weighted" if weighted else "unweighted"
        w = 1 / sigma**2 if weighted else np.ones(n)
        opts = ["--show", ",".join(METHODS), "--export", "none", "--weights", "yerr" if weighted else "none"]
        cols = columns_of(run(tool, ["values"] + opts, table))
        fit = json.loads(run(tool, ["fit"] + opts, table))
        check(tag, all(m in cols and m + "_u" in cols for m in METHODS), "missing columns")

        chosen.clear()
        spl = make_smoothing_spline(x, y, w)
        lam = chosen[-1]
        check(tag, lam < 0.9 * n, f"lambda {lam} at the end of the bracket: the table checks too little")
        check(tag, abs(fit["spline"]["lambda"] - lam) <= 1e-8 * lam, f"lambda {fit['spline']['lambda']} vs {lam}")
        e_val = compare(tag + " spline", cols["spline"], extended(spl, x, pos), scale, 1e-8)
        # The smoother's rows l(x): scipy's spline of every unit vector, same lambda.
        L = np.column_stack([extended(make_smoothing_spline(x, np.eye(n)[j], w, lam=lam), x, pos) for j in range(n)])
        H = L[x.astype(int)]
        df = float(np.trace(H))
        r = y - H @ y
        s = math.sqrt(float(np.sum(w * r * r)) / (n - df))
        u_ref = s * np.sqrt((L * L) @ (1 / w))
        check(tag, abs(fit["spline"]["edf"] - df) <= 1e-8 * n, f"edf {fit['spline']['edf']} vs {df}")
        e_u = compare(tag + " spline_u", cols["spline_u"] / u_ref, np.ones(pos.size), 1.0, 1e-6)

        for rule, (value, u) in rules(x, y, pos, sp).items():
            compare(f"{tag} {rule}", cols[rule], value, scale, 1e-12)
            compare(f"{tag} {rule}_u", cols[rule + "_u"], u, sp, 1e-12)
        compare(tag + " mean", cols["mean"], np.full(pos.size, y.mean()), scale, 1e-12)
        compare(tag + " mean_u", cols["mean_u"], np.full(pos.size, y.std(ddof=1) / math.sqrt(n)), scale, 1e-12)
        print(f"{tag}: n={n} MaxX={max_x} lambda={lam:.6g} edf={df:.4g} spline {e_val:.2g} of range, "
              f"u {e_u:.2g} relative; s_p={sp:.4g}")
    return report()


if __name__ == "__main__":
    sys.exit(main())
