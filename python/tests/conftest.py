"""The Python tests run against the simulated machine with the repository's
configuration, in the world whose maker cameras carry on-camera profiles (the
built-in one plus a version 3 bootdata header on the KIVO); the module comes
from the build (PYTHONPATH, set by ctest)."""

import os
import pathlib
import subprocess
import sys

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]

os.environ["SORVANSDK_BACKEND"] = "sim"
os.environ["SORVANSDK_CONFIG_PATH"] = str(REPO / "config")
os.environ["SORVANSDK_SIM_WORLD"] = str(REPO / "config" / "worlds" / "profiles.json")

import sorvansdk  # noqa: E402  (after the environment above)


def index_of(kind):
    """The discovery index of the first camera of a product type."""
    for i in range(len(sorvansdk.discover())):
        if sorvansdk.Camera(i).product_type == kind:
            return i
    raise LookupError(f"no {kind} camera on the simulated machine")


def read_counter(rgb):
    """The frame number of the test pattern: 32 cells across the top row, most
    significant bit left, a bright cell a 1."""
    width = rgb.shape[1]
    cell = width // 32
    value = 0
    for i in range(32):
        r, g, b = (int(c) for c in rgb[0, i * cell + cell // 2])
        value = (value << 1) | (1 if (r + g + b) // 3 > 128 else 0)
    return value


@pytest.fixture
def kivo():
    with sorvansdk.Camera(index_of("KIVO")) as camera:
        yield camera


@pytest.fixture
def lira():
    with sorvansdk.Camera(index_of("LIRA")) as camera:
        yield camera


@pytest.fixture
def webcam():
    with sorvansdk.Camera(index_of("UVC")) as camera:
        yield camera


@pytest.fixture(scope="session")
def sensor_images(tmp_path_factory):
    folder = tmp_path_factory.mktemp("sensor-images")
    subprocess.run([sys.executable, str(REPO / "scripts" / "make-sensor-images"), str(folder)],
                   check=True, stdout=subprocess.DEVNULL)
    return folder
