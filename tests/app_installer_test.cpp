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

// A batch file stands in for a package: it takes a moment, records its
// arguments and ends with a code of its own. The output must be there when
// RunInstaller returns, and the code must be the one it ended with.
TEST(RunInstallerTest, StartsTheFileWithItsArgumentsWaitsAndGivesItsExitCode) {
  TScratchDir folder("installer test");  // a space in the folder too: it must be quoted
  std::string out = folder.File("out.txt");
  std::string script = "@echo off\r\nping -n 2 127.0.0.1 >nul\r\necho %1 %2>\"" + out + "\"\r\n"
                       "exit /b 3010\r\n";
  ASSERT_TRUE(WriteFileBytes(folder.File("set up 1.bat"), script));
  TFakeRunHost host;
  unsigned long exitCode = 0;
  ASSERT_TRUE(RunInstaller(folder.Path().c_str(), "set up 1.bat", &host, &exitCode));
  EXPECT_EQ(host.Pumps, 1);
  EXPECT_EQ(ReadFileBytes(out), "/auto /s\r\n");
  EXPECT_EQ(exitCode, 3010u);

  EXPECT_FALSE(RunInstaller(folder.Path().c_str(), "no such package.exe", nullptr));
  EXPECT_FALSE(RunInstaller(folder.Path().c_str(), std::string(300, 'x').c_str(), nullptr));
}

}  // namespace
