#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ui_names.h"

namespace kestrova::test {

// The tests name the values of the pairs without their namespaces.
using namespace display_values;
using namespace event_texts;

// An event or display pair as the fakes record it, made from literals and names alike.
struct Pair : std::pair<std::string, std::string> {
    Pair(std::string_view a, std::string_view b) : pair(a, b) {}
};

// A list of texts to compare with, made from literals and names alike.
inline std::vector<std::string> Texts(std::initializer_list<std::string_view> texts) {
    return {texts.begin(), texts.end()};
}

}  // namespace kestrova::test
