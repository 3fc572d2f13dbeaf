#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "port/serial_line.h"

namespace kestrova::test {

// A SerialLine whose results are set by the test and whose calls are recorded. Received bytes
// sit in a fixed queue, so reading them allocates nothing.
class FakeSerialLine final : public SerialLine {
public:
    struct Config {
        std::int32_t baud, data, parity, stop;
    };

    // Scripted results.
    OpenFailure openResult = OpenFailure::None;
    OpenFailure configureResult = OpenFailure::None;
    bool writeResult = true;
    bool closeResult = true;
    std::uint32_t pendingErrors = 0;  // reported (and cleared) by the next LineErrors

    // Recorded calls.
    bool open = false;
    std::string openedPath;
    int openCalls = 0;
    int closeCalls = 0;
    std::vector<Config> configs;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::string> lineCalls;  // "DTR+", "DTR-", "RTS+", "RTS-" in call order
    int readCalls = 0;
    std::int32_t largestRead = 0;

    // Bytes as if they had arrived on the line.
    void Arrive(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) input_[tail_++] = b;
    }
    void ArriveRepeated(std::uint8_t byte, int count) {
        for (int i = 0; i < count; ++i) input_[tail_++] = byte;
    }
    std::int32_t Queued() const { return static_cast<std::int32_t>(tail_ - head_); }

    OpenFailure Open(const std::string& path) override {
        ++openCalls;
        openedPath = path;
        if (openResult == OpenFailure::None) open = true;
        return openResult;
    }
    OpenFailure Configure(std::int32_t baud, std::int32_t data, std::int32_t parity,
                          std::int32_t stop) override {
        configs.push_back({baud, data, parity, stop});
        return configureResult;
    }
    void SetDtr(bool on) override { lineCalls.push_back(on ? "DTR+" : "DTR-"); }
    void SetRts(bool on) override { lineCalls.push_back(on ? "RTS+" : "RTS-"); }
    std::int32_t QueuedInput() override { return Queued(); }
    std::uint32_t LineErrors() override {
        const std::uint32_t errors = pendingErrors;
        pendingErrors = 0;
        return errors;
    }
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override {
        ++readCalls;
        largestRead = std::max(largestRead, count);
        const std::int32_t n = std::min(count, Queued());
        for (std::int32_t i = 0; i < n; ++i) buffer[i] = input_[head_++];
        return n;
    }
    bool Write(const std::uint8_t* bytes, std::int32_t count) override {
        writes.emplace_back(bytes, bytes + count);
        return writeResult;
    }
    bool Close() override {
        ++closeCalls;
        if (closeResult) open = false;
        return closeResult;
    }

private:
    std::array<std::uint8_t, 8192> input_{};
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
};

}  // namespace kestrova::test
