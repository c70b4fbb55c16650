// Starting a downloaded package as a silent installer.
#pragma once

// Size of the command-line buffer: 255 characters and the terminator.
constexpr unsigned kCommandLineSize = 256;

// Formats the command line "\"folder\fileName\" /auto /s" into `commandLine`
// (kCommandLineSize bytes). Returns false, with `commandLine` empty, when the
// line would not fit, the folder holds a double quote, or the file name is
// not a bare file name (IsBareFileName): a quote would end the quoted path
// and smuggle in arguments of its own, a separator would reach outside the
// folder.
bool FormatInstallerCommand(const char* folder, const char* fileName, char* commandLine);

// Starts exactly folder\fileName (the full path is the application name,
// nothing is searched or appended) with "/auto /s" and waits for the
// installer without a time-out, pumping `host` (may be null) at once, so
// that the window shows the log line written just before, and then whenever
// a message arrives (WaitPumping), so that the window keeps answering.
// Returns true when the process was started and has ended, with its exit
// code in `exitCode` (when not null; 0 when Windows cannot tell it). False
// when the command line is refused (see above) or the process cannot be
// created.
class TRunHost;

bool RunInstaller(const char* folder, const char* fileName, TRunHost* host,
                  unsigned long* exitCode = nullptr);
