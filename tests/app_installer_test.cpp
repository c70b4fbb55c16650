// Starting package installers: the command line and a real process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/installer.h"
#include "support/fake_run_host.h"
#include "support/test_files.h"

namespace {

TEST(InstallerCommandTest, QuotesThePathAndRefusesWhatDoesNotFit) {
  char line[kCommandLineSize];
  ASSERT_TRUE(FormatInstallerCommand("C:\\Users\\a b\\Downloads", "Dek 2008.exe", line));
  EXPECT_STREQ(line, "\"C:\\Users\\a b\\Downloads\\Dek 2008.exe\" /auto /s");

  // "\"" + folder + "\\" + file + "\" /auto /s" is 12 characters more than
  // folder and file together.
  std::string folder = "C:\\" + std::string(100, 'd');
  for (int fileLength : {139, 140, 141, 400}) {
    std::string file(fileLength, 'f');
    size_t wanted = folder.size() + file.size() + 12;
    bool fits = wanted <= 255;
    EXPECT_EQ(FormatInstallerCommand(folder.c_str(), file.c_str(), line), fits) << wanted;
    EXPECT_EQ(strlen(line), fits ? wanted : 0u);
  }
  EXPECT_FALSE(FormatInstallerCommand("C:\\d", "a\" /evil \".exe", line));
  EXPECT_STREQ(line, "");
}

TEST(RunInstallerTest, StartsTheFileWithItsArgumentsAndWaits) {
  TScratchDir folder("installer test");  // a space in the folder too: it must be quoted
  std::string out = folder.File("out.txt");
  // A batch file stands in for a package: it takes a moment, then records
  // its arguments. The output must be there when RunInstaller returns.
  std::string script = "@echo off\r\nping -n 2 127.0.0.1 >nul\r\necho %1 %2>\"" + out + "\"\r\n";
  ASSERT_TRUE(WriteFileBytes(folder.File("set up 1.bat"), script));
  TFakeRunHost host;
  ASSERT_TRUE(RunInstaller(folder.Path().c_str(), "set up 1.bat", &host));
  EXPECT_EQ(host.Pumps, 1);
  EXPECT_EQ(ReadFileBytes(out), "/auto /s\r\n");

  EXPECT_FALSE(RunInstaller(folder.Path().c_str(), "no such package.exe", nullptr));
  EXPECT_FALSE(RunInstaller(folder.Path().c_str(), std::string(300, 'x').c_str(), nullptr));
}

TEST(RunInstallerTest, GivesTheInstallersExitCode) {
  TScratchDir folder("installer codes");
  for (unsigned long code : {0ul, 1603ul, 3010ul, 1641ul, 1ul}) {
    std::string name = "code " + std::to_string(code) + ".bat";
    ASSERT_TRUE(WriteFileBytes(folder.File(name), "@exit /b " + std::to_string(code) + "\r\n"));
    unsigned long exitCode = 12345;
    ASSERT_TRUE(RunInstaller(folder.Path().c_str(), name.c_str(), nullptr, &exitCode)) << code;
    EXPECT_EQ(exitCode, code);
  }
}

}  // namespace
