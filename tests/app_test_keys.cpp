#include "app_test_keys.h"

#include <windows.h>

#include <cstdlib>

#include "support/test_files.h"

std::string TestKeyFile(const std::string& name) {
  const char* dir = getenv("IZ_TEST_KEYS");
  if (!dir || !*dir) return "";
  return HostPath(dir) + "\\" + name;
}

std::string ReadTestKeyFile(const std::string& name) {
  std::string path = TestKeyFile(name);
  return path.empty() ? "" : ReadFileBytes(path);
}

bool TestKeysReady(std::string* why) {
  const char* dir = getenv("IZ_TEST_KEYS");
  if (!dir || !*dir) {
    *why = "IZ_TEST_KEYS is not set: run the tests through ctest, whose fixture keys_make "
           "makes the test keys with openssl";
    return false;
  }
  if (GetFileAttributesA(TestKeyFile("ready").c_str()) == INVALID_FILE_ATTRIBUTES) {
    *why = std::string("no test keys in ") + dir +
           ": the fixture tests/keys/make_keys.sh did not finish (is openssl installed?)";
    return false;
  }
  return true;
}
