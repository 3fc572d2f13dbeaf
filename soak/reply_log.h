#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrova::soak {

// The simulator's reply log (kestrova-sim --reply-log) as it comes in: for each controller
// address, the data of the last intact read reply sent for it. A reply's line is written before
// its first byte leaves and the core asks an address again only after it has stored the reply, so
// a value the core stores from a read reply must be the one the log holds for the point's address
// at that moment; any other value was taken from a reply to another request.
class ReplyLog {
public:
    static constexpr std::uint32_t AddressCount = 0x1000;  // the simulator's memory lies below

    // Takes in a piece of the log; a line may be split across pieces. Lines that are no read
    // reply are passed over.
    void Feed(const char* bytes, std::size_t count);
    // A new simulator, a new log: nothing of the last one is kept, not even a line it cut off.
    void StartOver() { *this = ReplyLog(); }

    // The value of the last read reply sent for address, decoded as a point with the type word
    // ptFlags stores it; empty when none was logged.
    std::optional<std::int32_t> LastValue(std::uint32_t address, std::uint32_t ptFlags) const;

private:
    struct LastRead {
        bool known = false;
        std::array<std::uint8_t, 4> data{};  // the first bytes, enough for any point's value
    };

    void TakeLine(std::string_view line);

    std::array<LastRead, AddressCount> last_{};
    std::array<char, 128> line_{};
    std::size_t lineLength_ = 0;
    bool lineTooLong_ = false;
};

}  // namespace kestrova::soak
