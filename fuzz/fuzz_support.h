#pragma once

// Helpers shared by the fuzz targets: a scratch folder, whole-file reads and writes, a check that
// turns a broken invariant into a crash libFuzzer reports, and a serial line driven by the fuzz
// input.
//
// Conversion and file errors (kestrova::ConversionError, kestrova::FileError) are the documented
// answers to bad input: the targets catch exactly those. Anything else that leaves a target (any
// other exception, a failed check, a sanitizer report) is a fault.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "port/serial_line.h"
#include "protocol/msg_frames.h"

namespace kestrova::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED %s:%d: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                   \
    do {                                                                        \
        if (!(condition)) ::kestrova::fuzz::Fail(__FILE__, __LINE__, #condition); \
    } while (0)

// A folder of its own under $TMPDIR (scripts/fuzz.sh points TMPDIR at a folder it removes),
// removed again at a normal exit.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrova_fuzz_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Empties the folder (a previous input may have left files or folders behind).
    void Clear() const {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(path_, error)) {
            std::filesystem::remove_all(entry.path(), error);
        }
    }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    FUZZ_CHECK(out.good());
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Bit-for-bit equality of doubles (so a NaN equals itself and -0 differs from 0).
inline bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A serial line whose answers come from the fuzz input: received bytes are queued by the target
// (garbage, or well-formed replies to the last request written), and the line's own results
// (open and configure codes, queued counts, line errors, short reads, refused writes) are drawn
// from the input as they are asked for. It keeps the SerialLine contract where a real device
// must (a read never fills more than it was asked for); everything else may be hostile.
class FuzzLine final : public SerialLine {
public:
    void Reset(FuzzedDataProvider* input) {
        input_ = input;
        queue_.clear();
        lastFrame_.clear();
        open_ = false;
    }

    bool IsOpen() const { return open_; }
    std::size_t Queued() const { return queue_.size(); }

    void Arrive(const std::vector<std::uint8_t>& bytes) {
        // Bounded like a device's input queue, so a long input cannot grow it without end.
        constexpr std::size_t QueueLimit = 4096;
        for (std::uint8_t b : bytes) {
            if (queue_.size() < QueueLimit) queue_.push_back(b);
        }
    }

    // A well-formed reply to the last frame written: a good read reply carrying the count of
    // bytes asked for, a good write reply, or an error reply with any code.
    void ArriveReply(bool asError) {
        if (lastFrame_.size() < 8) return;
        std::vector<std::uint8_t> reply;
        if (asError) {
            reply = {ErrorReplyChar, FrameStartChar, ErrorMarkChar, Byte(), FrameEndChar};
        } else if (lastFrame_[1] == WriteCommandChar) {
            reply = {GoodReplyChar, FrameStartChar, OkChar1, OkChar2, FrameEndChar};
        } else {
            const std::size_t count = lastFrame_[6] | (lastFrame_[7] << 8);
            reply = {GoodReplyChar, FrameStartChar};
            const std::vector<std::uint8_t> data =
                input_->ConsumeBytes<std::uint8_t>(std::min<std::size_t>(count, 200));
            reply.insert(reply.end(), data.begin(), data.end());
            reply.resize(2 + std::min<std::size_t>(count, 200), 0);
            reply.push_back(FrameEndChar);
        }
        const std::uint16_t crc = Crc16(reply.data(), reply.size(), Crc16Start);
        reply.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        reply.push_back(static_cast<std::uint8_t>(crc >> 8));
        Arrive(reply);
    }

    OpenFailure Open(const std::string&) override {
        // Mostly a good open; now and then one of the failure codes or an unknown one.
        if (input_->ConsumeIntegralInRange<int>(0, 15) != 0) {
            open_ = true;
            return OpenFailure::None;
        }
        static constexpr OpenFailure codes[] = {
            OpenFailure::DeviceInvalid,  OpenFailure::AlreadyOpen,   OpenFailure::NotOpen,
            OpenFailure::CannotAllocate, OpenFailure::BadParameters, OpenFailure::HardwareUnavailable,
            OpenFailure::ByteSizeInvalid, OpenFailure::BaudRateNotSupported,
            static_cast<OpenFailure>(13), static_cast<OpenFailure>(2)};
        return input_->PickValueInArray(codes);
    }
    OpenFailure Configure(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {
        return input_->ConsumeIntegralInRange<int>(0, 15) != 0 ? OpenFailure::None
                                                               : OpenFailure::BaudRateNotSupported;
    }
    void SetDtr(bool) override {}
    void SetRts(bool) override {}
    std::int32_t QueuedInput() override {
        // Usually the truth; sometimes a count that does not match what a read then gives.
        if (input_->ConsumeIntegralInRange<int>(0, 31) == 0) return input_->ConsumeIntegral<std::int32_t>();
        return static_cast<std::int32_t>(queue_.size());
    }
    std::uint32_t LineErrors() override {
        return input_->ConsumeIntegralInRange<int>(0, 63) == 0 ? input_->ConsumeIntegral<std::uint32_t>()
                                                               : 0;
    }
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override {
        if (input_->ConsumeIntegralInRange<int>(0, 63) == 0) return -1;
        std::int32_t n = 0;
        while (n < count && !queue_.empty()) {
            buffer[n++] = queue_.front();
            queue_.pop_front();
        }
        return n;
    }
    bool Write(const std::uint8_t* bytes, std::int32_t count) override {
        FUZZ_CHECK(count >= 0);
        lastFrame_.assign(bytes, bytes + count);
        return input_->ConsumeIntegralInRange<int>(0, 31) != 0;
    }
    bool Close() override {
        open_ = false;
        return input_->ConsumeIntegralInRange<int>(0, 15) != 0;
    }

private:
    std::uint8_t Byte() { return input_->ConsumeIntegral<std::uint8_t>(); }

    FuzzedDataProvider* input_ = nullptr;
    std::deque<std::uint8_t> queue_;
    std::vector<std::uint8_t> lastFrame_;
    bool open_ = false;
};

// A text for a number field: often a number (small, extreme or any 32-bit value), sometimes
// a near miss, sometimes anything.
inline std::string NumberishText(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return std::to_string(input.ConsumeIntegralInRange<int>(-3, 300));
    case 1: return std::to_string(input.ConsumeIntegral<std::int32_t>());
    case 2: return std::to_string(input.ConsumeIntegral<std::int64_t>());
    case 3: return input.PickValueInArray<std::string_view>(
                {"2147483647", "-2147483648", "2147483648", "-2147483649", "", " 1", "1 ", "+",
                 "-", "0x10", "1e3", "1.5", "1,5", "00000000000001", "-0", "+7"})
            .data();  // literals: zero-terminated
    default: return input.ConsumeRandomLengthString(24);
    }
}

}  // namespace kestrova::fuzz
