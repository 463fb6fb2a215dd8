import json

import pytest

import sorvansdk
from conftest import REPO


def test_isp_gamma_set_and_read_back(kivo):
    assert kivo.control_range("isp.gamma") == sorvansdk.ControlRange(4, 79, 1, 22)
    kivo.set_control("isp.gamma", 25)
    assert kivo.get_control("isp.gamma").value == 25
    kivo.set_control("isp.gamma", 31)
    assert kivo.get_control("isp.gamma") == sorvansdk.ControlValue(31, False)
    kivo.reset_isp_defaults()
    assert kivo.get_control("isp.gamma").value == 22


def test_isp_takes_no_automatic_flag(kivo):
    with pytest.raises(ValueError):
        kivo.set_control("isp.gamma", 25, auto=True)


def test_uvc_control_set_and_range(webcam):
    r = webcam.control_range("brightness")
    assert (r.min, r.max, r.default) == (-64, 64, 0)
    webcam.set_control("brightness", 12)
    assert webcam.get_control("uvc.brightness").value == 12
    webcam.set_control("brightness", r.default)


def test_maker_facts(kivo):
    assert kivo.usb_firmware_version()
    assert kivo.sensor_unique_id()
    header = kivo.bootdata_header()
    assert header["header_version"] in (2, 3)
    assert header["product_name"]


def test_profiles(kivo):
    profile = json.loads(kivo.osp_profile())
    assert isinstance(profile, dict)
    kivo.profile_flag = 1
    assert kivo.profile_flag == 1
    kivo.reset_osp_profile()
    assert kivo.profile_flag == 2
    kivo.load_profile((REPO / "config" / "profiles" / "kivo-daylight.json").read_text())
    kivo.activate_profile()
    with pytest.raises(sorvansdk.Error) as info:
        kivo.load_profile("{ not a profile")
    assert info.value.function == "SvLoadProfileConfig"


def test_export_and_decode_sensor_config(kivo, tmp_path):
    config = tmp_path / "kivo.bin"
    kivo.export_sensor_config(str(config))
    assert config.stat().st_size > 0
    out = tmp_path / "kivo.json"
    sorvansdk.decode_sensor_config(str(config), str(out))
    assert isinstance(json.loads(out.read_text()), dict)
