#!/usr/bin/env python3
"""Streams a few frames from a camera, counts them, and saves the last one as
RGB: a PNG when Python's own library can write one, else a PPM.

    PYTHONPATH=build/python SORVANSDK_BACKEND=sim /usr/bin/python3 python/examples/live.py [--camera N] [--frames N]
"""

import argparse
import struct
import time

try:
    import zlib  # part of nearly every Python; PNG needs it
except ImportError:
    zlib = None

import sorvansdk


def write_png(path, rgb):
    """A plain 8-bit RGB PNG with zlib and struct only."""
    height, width, _ = rgb.shape
    rows = b"".join(b"\x00" + rgb[y].tobytes() for y in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows, 6)))
        f.write(chunk(b"IEND", b""))


def write_ppm(path, rgb):
    height, width, _ = rgb.shape
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(rgb.tobytes())


def main():
    parser = argparse.ArgumentParser(description="Stream frames and save the last one.")
    parser.add_argument("--camera", type=int, default=0)
    parser.add_argument("--frames", type=int, default=30)
    parser.add_argument("--out", default="live")
    args = parser.parse_args()

    print("cameras:", sorvansdk.discover())
    with sorvansdk.Camera(args.camera) as camera:
        # The first format to_rgb can convert.
        fmt = next(f for f in camera.formats() if f.pixel_format in ("YUY2", "UYVY", "NV12"))
        print(f"{camera.name}: {fmt.pixel_format} {fmt.width}x{fmt.height} @ {fmt.fps} fps")
        camera.set_format(fmt)
        camera.start()
        start = time.perf_counter()
        count = 0
        frame = None
        try:
            for _ in range(args.frames):
                frame = camera.get_image(timeout_ms=2000)
                count += 1
        finally:
            camera.stop()
        seconds = time.perf_counter() - start
        print(f"{count} frames in {seconds:.2f} s ({count / seconds:.1f} fps), last frame {frame.shape}")

    rgb = sorvansdk.to_rgb(frame, fmt.pixel_format, fmt.width, fmt.height)
    if zlib is not None:
        write_png(args.out + ".png", rgb)
        print("saved", args.out + ".png")
    else:
        write_ppm(args.out + ".ppm", rgb)
        print("saved", args.out + ".ppm")


if __name__ == "__main__":
    main()
