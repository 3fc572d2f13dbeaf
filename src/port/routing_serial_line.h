#pragma once

#include <memory>

#include "port/serial_line.h"

namespace kestrova {

// The line a program hands its port driver: each Open picks the system's serial device (a termios
// line, a Win32 COM port) or the device server (a TCP line) the path names, and every call goes
// to the one picked.
class RoutingSerialLine final : public SerialLine {
public:
    RoutingSerialLine();
    ~RoutingSerialLine() override;
    RoutingSerialLine(const RoutingSerialLine&) = delete;
    RoutingSerialLine& operator=(const RoutingSerialLine&) = delete;

    OpenFailure Open(const std::string& path) override;
    OpenFailure Configure(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                          std::int32_t stopBits) override {
        return active_->Configure(baud, dataBits, parity, stopBits);
    }
    LineKind Kind() override { return active_->Kind(); }
    bool RequestLowLatency() override { return active_->RequestLowLatency(); }
    void SetDtr(bool on) override { active_->SetDtr(on); }
    void SetRts(bool on) override { active_->SetRts(on); }
    std::int32_t QueuedInput() override { return active_->QueuedInput(); }
    std::uint32_t LineErrors() override { return active_->LineErrors(); }
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override {
        return active_->Read(buffer, count);
    }
    bool Write(const std::uint8_t* bytes, std::int32_t count) override {
        return active_->Write(bytes, count);
    }
    bool Close() override { return active_->Close(); }
    std::string_view FailureText() override { return active_->FailureText(); }
    std::string_view TakeNotice() override { return active_->TakeNotice(); }

private:
    std::unique_ptr<SerialLine> device_;
    std::unique_ptr<SerialLine> network_;
    SerialLine* active_;
};

}  // namespace kestrova
