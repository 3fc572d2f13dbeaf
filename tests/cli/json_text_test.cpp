#include "cli/json_text.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrova::cli {
namespace {

TEST(JsonText, EscapesControlsAndReplacesBytesThatAreNotUtf8) {
    struct Row {
        std::string text;
        std::string json;
    };
    const Row rows[] = {
        {"COM1", "\"COM1\""},
        {"a\"b\\c\n\t\x01", "\"a\\\"b\\\\c\\n\\t\\u0001\""},
        {"/tmp/\u00e4\u20ac\U0001F600.PRM", "\"/tmp/\u00e4\u20ac\U0001F600.PRM\""},
        {"/tmp/\xe4.PRM", "\"/tmp/\\ufffd.PRM\""},                 // Latin-1 name
        {"\x80\xbf", "\"\\ufffd\\ufffd\""},                        // stray continuation bytes
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},                        // overlong "/"
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},             // a surrogate
        {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // past U+10FFFF
        {"x\xe2\x82", "\"x\\ufffd\\ufffd\""},                      // cut short at the end
    };
    for (const Row& row : rows) EXPECT_EQ(JsonString(row.text), row.json) << row.json;
}

}  // namespace
}  // namespace kestrova::cli
