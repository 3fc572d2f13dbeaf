#pragma once

// Helpers shared by the fuzz targets: a check that turns a broken invariant into a crash
// libFuzzer reports, and a fake serial line that answers from the fuzz input. Scratch folders,
// whole-file reads and writes and the line itself come from the test support library.
//
// Conversion and file errors (kestrova::ConversionError, kestrova::FileError) are the documented
// answers to bad input: the targets catch exactly those. Anything else that leaves a target (any
// other exception, a failed check, a sanitizer report) is a fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "port/serial_line.h"
#include "protocol/msg_frames.h"
#include "support/fake_serial_line.h"
#include "support/reply_frames.h"
#include "support/temp_folder.h"

namespace kestrova::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED %s:%d: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    do { \
        if (!(condition)) ::kestrova::fuzz::Fail(__FILE__, __LINE__, #condition); \
    } while (0)

// Bit-for-bit equality of doubles (so a NaN equals itself and -0 differs from 0).
inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Makes the line's answers come from the fuzz input, as they are asked for: mostly what a device
// would give; now and then a failed open or configure, a queued count that a read then belies,
// line errors, a failed read, a refused write or a failed close. Received bytes are queued by
// the target (garbage, or replies from ArriveReply). The SerialLine contract holds where a real
// device keeps it (a read never fills more than it was asked for); everything else may be
// hostile.
inline void AnswerFrom(FuzzedDataProvider& input, test::FakeSerialLine& line) {
    line.beforeCall = [&input, &line](test::LineCall call) {
        using test::LineCall;
        switch (call) {
            case LineCall::Open: {
                static constexpr OpenFailure codes[] = {
                    OpenFailure::DeviceInvalid,   OpenFailure::AlreadyOpen,
                    OpenFailure::NotOpen,         OpenFailure::CannotAllocate,
                    OpenFailure::BadParameters,   OpenFailure::HardwareUnavailable,
                    OpenFailure::ByteSizeInvalid, OpenFailure::BaudRateNotSupported,
                    static_cast<OpenFailure>(13), static_cast<OpenFailure>(2)};
                line.openResult = input.ConsumeIntegralInRange<int>(0, 15) != 0
                                      ? OpenFailure::None
                                      : input.PickValueInArray(codes);
                break;
            }
            case LineCall::Configure:
                line.configureResult = input.ConsumeIntegralInRange<int>(0, 15) != 0
                                           ? OpenFailure::None
                                           : OpenFailure::BaudRateNotSupported;
                break;
            case LineCall::QueuedInput:
                line.queuedReport.reset();
                if (input.ConsumeIntegralInRange<int>(0, 31) == 0) {
                    line.queuedReport = input.ConsumeIntegral<std::int32_t>();
                }
                break;
            case LineCall::LineErrors:
                line.pendingErrors = input.ConsumeIntegralInRange<int>(0, 63) == 0
                                         ? input.ConsumeIntegral<std::uint32_t>()
                                         : 0;
                break;
            case LineCall::Read:
                line.readFails = input.ConsumeIntegralInRange<int>(0, 63) == 0;
                break;
            case LineCall::Write:
                line.writeResult = input.ConsumeIntegralInRange<int>(0, 31) != 0;
                break;
            case LineCall::Close:
                line.closeResult = input.ConsumeIntegralInRange<int>(0, 15) != 0;
                break;
            default: break;
        }
    };
    line.responder = [](test::FakeSerialLine&, const std::uint8_t*, int length) {
        FUZZ_CHECK(length >= 0);
    };
}

// Between 1 and most bytes of anything, as if they had arrived on the line.
inline void ArriveBytes(FuzzedDataProvider& input, test::FakeSerialLine& line, int most) {
    const std::vector<std::uint8_t> bytes =
        input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<int>(1, most));
    line.Arrive(bytes.data(), static_cast<int>(bytes.size()));
}

// A well-formed reply to the last frame written: a good read reply carrying the count of bytes
// asked for (up to 200, drawn from the input), a good write reply, or an error reply with any
// code.
inline void ArriveReply(FuzzedDataProvider& input, test::FakeSerialLine& line, bool asError) {
    if (line.frameCount == 0 || line.LastFrame().length < 8) return;
    const test::FrameBytes& request = line.LastFrame();
    if (asError) {
        line.Arrive(test::ErrorReply(input.ConsumeIntegral<std::uint8_t>()));
    } else if (request.bytes[1] == WriteCommandChar) {
        line.Arrive(test::GoodWriteReply());
    } else {
        std::array<std::uint8_t, 200> data{};
        const std::size_t count = std::min<std::size_t>(test::FrameCount(request), data.size());
        const std::vector<std::uint8_t> drawn = input.ConsumeBytes<std::uint8_t>(count);
        std::copy(drawn.begin(), drawn.end(), data.begin());
        line.Arrive(test::GoodReadReply(data.data(), static_cast<int>(count)));
    }
}

// A text for a number field: often a number (small, extreme or any 32-bit value), sometimes
// a near miss, sometimes anything.
inline std::string NumberishText(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return std::to_string(input.ConsumeIntegralInRange<int>(-3, 300));
        case 1: return std::to_string(input.ConsumeIntegral<std::int32_t>());
        case 2: return std::to_string(input.ConsumeIntegral<std::int64_t>());
        case 3:
            return input
                .PickValueInArray<std::string_view>(
                    {"2147483647", "-2147483648", "2147483648", "-2147483649", "", " 1", "1 ", "+",
                     "-", "0x10", "1e3", "1.5", "1,5", "00000000000001", "-0", "+7"})
                .data();  // literals: zero-terminated
        default: return input.ConsumeRandomLengthString(24);
    }
}

}  // namespace kestrova::fuzz
