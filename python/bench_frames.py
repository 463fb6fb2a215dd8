#!/usr/bin/env python3
"""Frame path cost through Python: get_image on the simulated machine without a
frame-rate limit, 1920x1080 YUY2, as frames per second and the calling thread's
CPU time per frame (the simulator draws frames on its own thread, as in the C++
benchmark).
When the C++ frame-path benchmark is built (build/bench/frame_path_bench), its
figure for the same frames is measured in the same run and printed beside.

    PYTHONPATH=build/python /usr/bin/python3 python/bench_frames.py [--frames N] [--bench PATH]

Not part of the test suite.
"""

import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time

REPO = pathlib.Path(__file__).resolve().parents[1]

# The same world as bench/FramePathBench.cpp.
WORLD = {
    "frameRateLimit": False,
    "devices": [{
        "id": "cam", "name": "Bench Cam", "vendorId": "1234", "productId": "5678", "serial": "BENCH00001",
        "formats": [{"subtype": "YUY2", "width": 1920, "height": 1080, "fps": 30}],
    }],
}


def python_figures(frames):
    import sorvansdk

    sorvansdk.set_log_level("off")
    with sorvansdk.Camera(0) as camera:
        camera.set_format(0)
        camera.start()
        camera.get_image()  # the first frame pays for the start
        wall, cpu = time.perf_counter(), time.thread_time()
        for _ in range(frames):
            camera.get_image()
        wall, cpu = time.perf_counter() - wall, time.thread_time() - cpu
        # The same frames into one array the caller keeps, as the C++ loop does.
        out = camera.get_image()
        reuse_wall, reuse_cpu = time.perf_counter(), time.thread_time()
        for _ in range(frames):
            camera.get_image(out=out)
        reuse_wall, reuse_cpu = time.perf_counter() - reuse_wall, time.thread_time() - reuse_cpu
        camera.stop()
    return (frames / wall, cpu / frames * 1000.0), (frames / reuse_wall, reuse_cpu / frames * 1000.0)


def cpp_figures(bench):
    # The benchmark prints its own table; the figures come from its JSON file.
    with tempfile.TemporaryDirectory() as folder:
        out = pathlib.Path(folder) / "frame_path.json"
        subprocess.run([str(bench), "--benchmark_filter=BM_GetImage/4k:0", f"--benchmark_out={out}",
                        "--benchmark_out_format=json"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        run = json.loads(out.read_text())["benchmarks"][0]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run.get("time_unit", "ns")]
    return run["fps"], run["cpu_time"] * scale


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--bench", default=str(REPO / "build" / "bench" / "frame_path_bench"))
    args = parser.parse_args()

    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as world:
        json.dump(WORLD, world)
    try:
        os.environ.update(SORVANSDK_BACKEND="sim", SORVANSDK_SIM_WORLD=world.name,
                          SORVANSDK_CONFIG_PATH=str(REPO / "config"))
        (fps, cpu_ms), (reuse_fps, reuse_cpu_ms) = python_figures(args.frames)
    finally:
        os.unlink(world.name)

    print(f"{'path':<28} {'frames/s':>10} {'CPU ms/frame':>13}")
    print(f"{'Python get_image 1080p':<28} {fps:>10.1f} {cpu_ms:>13.3f}")
    print(f"{'Python get_image(out=) 1080p':<28} {reuse_fps:>10.1f} {reuse_cpu_ms:>13.3f}")
    if os.access(args.bench, os.X_OK):
        cpp_fps, cpp_cpu_ms = cpp_figures(args.bench)
        print(f"{'C++ SvGetImage 1080p':<28} {cpp_fps:>10.1f} {cpp_cpu_ms:>13.3f}")
        print(f"Python costs {cpu_ms / cpp_cpu_ms:.2f}x the C++ CPU time per frame with a new array per frame, "
              f"{reuse_cpu_ms / cpp_cpu_ms:.2f}x into one kept array (the C++ loop keeps its buffer)")
    else:
        print(f"(no C++ figure: {args.bench} is not built)", file=sys.stderr)


if __name__ == "__main__":
    main()
