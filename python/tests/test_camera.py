import pytest

import sorvansdk
from conftest import index_of


def test_discover_names_the_simulated_cameras():
    names = sorvansdk.discover()
    assert len(names) == 3
    assert all(isinstance(n, str) and n for n in names)
    assert any("KIVO" in n for n in names)
    assert any("LIRA" in n for n in names)


def test_camera_properties():
    kinds = {}
    for i, display in enumerate(sorvansdk.discover()):
        camera = sorvansdk.Camera(i)
        assert camera.index == i
        assert display.startswith(camera.name)
        assert camera.path
        kinds[camera.product_type] = camera
    assert set(kinds) == {"UVC", "KIVO", "LIRA"}
    assert kinds["KIVO"].usb_speed == "SuperSpeed"
    assert kinds["UVC"].usb_speed == "HighSpeed"
    assert "3f41" in kinds["KIVO"].hardware_id.lower()
    assert kinds["KIVO"].is_maker and not kinds["UVC"].is_maker


def test_camera_as_context_manager_opens_and_closes():
    camera = sorvansdk.Camera(index_of("KIVO"))
    assert not camera.is_open
    with camera as same:
        assert same is camera
        assert camera.is_open
        assert camera.formats()
    assert not camera.is_open
    camera.open()
    camera.open()  # a second open of an open camera does nothing
    assert camera.is_open
    camera.close()
    assert not camera.is_open


def test_formats_are_named_tuples(kivo):
    formats = kivo.formats()
    assert formats[0] == sorvansdk.Format(0, 1920, 1200, 30, "UYVY")
    assert [f.index for f in formats] == list(range(len(formats)))
    pixels = {f.pixel_format for f in formats}
    assert {"YUY2", "UYVY", "NV12", "MJPG"} <= pixels
    small = [f for f in formats if (f.width, f.height, f.pixel_format) == (640, 480, "MJPG")]
    assert small and small[0].fps == 120


def test_unknown_camera_raises_error():
    with pytest.raises(sorvansdk.Error) as info:
        sorvansdk.Camera(42)
    assert info.value.function == "SvInitialCameraDevice"
    assert info.value.code < 0


def test_failed_call_carries_code_and_function():
    camera = sorvansdk.Camera(index_of("KIVO"))  # not opened
    with pytest.raises(sorvansdk.Error) as info:
        camera.formats()
    assert info.value.function == "SvGetFormatList"
    assert info.value.code < 0
    assert f"SvGetFormatList failed (result {info.value.code})" in str(info.value)
    assert isinstance(info.value, RuntimeError)


def test_frame_request_without_streaming_fails(kivo):
    with pytest.raises(sorvansdk.Error) as info:
        kivo.get_image(timeout_ms=100)
    assert info.value.function == "SvGetImage"
    assert info.value.code in (sorvansdk.CAPTURE_TIMEOUT, sorvansdk.CAPTURE_FAILED)


def test_isp_control_on_a_generic_camera_is_refused(webcam):
    with pytest.raises(sorvansdk.Error) as info:
        webcam.get_control("isp.gamma")
    assert info.value.function == "SvGetISPImageProcessing"
    assert info.value.code < 0


def test_unknown_control_name():
    with pytest.raises(KeyError):
        sorvansdk.Camera(0).get_control("loudness")
    assert "isp.gamma" in sorvansdk.control_names()
    assert "uvc.brightness" in sorvansdk.control_names()
