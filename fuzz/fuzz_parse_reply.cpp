// ParseReply with any reply bytes, any count and any command character.
//
// Input: command selector, count (16 bits), a length override, then the reply bytes. Besides
// running the parser on hostile bytes, the result is checked against the rules of the frame
// layer written out independently below, and a good read reply must hand over exactly its data.

#include <cstddef>
#include <cstdint>

#include "common/enum_int.h"
#include "fuzz_support.h"
#include "protocol/msg_frames.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

// The result the frame layer must give for the reply b[0..length) (b: the whole buffer) to a
// request with command m or M (count: the count of a read).
ReplyResult Expected(const std::uint8_t* b, std::size_t length, std::uint8_t command,
                     std::uint16_t count) {
    if (length == 0 || (b[0] != GoodReplyChar && b[0] != ErrorReplyChar))
        return ReplyResult::UnknownStart;
    if (length < 3) return ReplyResult::ChecksumError;
    const std::uint16_t crc = Crc16(b, length - 2, Crc16Start);
    if (b[length - 2] != (crc & 0xFF) || b[length - 1] != (crc >> 8))
        return ReplyResult::ChecksumError;
    // The shape bytes are read from the buffer as it stands (zero behind a reply set with
    // SetReply; whatever is there when the length field was changed by hand).
    const auto at = [&](std::size_t i) -> std::uint8_t { return b[i]; };
    if (b[0] == ErrorReplyChar) {
        if (at(1) == '$' && at(2) == 'E' && at(4) == '#')
            return static_cast<ReplyResult>(-128 - at(3));
        return ReplyResult::ErrorReply;
    }
    if (command == WriteCommandChar) {
        return at(1) == '$' && at(2) == 'O' && at(3) == 'K' && at(4) == '#'
                   ? ReplyResult::Good
                   : ReplyResult::WriteMalformed;
    }
    const bool good = length >= 5 && at(1) == '$' && b[length - 3] == '#' && length - 5 == count &&
                      length - 5 <= PayloadBufferSize;
    return good ? ReplyResult::Good : ReplyResult::ReadMalformed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint8_t command =
        input.PickValueInArray<std::uint8_t>({ReadCommandChar, ReadCommandChar, WriteCommandChar,
                                              WriteCommandChar, 0x00, 0xFF, FrameStartChar});
    const std::uint16_t count = input.ConsumeBool()
                                    ? input.ConsumeIntegralInRange<std::uint16_t>(0, 70)
                                    : input.ConsumeIntegral<std::uint16_t>();
    const bool overrideLength = input.ConsumeIntegralInRange<int>(0, 7) == 0;
    const std::uint16_t forcedLength = input.ConsumeIntegral<std::uint16_t>();
    const std::vector<std::uint8_t> reply = input.ConsumeRemainingBytes<std::uint8_t>();

    static RequestChannel channel;  // reused, as the protocol reuses its one channel
    const std::size_t kept = channel.SetReply(reply.data(), reply.size());
    FUZZ_CHECK(kept == std::min(reply.size(), ChannelReplyBufferSize));
    FUZZ_CHECK(channel.ReplyLength == kept && channel.Result == ReplyResult::Good);
    // A length that claims more than the buffer holds (the field is public) must be survived.
    if (overrideLength) channel.ReplyLength = forcedLength;

    const ReplyResult result = channel.ParseReply(command, count);
    FUZZ_CHECK(result == channel.Result);
    FUZZ_CHECK(channel.PayloadLength <= PayloadBufferSize);

    const std::size_t length = std::min<std::size_t>(channel.ReplyLength, ChannelReplyBufferSize);
    if (command == ReadCommandChar || command == WriteCommandChar) {
        FUZZ_CHECK(result == Expected(channel.Reply.data(), length, command, count));
    } else {
        // No request of the protocol carries another command: such a reply is never judged
        // against one, but whatever comes back is still one of the result codes.
        FUZZ_CHECK(result == ReplyResult::Good || result == ReplyResult::ChecksumError ||
                   result == ReplyResult::UnknownStart ||
                   (ToInt(result) <= ToInt(ReplyResult::ErrorReply) && ToInt(result) >= -383));
    }
    if (command == ReadCommandChar && result == ReplyResult::Good) {
        FUZZ_CHECK(channel.PayloadLength == count);
        FUZZ_CHECK(std::memcmp(channel.Payload.data(), channel.Reply.data() + 2, count) == 0);
    }
    return 0;
}
