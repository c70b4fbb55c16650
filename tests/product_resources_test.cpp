// The product's own resources, read back from the built InstallZelm.exe as
// Windows reads them: the version resource through the version API, the
// manifest through the resource API. Test programs must carry neither.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "markup/markup.h"
#include "markup/memory_stream.h"

namespace {

std::vector<char> VersionBlock(const char* exe) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
  std::vector<char> block(size);
  if (size == 0 || !GetFileVersionInfoA(exe, 0, size, block.data())) block.clear();
  return block;
}

// The text of one value, or "(missing)". VerQueryValueA hands the UTF-16 of
// the resource back in the system code page: GBK here, as on the target PCs.
std::string StringValue(std::vector<char>& block, const char* blockName, const char* name) {
  std::string path = std::string("\\StringFileInfo\\") + blockName + "\\" + name;
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) {
    return "(missing)";
  }
  return value;
}

// The RT_MANIFEST resource 1 of `exe`, or "" when it has none.
std::string Manifest(const char* exe) {
  HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return "";
  std::string text;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  if (HGLOBAL data = found ? LoadResource(module, found) : nullptr) {
    text.assign(static_cast<const char*>(LockResource(data)), SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

// The first element named `name` in document order, or null.
const TXmlTreeNode* Find(const TXmlTreeNode& root, const char* name) {
  for (const TXmlTreeNode* n = &root; n; n = n->NextInDocument()) {
    if (n->Name == name) return n;
  }
  return nullptr;
}

// The numbers are the project's; the strings are in one Simplified Chinese
// block for code page 936.
TEST(ProductVersion, VersionResourceNamesTheProjectInChinese) {
  std::vector<char> block = VersionBlock(IZ_PRODUCT_EXE);
  ASSERT_FALSE(block.empty()) << "no version resource in " << IZ_PRODUCT_EXE;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof *fixed);
  EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
  unsigned major = 0, minor = 0, patch = 0;
  ASSERT_EQ(3, sscanf(IZ_PROJECT_VERSION, "%u.%u.%u", &major, &minor, &patch));
  EXPECT_EQ(MAKELONG(minor, major), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(0, patch), fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
  EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(4u, length);
  EXPECT_EQ(0x0804, translation[0]);
  EXPECT_EQ(936, translation[1]);

  const struct {
    const char* name;
    std::string expected;
  } cases[] = {
      {"ProductName", "沃蒙在线安装"},
      {"FileDescription", "沃蒙定额库在线安装程序"},
      {"OriginalFilename", "InstallZelm.exe"},
      {"FileVersion", IZ_PROJECT_VERSION},
      {"ProductVersion", IZ_PROJECT_VERSION},
      {"LegalCopyright", "版权所有 (C) 2026 沃蒙"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected, StringValue(block, "080403A8", c.name));
    // Nothing under an English block that Explorer might show instead.
    EXPECT_EQ("(missing)", StringValue(block, "040904B0", c.name));
  }
}

TEST(ProductManifest, AsksForAdministratorAndKeepsTheClassicControls) {
  std::string manifest = Manifest(IZ_PRODUCT_EXE);
  ASSERT_FALSE(manifest.empty()) << "no manifest resource in " << IZ_PRODUCT_EXE;

  TXmlTreeNode root(nullptr, true);
  TMemoryStream in(manifest.data(), manifest.size());
  ASSERT_TRUE(LoadDocument(root, in)) << manifest;
  EXPECT_EQ("assembly", root.Name);
  const TXmlTreeNode* level = Find(root, "requestedExecutionLevel");
  ASSERT_NE(nullptr, level);
  EXPECT_STREQ("requireAdministrator", level->GetAttribute("level"));
  EXPECT_STREQ("false", level->GetAttribute("uiAccess"));

  // Windows 7, 8, 8.1 and 10/11, each by its GUID.
  std::vector<std::string> systems;
  for (const TXmlTreeNode* n = &root; n; n = n->NextInDocument()) {
    if (n->Name == "supportedOS") systems.push_back(n->GetAttribute("Id"));
  }
  const std::vector<std::string> expected = {
      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
      "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};
  EXPECT_EQ(expected, systems);

  // Common Controls 6 would change the look of every control.
  EXPECT_EQ(nullptr, Find(root, "dependency"));
  EXPECT_EQ(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
  // System DPI-aware, so that Windows does not stretch (and blur) the
  // window; per-monitor awareness would ask for rescaling on every move.
  const TXmlTreeNode* dpiAware = Find(root, "dpiAware");
  ASSERT_NE(nullptr, dpiAware);
  EXPECT_EQ("true", dpiAware->Text);
  EXPECT_EQ(nullptr, Find(root, "dpiAwareness"));
}

TEST(ProductResources, TestProgramsCarryNeither) {
  // A test program that asked for elevation would need an administrator to
  // run the suites on Windows.
  EXPECT_EQ("", Manifest(IZ_APP_TESTS_EXE));
  EXPECT_TRUE(VersionBlock(IZ_APP_TESTS_EXE).empty());
}

}  // namespace
