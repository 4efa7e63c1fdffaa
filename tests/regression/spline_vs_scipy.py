#!/usr/bin/env python3
"""The smoothing spline of spline_dump against scipy 1.10's make_smoothing_spline.

For seeded tables of 5 to 6000 standards at whole positions up to 30 000, with
unit and with varied weights (four standards, which scipy 1.10 cannot fit,
against Reinsch's form instead):
  - lambda equal to the one scipy's GCV search picks (at the end of its bracket, 0 < lambda < n,
    or, for the fast drifts, inside it);
  - the value at every position 0..MaxX within 1e-8 of the data's range
    (outside the first and last standard against the straight line continuing
    scipy's spline with its end slope: the natural spline's own extension,
    where scipy's BSpline would continue the end cubic);
  - on tables small enough for a dense check, the smoother itself from scipy
    refits of unit vectors at the same lambda: leverages, tr(H), s, and
    u(x) = s * ||W^-1/2 l(x)|| at every position, and the leave-one-out
    predictions against scipy refits without each standard.
Usage: spline_vs_scipy.py PATH/TO/spline_dump
"""
import os
import subprocess
import sys
import tempfile

from scipy_spline import (chosen, check, extended, make_smoothing_spline, np,  # noqa: E402
                          report, scipy)

DUMP = sys.argv[1]





def run_dump(x, y, w, max_x, lam=None):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        for a, b, c in zip(x, y, w):
            f.write(f"{a!r} {b!r} {c!r}\n")
        path = f.name
    try:
        args = [DUMP, path, str(max_x)] + ([repr(lam)] if lam is not None else [])
        out = subprocess.run(args, capture_output=True, text=True, check=True).stdout.split("\n")
    finally:
        os.unlink(path)
    head = [float(v) for v in out[0].split()]
    rows = np.array([[float(v) for v in line.split()] for line in out[1:] if line])
    values = rows[: max_x + 1]
    per_standard = rows[max_x + 1:]
    return head, values[:, 0], values[:, 1], per_standard[:, 0], per_standard[:, 1]


def table(rng, n, lo, hi, weighted, drift):
    x = np.sort(rng.choice(np.arange(lo, hi + 1), size=n, replace=False)).astype(float)
    t = x / hi
    if drift == "smooth":
        y = 1000 + 40 * np.sin(5 * t) + 15 * t * t + rng.normal(0, 2, n)
    elif drift == "wiggle":  # fast, with little noise: GCV's minimum inside scipy's bracket
        y = 100 + 10 * np.sin(20 * t) + rng.normal(0, 0.01, n)
    elif drift == "steps":
        y = 50 + 3 * (t > 0.4) - 2 * (t > 0.7) + rng.normal(0, 0.3, n)
    else:  # nearly a line: GCV goes to the edge of scipy's bracket
        y = 7.5 + 0.3 * t + rng.normal(0, 0.01, n)
    w = rng.uniform(0.2, 5.0, n) if weighted else np.ones(n)
    return x, y, w


def reinsch_q_r(x):
    """Reinsch's Q (second divided differences) and R (tridiagonal) of the knots:
    the integral of g''^2 over the natural spline through values g is g' Q R^-1 Q' g."""
    n = len(x)
    h = np.diff(x)
    Q = np.zeros((n, n - 2))
    R = np.zeros((n - 2, n - 2))
    for j in range(1, n - 1):
        Q[j - 1, j - 1], Q[j, j - 1], Q[j + 1, j - 1] = 1 / h[j - 1], -1 / h[j - 1] - 1 / h[j], 1 / h[j]
        R[j - 1, j - 1] = (h[j - 1] + h[j]) / 3
        if j < n - 2:
            R[j - 1, j] = R[j, j - 1] = h[j] / 6
    return Q, R


