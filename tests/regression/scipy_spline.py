"""What the smoothing-spline references share: scipy's make_smoothing_spline
with the lambda its GCV search picks recorded in `chosen`, the natural
spline's straight continuation beyond the end standards, and the failures
collected by `check` and reported by `report`."""
import sys

try:
    import numpy as np
    import scipy  # noqa: F401 (for the version the references print)
    import scipy.interpolate._bsplines as bsplines
    from scipy.interpolate import make_smoothing_spline  # noqa: F401 (for the references)
except ImportError as exc:  # the test must not pass without its reference
    print(f"FAIL: numpy/scipy are needed for this test: {exc}")
    sys.exit(1)

failures = []
chosen = []
_orig = bsplines._compute_optimal_gcv_parameter


def _record(*args):
    lam = _orig(*args)
    chosen.append(lam)
    return lam


bsplines._compute_optimal_gcv_parameter = _record


def check(name, ok, detail):
    if not ok:
        failures.append(f"{name}: {detail}")


def extended(spl, x, pos):
    """scipy's spline between the end standards, straight lines beyond."""
    out = spl(np.clip(pos, x[0], x[-1]))
    d = spl.derivative()
    lo, hi = pos < x[0], pos > x[-1]
    out[lo] = spl(x[0]) + d(x[0]) * (pos[lo] - x[0])
    out[hi] = spl(x[-1]) + d(x[-1]) * (pos[hi] - x[-1])
    return out


def report():
    """The exit status: 1 with the failures listed, else 0."""
    if failures:
        print("\n".join(["FAILED:"] + failures))
        return 1
    print("all match")
    return 0
