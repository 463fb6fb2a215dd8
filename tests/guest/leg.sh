#!/bin/sh
# Runs in the kernel test leg's guest (scripts/kernel-test): the checks
# against the real drivers, then the CPU-per-frame figure, which is reported
# and never fails the leg. $1 is the build tree.
BUILD=${1:-build}
start=$(cut -d' ' -f1 /proc/uptime)
status=0
"$BUILD/tests/guest/sv_guest_tests" --gtest_color=no || status=$?

echo "== CPU per frame on vivid (a figure, not a check)"
rmmod vivid 2>/dev/null
if modprobe vivid n_devs=1 node_types=0x1 num_inputs=1 input_types=0x0; then
    /usr/bin/python3 -B tests/guest/cpu_per_frame.py /dev/video0 vivid 1280 720 100 \
        "$BUILD/tests/guest/sv_guest_cpu_per_frame" || echo "(the figure could not be taken)"
    rmmod vivid
fi
end=$(cut -d' ' -f1 /proc/uptime)
echo "kernel-test: checks took $(echo "$start $end" | awk '{printf "%.0f", $2 - $1}') s in the guest"
exit $status
