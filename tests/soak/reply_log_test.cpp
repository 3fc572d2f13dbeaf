// The simulator's reply log as the soak reads it: the last read reply of each address.
#include "soak/reply_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

namespace kestrova::soak {
namespace {

constexpr std::uint32_t TypeU8 = 32;
constexpr std::uint32_t TypeS16 = 64;
constexpr std::uint32_t TypeU16 = 128;

TEST(SoakReplyLogTest, HoldsTheLastReadOfEachAddressFromLinesInPieces) {
    ReplyLog log;
    EXPECT_FALSE(log.LastValue(0xA52, TypeS16));
    constexpr std::string_view text =
        "read A52 2C01\nkestrova-sim: not a reply\nread A58 F4FF\nread A52 C800\n"
        "read A5A 02\nread XYZ 00\nread A5C 123\nread 1000 0100\nread A5E 01";
    for (std::size_t at = 0; at < text.size(); at += 5) {
        log.Feed(text.data() + at, std::min<std::size_t>(5, text.size() - at));
    }
    struct Case {
        std::uint32_t address, type;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {0xA52, TypeS16, 200},           // the later of two replies
        {0xA58, TypeS16, -12},           // decoded as the point's type
        {0xA58, TypeU16, 65524},         // the same bytes unsigned
        {0xA5A, TypeU8, 2},              // one byte
        {0xA5C, TypeU8, std::nullopt},   // an odd number of digits
        {0x1000, TypeU8, std::nullopt},  // beyond the simulator's memory
        {0xA5E, TypeU8, std::nullopt},   // the line is not complete yet
    };
    for (const Case& c : cases) {
        EXPECT_EQ(log.LastValue(c.address, c.type), c.value) << std::hex << c.address;
    }
    log.Feed("\n", 1);
    EXPECT_EQ(log.LastValue(0xA5E, TypeU8), 1);

    // A restarted simulator's log stands on its own.
    log.Feed("read A60 0", 10);
    log.StartOver();
    log.Feed("read A62 07\n", 12);
    EXPECT_EQ(log.LastValue(0xA62, TypeU8), 7);
    EXPECT_FALSE(log.LastValue(0xA52, TypeS16));
}

}  // namespace
}  // namespace kestrova::soak
