// DownloadFile while it pumps messages, with the real main dialog: the
// progress bar and the flags during a transfer, cancel through the button,
// transfers that never end, and the Content-Length reader.
#include <gtest/gtest.h>

#include "app/download.h"
#include "app_servers_helper.h"

namespace {

// Samples taken by a timer while the transfer pumps messages.
struct TPumpProbe {
  TInstallZelmDlgClient* Dialog = nullptr;
  int Ticks = 0;
  int ClickAtTick = 0;  // 0: never press cancel
  bool SawDownloading = false;
  bool SawCanCloseRefused = false;
  int MinPos = 1000, MaxPos = -1;
  int HighDuring = -1;
  bool WentBack = false;  // a sample below the one before
};

TPumpProbe* Probe = nullptr;

void CALLBACK ProbeTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (!Probe || !Probe->Dialog->Downloading) return;
  TPumpProbe& p = *Probe;
  ++p.Ticks;
  p.SawDownloading = true;
  p.SawCanCloseRefused |= !p.Dialog->CanClose();
  int pos = ProgressPos(*p.Dialog);
  if (pos < p.MaxPos) p.WentBack = true;
  if (pos < p.MinPos) p.MinPos = pos;
  if (pos > p.MaxPos) p.MaxPos = pos;
  p.HighDuring = ProgressHigh(*p.Dialog);
  if (p.Ticks == p.ClickAtTick) {
    // The real button: BM_CLICK makes it send WM_COMMAND 107 to the dialog.
    SendMessageA(GetDlgItem(p.Dialog->GetHandle(), kIdCancelDownload), BM_CLICK, 0, 0);
  }
}

class ProgressTest : public TServedDialogTest {
 protected:
  // Get, with the probe taking a sample every intervalMs meanwhile.
  bool GetWatched(TPumpProbe& probe, UINT intervalMs, TXmlTreeNode* element,
                  const std::string& baseUrl) {
    probe.Dialog = Dialog.get();
    Probe = &probe;
    UINT_PTR timer = SetTimer(nullptr, 0, intervalMs, ProbeTimer);
    bool ok = Get(element, baseUrl);
    KillTimer(nullptr, timer);
    Probe = nullptr;
    return ok;
  }
};

// Past 42 949 673 bytes a 32-bit received * 100 wraps and the bar would
// jump back; the percentage must hold for files of any size.
TEST_F(ProgressTest, ProgressAndFlagsWhileALargeFileArrives) {
  const size_t size = 48u << 20;
  Servers().PutFile("large/download/big.exe", std::string(size, 'g'));
  TPumpProbe probe;
  bool ok = GetWatched(probe, 20, Package("big.exe"), Servers().Nginx("large/download/"));
  DeleteFileA((Servers().Www + "\\large\\download\\big.exe").c_str());
  EXPECT_TRUE(ok);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(Local.File("big.exe").c_str(), GetFileExInfoStandard, &data);
  EXPECT_EQ(size, data.nFileSizeLow);
  EXPECT_GT(probe.Ticks, 3);
  EXPECT_TRUE(probe.SawDownloading);
  EXPECT_TRUE(probe.SawCanCloseRefused);
  EXPECT_EQ(100, probe.HighDuring);
  EXPECT_FALSE(probe.WentBack);
  EXPECT_GT(probe.MaxPos, probe.MinPos);  // it moved
  EXPECT_GE(probe.MaxPos, 75);
  EXPECT_LE(probe.MaxPos, 100);
  EXPECT_EQ(0, ProgressPos(*Dialog));
  EXPECT_FALSE(Dialog->Downloading);
  EXPECT_TRUE(Dialog->CanClose());
  EXPECT_GT(Speed, 0.0f);
  EXPECT_EQ("", Dialog->LogText);
}

