"""The module from the build tree, run from a folder outside the checkout
without SORVANSDK_CONFIG_PATH (ctest's python.config_from_build_tree): the
library finds the sample configuration the build copied beside it, so the
KIVO is served as a KIVO and the README's ISP control works."""

import sys

import sorvansdk

names = sorvansdk.discover()
kivo = [i for i, name in enumerate(names) if "KIVO" in name]
if not kivo:
    sys.exit(f"no KIVO among {names}")
with sorvansdk.Camera(kivo[0]) as camera:
    if camera.product_type != "KIVO":
        sys.exit(f"{camera.name} is served as {camera.product_type}: the configuration was not found")
    camera.set_control("isp.gamma", 25)
    value = camera.get_control("isp.gamma").value
    if value != 25:
        sys.exit(f"isp.gamma reads {value} after setting 25")
print("configuration found; isp.gamma", value)
