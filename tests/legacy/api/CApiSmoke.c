/* The earlier interface from C: the header compiles as C and the C functions
 * link from the shared library. Opens the KIVO camera of the test world,
 * selects its YUY2 640x480 type (native type 3), captures two frames and reads
 * a few values. Returns 0, or a step number with its text in `failure`. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sorvansdk/SorvanCam.h>

int sc_c_smoke(char* failure, size_t size);

static int fail(char* failure, size_t size, int step, const char* what) {
    snprintf(failure, size, "step %d: %s", step, what);
    return step;
}

int sc_c_smoke(char* failure, size_t size) {
    SorvanCam* cam = ScCreateSorvanCamDevice();
    SzFormat format;
    uint8_t* frame;
    int frameSize = 640 * 480 * 2;
    int got = frameSize;
    char version[16];
    long value = 0;
    int flag = 0;
    wchar_t name[64];
    USB_DEVICE_SPEED speed = UsbSpeedUnknown;
    struct SvHeaderV2* noHeader = NULL;

    if (cam == NULL) return fail(failure, size, 1, "no object");
    if (ScOpen(cam, 1) != 0) return fail(failure, size, 2, "open");
    format.mediatypeIdx = 3;
    format.width = 640;
    format.height = 480;
    format.framerate = 60;
    format.format = 1;
    if (ScSetCaptureFormat(cam, format) != 0) return fail(failure, size, 3, "format");
    frame = (uint8_t*)malloc((size_t)frameSize);
    if (frame == NULL) return fail(failure, size, 4, "memory");
    if (ScGetRawImageCapture(cam, frame, &got, 2000) != 0 || got != frameSize) {
        free(frame);
        return fail(failure, size, 5, "capture");
    }
    free(frame);
    if (ScGetUSBFirmwareVersion(cam, version) != 0 || strcmp(version, "24.07.03.01") != 0) {
        return fail(failure, size, 6, "version");
    }
    if (ScGetPropertyValue(cam, SZ_CAPTURE_SATURATION, &value, &flag) != 0 || value != 128) {
        return fail(failure, size, 7, "saturation");
    }
    if (ScGetSorvanCamDeviceName(cam, name) != 0 || name[0] != L'K') return fail(failure, size, 8, "name");
    if (ScGetDeviceSpeed(cam, &speed) != UsbSuperSpeed) return fail(failure, size, 9, "speed");
    if (ScGetBootdataHeader(cam, noHeader) != -1) return fail(failure, size, 10, "null header");
    if (ScClose(cam) != 0) return fail(failure, size, 11, "close");
    if (ScReleaseSorvanCamDevice(cam) != 0) return fail(failure, size, 12, "release");
    return 0;
}