def compare(name, x, y, w, max_x, dense):
    chosen.clear()
    spl = make_smoothing_spline(x, y, w)
    lam = chosen[-1]
    (my_lam, my_df, my_s), values, u, lev, loo = run_dump(x, y, w, max_x)
    scale = float(np.ptp(y)) or 1.0
    pos = np.arange(0, max_x + 1, dtype=float)
    ref = extended(spl, x, pos)
    err = float(np.max(np.abs(values - ref))) / scale
    check(name, abs(my_lam - lam) <= 1e-8 * abs(lam), f"lambda {my_lam!r} vs scipy {lam!r}")
    check(name, err <= 1e-8, f"values differ by {err:.3g} of the data range")
    report = f"{name}: n={len(x)} lambda={lam:.6g} df={my_df:.4g} max value error {err:.2g}"
    if dense:
        n = len(x)
        # Columns of the smoother: scipy's spline of each unit vector, same lambda.
        basis = [make_smoothing_spline(x, np.eye(n)[j], w, lam=lam) for j in range(n)]
        L = np.column_stack([extended(b, x, pos) for b in basis])
        H = np.column_stack([b(x) for b in basis])
        # I - H in Reinsch's form, dense: lambda W^-1 Q (R + lambda Q' W^-1 Q)^-1 Q'. It must be
        # scipy's smoother (which says scipy's lambda weighs the integral of g''^2 itself),
        # and it gives n - tr(H) and the residuals without cancellation near interpolation.
        Q, R = reinsch_q_r(x)
        IH = lam * (Q / w[:, None]) @ np.linalg.solve(R + lam * Q.T @ (Q / w[:, None]), Q.T)
        check(name, np.max(np.abs(np.eye(n) - IH - H)) <= 1e-8, "scipy's smoother is not Reinsch's")
        df = n - float(np.trace(IH))
        r = IH @ y
        check(name, abs(my_df - df) <= 1e-8 * n, f"tr(H) {my_df!r} vs {df!r}")
        check(name, np.max(np.abs(lev - np.diag(H))) <= 1e-8, "leverages differ")
        if n - df < 1:
            # Less than one residual degree of freedom: no scatter, no u.
            check(name, np.isnan(my_s) and bool(np.all(np.isnan(u))), f"s {my_s!r} with n - tr(H) = {n - df:.3g}")
            report += f", n-df {n - df:.3g}, no u"
        else:
            s = np.sqrt(np.sum(w * r * r) / (n - df))
            u_ref = s * np.sqrt((L * L) @ (1 / w))
            check(name, abs(my_s - s) <= 1e-7 * s, f"s {my_s!r} vs {s!r}")
            uerr = float(np.max(np.abs(u - u_ref) / u_ref))
            check(name, uerr <= 1e-6, f"u differs by {uerr:.3g} relative")
            report += f", n-df {n - df:.3g}, u {uerr:.2g} rel"
        if n < 6:  # scipy 1.10 cannot fit the four left
            print(report)
            return
        # Leave-one-out: scipy refit without each standard, same lambda.
        brute = np.empty(n)
        for i in range(n):
            keep = np.arange(n) != i
            brute[i] = extended(make_smoothing_spline(x[keep], y[keep], w[keep], lam=lam), x[keep],
                                np.array([x[i]]))[0]
        lerr = float(np.max(np.abs(loo - brute))) / scale
        check(name, lerr <= 1e-9, f"leave-one-out differs by {lerr:.3g} of the data range")
        report += f", leave-one-out {lerr:.2g}"
    print(report)


def reinsch(x, y, w, lam):
    """The natural smoothing spline's values at the knots, (W + lam Q R^-1 Q')^-1 W y."""
    Q, R = reinsch_q_r(x)
    return np.linalg.solve(np.diag(w) + lam * Q @ np.linalg.solve(R, Q.T), w * y)


def four_standards():
    """scipy 1.10 cannot fit four standards; the values at the knots against Reinsch's form."""
    x = np.array([3.0, 10.0, 12.0, 30.0])
    y = np.array([5.0, 7.0, 6.5, 9.0])
    w = np.array([1.0, 2.0, 0.5, 1.0])
    for lam in (0.1, 10.0, 1000.0):
        values = run_dump(x, y, w, 40, lam)[1]
        ref = reinsch(x, y, w, lam)
        err = float(np.max(np.abs(values[x.astype(int)] - ref))) / float(np.ptp(y))
        check("four standards", err <= 1e-12, f"lambda {lam}: values differ by {err:.3g}")
    print("four standards: against Reinsch's form at three lambdas")


def main():
    print(f"scipy {scipy.__version__}, numpy {np.__version__}")
    rng = np.random.default_rng(20)
    cases = [
        (5, 40, False, "smooth"), (5, 30000, True, "smooth"), (6, 100, False, "line"),
        (12, 300, True, "steps"), (40, 2000, False, "smooth"), (60, 30000, True, "line"),
        (150, 30000, False, "smooth"), (200, 1200, True, "steps"),
        (1000, 30000, True, "smooth"), (3000, 8000, False, "steps"), (6000, 30000, False, "smooth"),
        (6000, 30000, True, "line"), (6000, 6500, True, "smooth"), (100, 100, False, "wiggle"),
        (800, 900, True, "wiggle"),
    ]
    for k, (n, max_x, weighted, drift) in enumerate(cases):
        # Every other table leaves room before the first and after the last
        # standard, so the straight continuations are checked too.
        margin = max_x // 10 if k % 2 == 0 and n < max_x // 2 else 0
        x, y, w = table(rng, n, margin, max_x - margin, weighted, drift)
        compare(f"case {k}", x, y, w, max_x, dense=n <= 200)
    four_standards()
    return report()


sys.exit(main())
