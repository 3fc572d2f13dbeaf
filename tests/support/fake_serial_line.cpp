#include "support/fake_serial_line.h"

#include <algorithm>
#include <cstring>

namespace kestrova::test {

void FakeSerialLine::Arrive(const std::uint8_t* bytes, int count) {
    for (int i = 0; i < count && Queued() < InputCapacity; ++i) {
        input_[tail_++ % input_.size()] = bytes[i];
    }
}

void FakeSerialLine::ArriveRepeated(std::uint8_t byte, int count) {
    for (int i = 0; i < count; ++i) Arrive(&byte, 1);
}

std::int32_t FakeSerialLine::Open(const std::string& path) {
    Before(LineCall::Open);
    ++openCalls;
    openedPath = path;
    events.push_back("open " + path);
    const std::int32_t result = device_ ? device_->Open(path) : openResult;
    if (result == 0) open = true;
    return result;
}

std::int32_t FakeSerialLine::Configure(std::int32_t baud, std::int32_t data, std::int32_t parity,
                                       std::int32_t stop) {
    Before(LineCall::Configure);
    configs.push_back({baud, data, parity, stop});
    return device_ ? device_->Configure(baud, data, parity, stop) : configureResult;
}

void FakeSerialLine::SetDtr(bool on) {
    Before(LineCall::SetDtr);
    lineCalls.push_back(on ? "DTR+" : "DTR-");
    if (device_) device_->SetDtr(on);
}

void FakeSerialLine::SetRts(bool on) {
    Before(LineCall::SetRts);
    lineCalls.push_back(on ? "RTS+" : "RTS-");
    if (device_) device_->SetRts(on);
}

std::int32_t FakeSerialLine::QueuedInput() {
    Before(LineCall::QueuedInput);
    if (device_) return device_->QueuedInput();
    return queuedReport ? *queuedReport : Queued();
}

std::uint32_t FakeSerialLine::LineErrors() {
    Before(LineCall::LineErrors);
    if (device_) return device_->LineErrors();
    const std::uint32_t errors = pendingErrors;
    pendingErrors = 0;
    return errors;
}

std::int32_t FakeSerialLine::Read(std::uint8_t* buffer, std::int32_t count) {
    Before(LineCall::Read);
    ++readCalls;
    largestRead = std::max(largestRead, count);
    if (device_) return device_->Read(buffer, count);
    if (readFails) return -1;
    const int n = std::min(count, Queued());
    for (int i = 0; i < n; ++i) buffer[i] = input_[head_++ % input_.size()];
    return n;
}

bool FakeSerialLine::Write(const std::uint8_t* bytes, std::int32_t count) {
    Before(LineCall::Write);
    FrameBytes& f = frames_[static_cast<std::size_t>(frameCount % FrameLogSize)];
    f.length = std::clamp(count, 0, static_cast<std::int32_t>(f.bytes.size()));
    if (f.length > 0) std::memcpy(f.bytes.data(), bytes, static_cast<std::size_t>(f.length));
    ++frameCount;
    if (responder) responder(*this, bytes, count);
    const bool written = device_ ? device_->Write(bytes, count) : writeResult;
    if (!written) ++refusedWrites;
    return written;
}

bool FakeSerialLine::Close() {
    Before(LineCall::Close);
    ++closeCalls;
    events.push_back("close");
    const bool closed = device_ ? device_->Close() : closeResult;
    if (closed) open = false;
    return closed;
}

}  // namespace kestrova::test
