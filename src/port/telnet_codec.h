#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrova {

// Telnet framing of a serial line carried over TCP with the COM-PORT-OPTION (option 44): data
// bytes with 0xFF doubled, option negotiation, and the com-port sub-negotiations that set the
// remote port's line settings and report its line state. Holds no heap memory; every buffer has
// a fixed size.
namespace telnet {

inline constexpr std::uint8_t Se = 240;
inline constexpr std::uint8_t Sb = 250;
inline constexpr std::uint8_t Will = 251;
inline constexpr std::uint8_t Wont = 252;
inline constexpr std::uint8_t Do = 253;
inline constexpr std::uint8_t Dont = 254;
inline constexpr std::uint8_t Iac = 255;

inline constexpr std::uint8_t OptBinary = 0;
inline constexpr std::uint8_t OptSuppressGoAhead = 3;
inline constexpr std::uint8_t OptComPort = 44;

// Com-port commands from client to server; the server answers each with the command + 100.
inline constexpr std::uint8_t SetBaudRate = 1;
inline constexpr std::uint8_t SetDataSize = 2;
inline constexpr std::uint8_t SetParity = 3;
inline constexpr std::uint8_t SetStopSize = 4;
inline constexpr std::uint8_t SetControl = 5;
inline constexpr std::uint8_t NotifyLineState = 6;
inline constexpr std::uint8_t NotifyModemState = 7;
inline constexpr std::uint8_t SetLineStateMask = 10;
inline constexpr std::uint8_t PurgeData = 12;
inline constexpr std::uint8_t ServerOffset = 100;

// SET-CONTROL values and PURGE-DATA's "both buffers".
inline constexpr std::uint8_t ControlDtrOn = 8;
inline constexpr std::uint8_t ControlDtrOff = 9;
inline constexpr std::uint8_t ControlRtsOn = 11;
inline constexpr std::uint8_t ControlRtsOff = 12;
inline constexpr std::uint8_t PurgeBoth = 3;

// NOTIFY-LINESTATE bits that are line errors.
inline constexpr std::uint8_t LineOverrun = 0x02;
inline constexpr std::uint8_t LineParity = 0x04;
inline constexpr std::uint8_t LineFraming = 0x08;
inline constexpr std::uint8_t LineBreak = 0x10;
inline constexpr std::uint8_t LineErrorMask = LineOverrun | LineParity | LineFraming | LineBreak;

// Longest frame Build writes: IAC SB 44 cmd, a 4-byte value with every byte doubled, IAC SE.
inline constexpr std::size_t MaxCommandBytes = 4 + 8 + 2;

// The line settings the server reported in use (0 where it has not answered yet). Parity and
// stop size are in the option's own codes (parity 1 none, 2 odd, 3 even; stop 1 one, 2 two).
struct ComPortState {
    std::uint32_t baud = 0;
    std::uint8_t dataSize = 0;
    std::uint8_t parity = 0;
    std::uint8_t stopSize = 0;
    std::uint32_t answers = 0;  // settings acknowledgements taken, for the caller to see news
};

// Writes the com-port command with its value (big-endian for the baud rate, every 0xFF
// doubled) into out; returns the length (at most MaxCommandBytes).
std::size_t BuildCommand(std::uint8_t command, std::uint32_t value, std::size_t valueBytes,
                         std::uint8_t* out);

// Copies data into out with each 0xFF doubled; stops before a byte that would not fit whole.
// Returns the bytes written; consumed tells how many input bytes they carry.
std::size_t EscapeData(const std::uint8_t* data, std::size_t count, std::uint8_t* out,
                       std::size_t capacity, std::size_t& consumed);

// Receiving side of one connection: separates data from commands, answers option requests and
// takes the com-port answers. The state survives between calls, so a command split across
// reads is decoded as a whole.
class Decoder {
public:
    static constexpr std::size_t ReplyCapacity = 96;

    // The client's opening requests: BINARY both ways, suppress-go-ahead both ways, and the
    // com-port option from this side. Queued as replies; to be sent first.
    void Start();

    // Decodes count received bytes; data bytes go to out (room for count bytes) and their number
    // is returned. Answers to option requests are queued (see Replies).
    std::size_t Decode(const std::uint8_t* in, std::size_t count, std::uint8_t* out);

    // Negotiation answers waiting to be sent; Consumed drops the first count of them.
    const std::uint8_t* Replies() const { return replies_.data(); }
    std::size_t ReplyLength() const { return replyLength_; }
    void Consumed(std::size_t count);

    const ComPortState& ComPort() const { return comPort_; }
    // Whether the server has agreed to the com-port option.
    bool ComPortAccepted() const { return local_[2].enabled; }
    // NOTIFY-LINESTATE error bits seen since the last call.
    std::uint8_t TakeLineErrors();
    // Replies that could not be queued because the queue was full (a peer flooding requests).
    std::uint32_t RepliesDropped() const { return repliesDropped_; }

private:
    enum class State : std::uint8_t { Data, Command, Option, Sub, SubCommand };

    // One option's state on one side: in force, or asked for by this side and not yet answered.
    struct OptionState {
        bool enabled = false;
        bool asked = false;
    };
    static constexpr std::size_t OptionCount = 3;  // BINARY, suppress-go-ahead, COM-PORT

    void Negotiate(std::uint8_t verb, std::uint8_t option);
    void Reply(std::uint8_t verb, std::uint8_t option);
    void Ask(std::array<OptionState, OptionCount>& side, std::uint8_t verb, std::uint8_t option);
    // The byte after an IAC; true when it was an escaped 0xFF data byte.
    bool Command(std::uint8_t byte);
    void EndSub();
    void TakeComPortAnswer(std::uint8_t command, const std::uint8_t* value, std::size_t length);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::array<std::uint8_t, 16> sub_{};
    std::size_t subLength_ = 0;
    bool subOverflow_ = false;
    std::array<std::uint8_t, ReplyCapacity> replies_{};
    std::size_t replyLength_ = 0;
    std::uint32_t repliesDropped_ = 0;
    std::array<OptionState, OptionCount> local_{};   // this side WILL
    std::array<OptionState, OptionCount> remote_{};  // the server WILL
    ComPortState comPort_;
    std::uint8_t lineErrors_ = 0;
};

}  // namespace telnet
}  // namespace kestrova
