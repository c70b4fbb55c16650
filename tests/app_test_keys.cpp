#include "app_test_keys.h"

#include <cstdlib>

#include "support/test_files.h"

std::string TestKeyFile(const std::string& name) {
  const char* dir = getenv("IZ_TEST_KEYS");
  return dir && *dir ? HostPath(dir) + "\\" + name : "";
}

std::string ReadTestKeyFile(const std::string& name) {
  std::string path = TestKeyFile(name);
  return path.empty() ? "" : ReadFileBytes(path);
}

std::string TestKeysMissing() {
  if (TestKeyFile("ready").empty()) {
    return "IZ_TEST_KEYS is not set: run the tests through ctest, whose fixture keys_make "
           "makes the test keys with openssl";
  }
  if (!FileExists(TestKeyFile("ready"))) {
    return "no test keys in " + TestKeyFile("") +
           ": the fixture tests/keys/make_keys.sh did not finish (is openssl installed?)";
  }
  return "";
}
