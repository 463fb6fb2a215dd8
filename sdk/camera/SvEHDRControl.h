#pragma once

#include <cstdint>

#include "camera/SvControlRegisters.h"

class SvSorvanCamera;

// The eHDR controls of the AR0821/AR0822 cameras: seven values in AP1302
// registers, the same on both families, reached through the camera's own ISP
// register path. Embedded in each maker UVC camera.
class SvEHDRControl {
public:
    // Which test guards the mode and exposure-number controls: the KIVO asks
    // for an eHDR product id (0x0821/0x0822), the LIRA for eHDR support at all.
    enum class NumbersTest { ProductId, EHDRSupported };

    SvEHDRControl(SvSorvanCamera& camera, NumbersTest numbersTest);

    int GeteHDRMode(uint32_t& index, int& flag);
    int SeteHDRMode(uint32_t index);
    int GeteHDRMinimum(int32_t& number, int& flag);
    int SeteHDRMinimum(int32_t number);
    int GeteHDRMaximum(int32_t& number, int& flag);
    int SeteHDRMaximum(int32_t number);
    int GeteHDRRatioMin(int32_t& ratio, int& flag);
    int SeteHDRRatioMin(int32_t ratio);
    int GeteHDRRatioMax(int32_t& ratio, int& flag);
    int SeteHDRRatioMax(int32_t ratio);
    int GeteHDRAtmWeight(double& weight, int& flag);
    int SeteHDRAtmWeight(double weight);
    int GeteHDRAtmMax(double& maximum, int& flag);
    int SeteHDRAtmMax(double maximum);

    static constexpr uint16_t kModeRegister = 0x52DE;
    static constexpr uint16_t kNumbersRegister = 0x71EA;
    static constexpr uint16_t kRatioMinRegister = 0x71EC;
    static constexpr uint16_t kRatioMaxRegister = 0x71EE;
    static constexpr uint16_t kAtmWeightRegister = 0x532E;
    static constexpr uint16_t kAtmMaxRegister = 0x5342;

private:
    // The availability tests; each logs the control's "not supported" message on refusal.
    bool NumbersAvailable(const char* where, int line, const char* control) const;
    bool Supported(const char* where, int line, const char* control) const;

    SvSorvanCamera& camera_;
    SvControlRegisters isp_;  // the AP1302 registers by the camera's own path
    NumbersTest numbersTest_;
};
