import pytest

import sorvansdk


def test_kivo_sensor_upgrade_reports_progress(kivo, sensor_images):
    seen = []
    kivo.upgrade_sensor_firmware(str(sensor_images / "kano-bootdata.img"), progress=seen.append)
    assert seen, "no progress reported"
    assert seen == sorted(seen)
    assert seen[-1] == 100
    assert kivo.sensor_firmware_version() == "02.01.400.09"
    header = sorvansdk.bootdata_header_from_file(str(sensor_images / "kano-bootdata.img"))
    assert header["header_version"] == 3
    assert header["product_name"] == "KIVO-AR0234"
    assert header["vendor_fw_version"] == 400


def test_lira_needs_clean_then_upgrades(lira, sensor_images):
    image = str(sensor_images / "lumo-firmware.img")
    with pytest.raises(sorvansdk.Error) as info:
        lira.upgrade_sensor_firmware(image)  # the module's loader is still locked
    assert info.value.function == "SvUpgradeSensorFW"
    lira.clean_sensor_firmware()
    seen = []
    lira.upgrade_sensor_firmware(image, seen.append)
    assert seen and seen[-1] == 100
    assert lira.sensor_firmware_version() == "02.03.500.11"


def test_exception_in_progress_reaches_the_caller(kivo, sensor_images):
    calls = []

    def progress(value):
        calls.append(value)
        raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        kivo.upgrade_sensor_firmware(str(sensor_images / "kano-bootdata.img"), progress)
    assert len(calls) == 1


def test_missing_image_is_a_library_error(kivo, tmp_path):
    with pytest.raises(sorvansdk.Error) as info:
        kivo.upgrade_sensor_firmware(str(tmp_path / "missing.img"))
    assert info.value.function == "SvUpgradeSensorFW"


def test_clean_with_a_refused_image_erases_nothing(kivo, lira, sensor_images, tmp_path):
    kano = str(sensor_images / "kano-bootdata.img")
    lumo = str(sensor_images / "lumo-firmware.img")
    before = kivo.sensor_firmware_version()
    for image in (str(tmp_path / "missing.img"), lumo):
        with pytest.raises(sorvansdk.Error) as info:
            kivo.clean_sensor_firmware(image=image)
        assert info.value.function == "SvCheckSensorFWImage"
    assert kivo.sensor_firmware_version() == before, "the store was erased"
    with pytest.raises(sorvansdk.Error) as info:
        lira.clean_sensor_firmware(kano)
    assert info.value.function == "SvCheckSensorFWImage"
    with pytest.raises(sorvansdk.Error):
        lira.upgrade_sensor_firmware(lumo)  # still locked: nothing was erased
    lira.check_sensor_firmware_image(lumo)
    lira.clean_sensor_firmware(image=lumo)
    lira.upgrade_sensor_firmware(lumo)
    assert lira.sensor_firmware_version() == "02.03.500.11"
