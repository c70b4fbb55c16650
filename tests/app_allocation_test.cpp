// The catalogue fetch when memory runs out: a catalogue whose document does
// not fit must not end the program. The test program's allocations go
// through a budget that the test can set; the fetch is then run over a
// catalogue of twenty thousand packages with too little memory for its tree.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/catalogue_fetch.h"
#include "app_servers_helper.h"
#include "treeview/my_tree_wnd.h"

namespace {

// Bytes that operator new may still hand out; below zero: no limit.
std::atomic<long long> Budget{-1};

class TBudget {
 public:
  explicit TBudget(long long bytes) { Budget = bytes; }
  ~TBudget() { Budget = -1; }
};

}  // namespace

void* operator new(std::size_t size) {
  if (Budget.load() >= 0 && Budget.fetch_sub(static_cast<long long>(size)) < static_cast<long long>(size)) {
    Budget = 0;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(CatalogueMemory, ADocumentThatDoesNotFitLeavesAnEmptyTree) {
  IZ_REQUIRE_SERVERS();
  auto dialog = MakeDialog();
  TScratchDir local("memory");
  strcpy(dialog->DownloadDir, local.Path().c_str());
  Servers().PutFile("many/download/InstallFiles.zip",
                    ReadFileBytes(TestDataFile("download/many.zip")));
  {
    // Enough for the transfer and the member's bytes, far too little for
    // twenty thousand nodes with their attributes.
    TBudget budget(3 << 20);
    FetchCatalogueFrom(*dialog, Servers().Nginx("many/download/").c_str(),
                       Servers().Dead("download/").c_str());
    EXPECT_EQ(0, Budget.load());  // the budget did run out
  }
  EXPECT_TRUE(dialog->IsWindowAlive());
  EXPECT_EQ(0u, dialog->CatalogueDoc.Children.Count());
  EXPECT_EQ(0, static_cast<int>(TreeView_GetCount(dialog->TreeWnd->GetHandle())));
  EXPECT_EQ("", dialog->LogText);
  EXPECT_FALSE(FileExists(local.File("InstallFiles.zip")));

  // With memory enough the same catalogue loads whole.
  FetchCatalogueFrom(*dialog, Servers().Nginx("many/download/").c_str(),
                     Servers().Dead("download/").c_str());
  EXPECT_EQ(20000u, dialog->CatalogueDoc.Children.Count());
}

}  // namespace
