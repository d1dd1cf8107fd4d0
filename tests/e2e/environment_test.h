// The base of the whole-program tests: COM on the test's thread and the prefix's side of
// the stand-in environment, for each suite.
#pragma once

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

namespace quellix::e2e {

class EnvironmentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        s_environment = new Environment;
    }
    static void TearDownTestSuite()
    {
        delete s_environment;
        CoUninitialize();
    }

private:
    static inline Environment* s_environment = nullptr;
};

}  // namespace quellix::e2e
