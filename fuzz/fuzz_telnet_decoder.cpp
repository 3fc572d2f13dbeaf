// The telnet decoder of network serial lines fed an arbitrary stream from a hostile server, cut
// into reads at places the input picks. Checked after every read: the data out never exceeds the
// bytes in, the reply queue stays within its capacity and holds only whole three-byte answers,
// and the same stream decoded in one read gives the same data and settings.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "port/telnet_codec.h"

using namespace kestrova;
using namespace kestrova::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t cut = input.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::vector<std::uint8_t> stream = input.ConsumeRemainingBytes<std::uint8_t>();

    telnet::Decoder pieces;
    telnet::Decoder whole;
    pieces.Start();
    whole.Start();
    std::vector<std::uint8_t> out(stream.size() + 1);
    std::vector<std::uint8_t> piecewise;
    for (std::size_t at = 0; at < stream.size(); at += cut) {
        const std::size_t count = std::min(cut, stream.size() - at);
        const std::size_t got = pieces.Decode(stream.data() + at, count, out.data());
        FUZZ_CHECK(got <= count);
        piecewise.insert(piecewise.end(), out.begin(),
                         out.begin() + static_cast<std::ptrdiff_t>(got));
        FUZZ_CHECK(pieces.ReplyLength() <= telnet::Decoder::ReplyCapacity);
        FUZZ_CHECK(pieces.ReplyLength() % 3 == 0);
        for (std::size_t i = 0; i < pieces.ReplyLength(); i += 3) {
            FUZZ_CHECK(pieces.Replies()[i] == telnet::Iac &&
                       pieces.Replies()[i + 1] >= telnet::Will);
        }
        // The caller sends some of the answers now and then.
        if (at % 3 == 0) pieces.Consumed(pieces.ReplyLength());
    }
    const std::size_t all = whole.Decode(stream.data(), stream.size(), out.data());
    FUZZ_CHECK(all == piecewise.size());
    FUZZ_CHECK(std::equal(piecewise.begin(), piecewise.end(), out.begin()));
    FUZZ_CHECK(whole.ComPort().baud == pieces.ComPort().baud);
    FUZZ_CHECK(whole.ComPort().answers == pieces.ComPort().answers);
    return 0;
}
