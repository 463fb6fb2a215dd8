import numpy as np
import pytest

import sorvansdk
from conftest import read_counter


def pick(camera, pixel, width=640, height=480):
    for f in camera.formats():
        if (f.pixel_format, f.width, f.height) == (pixel, width, height):
            return f
    raise LookupError(pixel)


@pytest.mark.parametrize("pixel", ["YUY2", "UYVY", "NV12"])
def test_frames_have_the_format_shape_and_an_advancing_counter(webcam, pixel):
    fmt = pick(webcam, pixel)
    webcam.set_format(fmt)
    webcam.start()
    try:
        frames = [webcam.get_image() for _ in range(3)]
    finally:
        webcam.stop()
    shape = (480 * 3 // 2, 640) if pixel == "NV12" else (480, 640, 2)
    counters = []
    for frame in frames:
        assert frame.dtype == np.uint8
        assert frame.shape == shape
        assert frame.flags.c_contiguous and frame.flags.owndata
        counters.append(read_counter(sorvansdk.to_rgb(frame, pixel, 640, 480)))
    assert counters[1] == counters[0] + 1
    assert counters[2] == counters[1] + 1


def test_frames_into_the_callers_array_reuse_it_and_keep_a_frame_that_does_not_fit(webcam):
    fmt = pick(webcam, "YUY2")
    webcam.set_format(fmt)
    webcam.start()
    try:
        out = np.zeros((480, 640, 2), dtype=np.uint8)
        first = webcam.get_image(out=out)
        assert first is out
        c1 = read_counter(sorvansdk.to_rgb(out, "YUY2", 640, 480))
        assert webcam.get_image(out=out) is out
        c2 = read_counter(sorvansdk.to_rgb(out, "YUY2", 640, 480))
        assert c2 == c1 + 1
        # Too small: refused, and the frame waits for the next call.
        small = np.zeros(1000, dtype=np.uint8)
        with pytest.raises(ValueError):
            webcam.get_image(out=small)
        assert not small.any(), "nothing was written into the small array"
        webcam.get_image(out=out)
        assert read_counter(sorvansdk.to_rgb(out, "YUY2", 640, 480)) == c2 + 1, "the kept frame, not a later one"
        with pytest.raises(ValueError):
            webcam.get_image(out=np.zeros((480, 640, 2), dtype=np.uint8)[:, ::2])  # not contiguous
    finally:
        webcam.stop()


def test_mjpg_frames_are_bytes(webcam):
    webcam.set_format(pick(webcam, "MJPG").index)
    webcam.start()
    try:
        frame = webcam.get_image(timeout_ms=2000)
    finally:
        webcam.stop()
    assert frame.dtype == np.uint8 and frame.ndim == 1
    assert 0 < frame.size < 640 * 480 * 2
    assert frame.flags.owndata
    assert bytes(frame[:2]) == b"\xff\xd8"
    assert bytes(frame[-2:]) == b"\xff\xd9"


def test_stopped_camera_fails_the_frame_request(webcam):
    webcam.set_format(pick(webcam, "YUY2"))
    webcam.start()
    webcam.get_image()
    webcam.stop()
    with pytest.raises(sorvansdk.Error) as info:
        webcam.get_image(timeout_ms=50)
    assert info.value.code in (sorvansdk.CAPTURE_TIMEOUT, sorvansdk.CAPTURE_FAILED)


def test_unknown_format_index(webcam):
    with pytest.raises(IndexError):
        webcam.set_format(99)


@pytest.mark.parametrize("pixel, raw_shape", [("YUY2", (4, 6, 2)), ("UYVY", (4, 6, 2)), ("NV12", (6, 6))])
def test_to_rgb_shapes_and_colours(pixel, raw_shape):
    frame = np.zeros(raw_shape, dtype=np.uint8)
    # Studio white (Y 235) on the left half, black (Y 16) on the right, no colour.
    if pixel == "NV12":
        frame[:4, :3] = 235
        frame[:4, 3:] = 16
        frame[4:] = 128
    else:
        luma = 1 if pixel == "UYVY" else 0
        frame[..., 1 - luma] = 128
        frame[:, :3, luma] = 235
        frame[:, 3:, luma] = 16
    rgb = sorvansdk.to_rgb(frame, pixel, 6, 4)
    assert rgb.shape == (4, 6, 3) and rgb.dtype == np.uint8
    assert (rgb[:, :3] == 255).all()
    assert (rgb[:, 3:] == 0).all()


def test_to_rgb_refuses_short_frames_and_other_formats():
    with pytest.raises(ValueError):
        sorvansdk.to_rgb(np.zeros(10, dtype=np.uint8), "YUY2", 640, 480)
    with pytest.raises(ValueError):
        sorvansdk.to_rgb(np.zeros(640 * 480 * 2, dtype=np.uint8), "MJPG", 640, 480)


@pytest.mark.parametrize(
    "pixel, width, height, need",
    [
        ("NV12", 6, 4, 6 * 4 * 3 // 2),  # the luma plane and half as much chroma
        ("NV12", 6, 3, 6 * 3 + 6 * 2),  # an odd height still has a chroma row for its last line
        ("NV12", 640, 480, 640 * 480 * 3 // 2),
        ("UYVY", 6, 4, 6 * 4 * 2),
        ("UYVY", 640, 480, 640 * 480 * 2),
        ("YUY2", 6, 4, 6 * 4 * 2),
    ],
)
def test_to_rgb_takes_exactly_a_whole_frame(pixel, width, height, need):
    assert sorvansdk.to_rgb(np.zeros(need, dtype=np.uint8), pixel, width, height).shape == (height, width, 3)
    # One byte short, or only the luma plane of an NV12 frame: refused, not read past.
    for short in {need - 1, width * height}:
        if short >= need:
            continue
        with pytest.raises(ValueError):
            sorvansdk.to_rgb(np.zeros(short, dtype=np.uint8), pixel, width, height)
