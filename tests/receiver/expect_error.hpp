// Checks that a block call fails with a given identifier (empty for a program message) and a
// message holding the given text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runtime/error.hpp"

namespace hfchain::testing {

template <class Call>
void expect_error(Call&& call, const std::string& identifier, const std::string& text = "") {
    try {
        call();
        ADD_FAILURE() << "no error; expected '" << identifier << "'";
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), identifier) << e.message();
        EXPECT_NE(std::string(e.message()).find(text), std::string::npos)
            << "message '" << e.message() << "' lacks '" << text << "'";
    }
}

}  // namespace hfchain::testing
