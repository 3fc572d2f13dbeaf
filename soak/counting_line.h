#pragma once

#include <cstdint>
#include <string>

#include "port/posix_serial_line.h"
#include "port/serial_line.h"

namespace kestrova::soak {

// The real serial line, with the request frames counted on their way out.
class CountingLine final : public SerialLine {
public:
    OpenFailure Open(const std::string& path) override;
    OpenFailure Configure(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                          std::int32_t stopBits) override;
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    std::int32_t QueuedInput() override;
    std::uint32_t LineErrors() override;
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override;
    bool Write(const std::uint8_t* bytes, std::int32_t count) override;
    bool Close() override;

    std::int64_t requests = 0;
    std::int64_t failedWrites = 0;

private:
    PosixSerialLine line_;
};

}  // namespace kestrova::soak
