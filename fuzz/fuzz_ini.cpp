// IniDocument: load any bytes from a file, read and write, save, and load the saved file again.
//
// Checked: the saved file, loaded again, answers every read exactly as the document did before
// the save (written values included), and saving that reloaded document gives the same bytes.
// Written names and values are those the program can write: no line break, no blanks at either
// end, no "=" in a key name, no "]" in a section name, and a key name that does not start like a
// section header or a comment. Any bytes may stand in the file itself.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <utility>

#include "common/errors.h"
#include "common/ini_document.h"
#include "fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

std::string Name(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) {
        return input
            .PickValueInArray<std::string_view>({"Form", "form", "Application", "Communications",
                                                 "Ports", "PIC", "TITLE", "POINT00000",
                                                 "point00039", "Version", "Name", "Top", "Left",
                                                 "ScaledValue", "COM1", "k", "K", "", "S"})
            .data();  // literals: zero-terminated
    }
    return input.ConsumeRandomLengthString(16);
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

// Made into a name or value the program could write (see the top of this file).
std::string Writable(std::string text, bool key, bool section) {
    std::erase(text, '\n');
    if (key) std::erase(text, '=');
    if (section) std::erase(text, ']');
    while (!text.empty() && Blank(text.front())) text.erase(text.begin());
    while (!text.empty() && Blank(text.back())) text.pop_back();
    if (key) {
        while (!text.empty() &&
               (text.front() == '[' || text.front() == ';' || Blank(text.front()))) {
            text.erase(text.begin());
        }
        if (text.empty()) text = "key";
    }
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

const test::TempFolder& Scratch() {
    static const test::TempFolder folder("kestrova_fuzz");
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::filesystem::path path = Scratch().Path() / "f.ini";
    test::WriteText(path, input.ConsumeRandomLengthString(size));

    // The file is small, so a FileError here would itself be a fault.
    IniDocument doc(path);

    constexpr std::string_view Fallback = "\x01no such key";
    std::set<std::pair<std::string, std::string>> probes;
    std::map<std::pair<std::string, std::string>, std::string> written;  // by lower-case names

    for (int op = 0; op < 64 && input.remaining_bytes() > 0; ++op) {
        const int kind = input.ConsumeIntegralInRange<int>(0, 7);
        if (kind <= 3) {
            const std::string section = Name(input);
            const std::string key = Name(input);
            probes.emplace(section, key);
            switch (kind) {
                case 0: (void)doc.ReadString(section, key, Fallback); break;
                case 1:
                    (void)doc.ReadInteger(section, key, input.ConsumeIntegral<std::int32_t>());
                    break;
                case 2: (void)doc.ReadBool(section, key, input.ConsumeBool()); break;
                default:
                    try {
                        (void)doc.ReadFloat(
                            section, key, input.ConsumeFloatingPointInRange<double>(-1e300, 1e300));
                    } catch (const ConversionError&) {
                    }
                    break;
            }
        } else {
            const std::string section = Writable(Name(input), false, true);
            const std::string key = Writable(Name(input), true, false);
            std::string value;
            switch (kind) {
                case 4:
                    value = Writable(input.ConsumeRandomLengthString(64), false, false);
                    doc.WriteString(section, key, value);
                    break;
                case 5: {
                    const std::int32_t n = input.ConsumeIntegral<std::int32_t>();
                    doc.WriteInteger(section, key, n);
                    FUZZ_CHECK(doc.ReadInteger(section, key, n == 0 ? 1 : 0) == n);
                    value = std::to_string(n);
                    break;
                }
                case 6: {
                    const bool b = input.ConsumeBool();
                    doc.WriteBool(section, key, b);
                    FUZZ_CHECK(doc.ReadBool(section, key, !b) == b);
                    value = b ? "1" : "0";
                    break;
                }
                default: {
                    const double d = input.ConsumeFloatingPoint<double>();
                    doc.WriteFloat(section, key, d);
                    value = doc.ReadString(section, key, Fallback);
                    // 15 significant digits: the value read back is the value written to that
                    // precision, and reading the text again gives the same double.
                    // A text the program wrote itself must convert back.
                    double back = 0.0;
                    try {
                        back = doc.ReadFloat(section, key, 0.0);
                    } catch (const ConversionError&) {
                        FUZZ_CHECK(!"a written floating-point value does not read back");
                    }
                    FUZZ_CHECK(std::abs(back - d) <= std::abs(d) * 1e-14);
                    break;
                }
            }
            FUZZ_CHECK(doc.ReadString(section, key, Fallback) == value);
            written[{Lower(section), Lower(key)}] = value;
            probes.emplace(section, key);
        }
    }

    try {
        doc.Save();
    } catch (const FileError&) {
        return 0;  // expected outcome of a failed write; nothing to compare then
    }
    const std::string saved = test::ReadText(path);

    IniDocument again(path);
    for (const auto& [section, key] : probes) {
        const std::string before = doc.ReadString(section, key, Fallback);
        FUZZ_CHECK(again.ReadString(section, key, Fallback) == before);
        if (const auto w = written.find({Lower(section), Lower(key)}); w != written.end()) {
            FUZZ_CHECK(before == w->second);
        }
    }
    again.Save();
    FUZZ_CHECK(test::ReadText(path) == saved);
    return 0;
}
