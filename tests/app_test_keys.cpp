#include "app_test_keys.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// "/tmp/x" -> "Z:\tmp\x": Wine shows the Unix root as drive Z.
std::string WindowsPath(const std::string& unixPath) {
  if (unixPath.empty() || unixPath[0] != '/') return unixPath;
  std::string out = "Z:" + unixPath;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

}  // namespace

std::string TestKeyFile(const std::string& name) {
  const char* dir = getenv("IZ_TEST_KEYS");
  if (!dir || !*dir) return "";
  return WindowsPath(dir) + "\\" + name;
}

std::string ReadTestKeyFile(const std::string& name) {
  std::string path = TestKeyFile(name);
  if (path.empty()) return "";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
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
