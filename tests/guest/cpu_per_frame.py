#!/usr/bin/python3
"""CPU time per frame of three programs taking raw frames from one V4L2 node:
the library's SvGetImage, OpenCV's VideoCapture over its V4L2 back-end
(frames as the driver gives them, no conversion) and v4l2-ctl's mmap
stream, its frames thrown away: v4l2-ctl makes no copy of a frame, where
SvGetImage copies each into the caller's buffer. Emulated CPUs make absolute times meaningless; the ratios between
the three, measured in one run, are the figure.

Usage: cpu_per_frame.py NODE CAMERA-NAME WIDTH HEIGHT FRAMES LIBRARY-PROGRAM"""
import resource
import subprocess
import sys
import time


def opencv(node, width, height, frames):
    import cv2
    cap = cv2.VideoCapture(node, cv2.CAP_V4L2)
    cap.set(cv2.CAP_PROP_FOURCC, cv2.VideoWriter_fourcc(*"YUYV"))
    cap.set(cv2.CAP_PROP_FRAME_WIDTH, width)
    cap.set(cv2.CAP_PROP_FRAME_HEIGHT, height)
    cap.set(cv2.CAP_PROP_CONVERT_RGB, 0)
    ok, frame = cap.read()
    if not ok or frame.size != width * height * 2:
        raise SystemExit("OpenCV took no raw %dx%d frame (%s)" % (width, height, None if frame is None else frame.size))
    start = time.process_time()
    for _ in range(frames):
        ok, frame = cap.read()
        if not ok:
            raise SystemExit("OpenCV lost the stream")
    spent = time.process_time() - start
    cap.release()
    return spent / frames * 1e6


def v4l2_ctl(node, width, height, frames, target):
    subprocess.run(["v4l2-ctl", "-d", node, "--set-fmt-video=width=%d,height=%d,pixelformat=YUYV" % (width, height)],
                   check=True)
    def children():
        u = resource.getrusage(resource.RUSAGE_CHILDREN)
        return u.ru_utime + u.ru_stime
    def run(count):
        before = children()
        subprocess.run(["v4l2-ctl", "-d", node, "--stream-mmap", "--stream-count=%d" % count,
                        "--stream-to=" + target], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return children() - before
    # A run of one frame pays for the start; the difference of a run of one
    # frame and a run of frames + 1 is the frames. The first start reads the
    # program from the shared folder and is not counted; the median of five
    # differences is the figure.
    run(1)
    differences = sorted(run(frames + 1) - run(1) for _ in range(5))
    return max(differences[2], 0.0) / frames * 1e6


def main():
    node, name, width, height, frames, program = sys.argv[1:7]
    width, height, frames = int(width), int(height), int(frames)
    ours = float(subprocess.run([program, name, str(width), str(height), str(frames)], check=True,
                                capture_output=True, text=True).stdout.split()[-1])
    cv = opencv(node, width, height, frames)
    ctl = v4l2_ctl(node, width, height, frames, "/dev/null")
    print("CPU per frame at %dx%d YUY2 over %d frames (microseconds of process CPU):" % (width, height, frames))
    print("  SvGetImage            %8.1f" % ours)
    print("  OpenCV VideoCapture   %8.1f   SvGetImage / OpenCV   = %.2f" % (cv, ours / cv if cv else float("nan")))
    print("  v4l2-ctl stream-mmap  %8.1f   SvGetImage / v4l2-ctl = %.2f   (frames to /dev/null: no copy)"
          % (ctl, ours / ctl if ctl else float("nan")))



if __name__ == "__main__":
    main()