// The cancel button while the body arrives (about twenty seconds in all),
// and while the head does, a byte at a time: the window answers meanwhile.
TEST_F(ProgressTest, CancelButtonStopsALiveTransfer) {
  struct Case {
    const char* path;
    DWORD limitMs;
    bool bodyCame;
  } cases[] = {{"slow/4000000/20/", 8000, true}, {"trickleheader/200/", 30000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Dialog->CancelRequested = false;
    Dialog->LogText.clear();
    Speed = -1;
    TPumpProbe probe;
    probe.ClickAtTick = 4;
    DWORD start = GetTickCount();
    EXPECT_FALSE(GetWatched(probe, 50, Package("c.exe"), Servers().Fault(c.path)));
    EXPECT_LT(GetTickCount() - start, c.limitMs);
    EXPECT_TRUE(Dialog->CancelRequested);
    EXPECT_TRUE(probe.SawCanCloseRefused);
    EXPECT_FALSE(FileExists(Local.File("c.exe")));
    EXPECT_FALSE(FileExists(Local.File("c.exe.part")));
    EXPECT_EQ("下载中止。\r\n", Dialog->LogText);
    EXPECT_EQ(Dialog->LogText, LogControlText(*Dialog));  // shown, not only stored
    EXPECT_EQ(0, ProgressPos(*Dialog));
    EXPECT_FALSE(Dialog->Downloading);
    EXPECT_EQ(c.bodyCame, Speed > 0.0f);
  }
}

// Transfers that never end: a body fast enough not to stall, and a head sent
// a byte at a time, which trips no time-out. The catalogue's attempt has a
// deadline of its own; without one the head must still have come within the
// connect and receive time-outs together.
TEST_F(ProgressTest, DeadlineAndTimeOutsEndTransfersThatNeverFinish) {
  struct Case {
    const char* path;
    unsigned long deadlineMs;
    bool shortTimeOuts;
    DWORD limitMs;
  } cases[] = {
      {"drip/104857600/4096/100/", 2000, false, 30000},  // 100 MB at 40 KB/s: seven hours
      {"trickleheader/200/", 2000, false, 30000},        // the head alone: ten minutes
      {"trickleheader/200/", 0, true, 15000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + std::string(c.deadlineMs ? " with" : " without") + " a deadline");
    const TTransferLimits& d = kTransferLimits;
    const TTransferLimits shortLimits = {1000, 1500, d.StallWindowMs, d.CatalogueDeadlineMs};
    SetTransferLimits(c.shortTimeOuts ? shortLimits : d);
    DWORD start = GetTickCount();
    EXPECT_FALSE(DownloadFile(*Dialog, Local.Path().c_str(), Package("InstallFiles.zip"), Speed,
                              Servers().Fault(c.path).c_str(), c.deadlineMs));
    EXPECT_LT(GetTickCount() - start, c.limitMs);
    EXPECT_FALSE(FileExists(Local.File("InstallFiles.zip")));
    EXPECT_FALSE(FileExists(Local.File("InstallFiles.zip.part")));
    EXPECT_FALSE(Dialog->Downloading);
    EXPECT_EQ(0, ProgressPos(*Dialog));
  }
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(ProgressTest, CancelAlreadySetStillAsksButTouchesNothing) {
  Dialog->CancelRequested = true;
  Servers().PutFile("precancel/download/p.exe", std::string(3000, 'p'));
  TXmlTreeNode* pkg = Package("p.exe");
  WriteFileBytes(Local.File("p.exe"), "old");
  EXPECT_FALSE(Get(pkg, Servers().Nginx("precancel/download/")));
  EXPECT_EQ("old", ReadFileBytes(Local.File("p.exe")));
  EXPECT_FALSE(FileExists(Local.File("p.exe.part")));
  EXPECT_EQ("下载中止。\r\n", Dialog->LogText);
  // A copy that is current by size and date, whose hash the cancel stops:
  // not current, and left exactly as it is.
  const std::string copy(3000, 'p');
  TXmlTreeNode* hashed = Package("p.exe");
  hashed->SetAttribute("sha256", Sha256Hex(copy).c_str());
  WriteFileBytes(Local.File("p.exe"), copy);
  EXPECT_FALSE(Get(hashed, Servers().Nginx("precancel/download/")));
  EXPECT_EQ(copy, ReadFileBytes(Local.File("p.exe")));
  // A current local copy is still found current.
  WriteFileBytes(Local.File("p.exe"), std::string(3000, 'q'));
  EXPECT_TRUE(Get(pkg, Servers().Nginx("precancel/download/")));
  EXPECT_EQ("下载中止。\r\n下载中止。\r\n下载中止。\r\n", Dialog->LogText);
  EXPECT_EQ(Dialog->LogText, LogControlText(*Dialog));
}

TEST(ContentLength, OnlyPlainDecimalsWithinThirtyTwoBits) {
  const struct {
    const char* text;
    unsigned long size;
  } good[] = {
      {"1", 1}, {"10240", 10240}, {" \t42 ", 42}, {"+7", 7}, {"4294967295", 4294967295ul},
      {"\r\n\v\f9\r\n", 9},  // any leading white space, as in attribute text
  };
  for (const auto& c : good) {
    unsigned long size = 123;
    EXPECT_TRUE(ParseContentLength(c.text, &size)) << "'" << c.text << "'";
    EXPECT_EQ(c.size, size) << "'" << c.text << "'";
  }
  for (const char* text : {"4294967296", "99999999999999999999999", "0", "", " ", "-5", "12abc",
                           "1 2", "0x10", "++1"}) {
    unsigned long size = 123;
    EXPECT_FALSE(ParseContentLength(text, &size)) << "'" << text << "'";
    EXPECT_EQ(0u, size) << "'" << text << "'";
  }
}

}  // namespace
