#pragma once

// The image sensor behind the AP1302 ISP: one sensor-register transaction at a
// time through the ISP's bridge registers, and the sensor's unique ID.

#include <array>
#include <cstdint>
#include <string>
#include <utility>

class SvSorvanCamera;

class SvAP1302Sensor {
public:
    explicit SvAP1302Sensor(SvSorvanCamera& camera) : camera_(camera) {}
    virtual ~SvAP1302Sensor() = default;

    // 0 or -1; the output keeps its value on failure.
    int AP1302SensorRegisterRead(uint16_t sensorId, uint16_t reg, uint16_t& value);
    int AP1302SensorRegisterWrite(uint16_t sensorId, uint16_t reg, uint16_t data);
    // 32 upper-case hexadecimal digits, from the version 3 header when it holds
    // them, else from the sensor's fuse memory.
    int GetSensorUniqueID(std::string& uid);
    // The same ID read from the sensor's fuse memory alone, whatever a header
    // holds: for writing a header, which must carry this unit's own ID.
    int GetSensorFuseID(std::string& uid) { return UidFromSensor(uid); }

private:
    // Bridge registers and the values one transaction writes, in order.
    using BridgeProgram = std::array<std::pair<uint16_t, uint16_t>, 7>;
    // Writes them; a lost write fails the transaction (logged).
    bool WriteBridgeProgram(const BridgeProgram& program, const char* op);
    bool WaitBridgeIdle(int polls, const char* op, const char* label, bool logEachPoll);
    bool CheckIspId(const char* op);
    bool UidFromHeader(std::string& uid);
    int UidFromSensor(std::string& uid);

    SvSorvanCamera& camera_;
};
