#pragma once

#include <gtest/gtest.h>

#include <string>

namespace rv::test {

// A parameterised case's name from any text, as gtest and ctest list it: letters and digits
// kept, each run of anything else one '_' ("5,model=RV7406" → "5_model_RV7406").
inline std::string CaseName(const std::string& text) {
    std::string name;
    for (const char c : text) {
        const bool kept =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (kept) {
            name += c;
        } else if (!name.empty() && name.back() != '_') {
            name += '_';
        }
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name.empty() ? "none" : name;
}

// Names a case by what its PrintTo prints, after its index, which keeps equal prints apart:
// INSTANTIATE_TEST_SUITE_P(..., rv::test::PrintedCaseName()).
struct PrintedCaseName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        // A case about a very long input keeps a name short enough to list; the index keeps
        // names cut alike apart.
        std::string name = CaseName(::testing::PrintToString(info.param));
        if (name.size() > 60) name.resize(60);
        return std::to_string(info.index) + "_" + name;
    }
};

}  // namespace rv::test
