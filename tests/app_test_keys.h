// Shared by the signature and hash tests: the keys, signatures and files that
// the CTest fixture tests/keys/make_keys.sh made with openssl for this run,
// in the folder that the environment variable IZ_TEST_KEYS names.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Windows path of a file in the keys folder ("" when the variable is unset).
std::string TestKeyFile(const std::string& name);

// The bytes of a file in the keys folder ("" when it cannot be read).
std::string ReadTestKeyFile(const std::string& name);

// What is missing when the fixture did not run to its end; "" when it did.
std::string TestKeysMissing();

// Fails (never skips) the calling test when the keys are missing: a build
// whose signature check went untested must not pass.
#define IZ_REQUIRE_TEST_KEYS()                              \
  do {                                                      \
    const std::string izMissing = TestKeysMissing();        \
    if (!izMissing.empty()) FAIL() << izMissing;            \
  } while (0)
