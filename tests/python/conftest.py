"""Shared helpers: the viewer and the samples the build wrote come in through
the environment (see CMakeLists.txt)."""
import os
import subprocess
import sys

import pytest

# No user's preferences may change what the viewer draws or prints here.
os.environ["XDG_CONFIG_HOME"] = os.path.join(os.path.dirname(os.path.abspath(__file__)), "no-such-folder")

VIEWER = os.environ.get("PLEXORAMA")
SAMPLES = os.environ.get("PLEXORAMA_SAMPLES")
SAMPLE_NAMES = ["klein-bottle", "clifford-torus", "complex-square", "veronese", "torus-10d"]
# The samples beside those surfaces, by their whole names.
MORE_SAMPLES = ["linked-tori-a.klein", "linked-tori-b.klein", "5-cell.off", "tesseract.off", "16-cell.off",
                "24-cell.off", "120-cell.off", "600-cell.off", "hopf.skel", "torus-knot.skel", "cloud-10d.skel"]


def needs(value, what):
    return pytest.mark.skipif(not value, reason=f"{what} not given")


def run(*args, timeout=60):
    """Runs a command; returns (exit status, stdout, stderr)."""
    done = subprocess.run(args, capture_output=True, text=True, timeout=timeout,
                          env=dict(os.environ, DISPLAY=""))
    return done.returncode, done.stdout, done.stderr


def run_module(module, *args, timeout=60):
    return run(sys.executable, "-m", module, *args, timeout=timeout)
