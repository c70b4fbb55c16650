// Linked only into the end-to-end build that meets the scripted fault
// server: a stalled transfer or a catalogue attempt gives up within seconds
// rather than the product's minutes, so that a test can wait for it. The
// program reads no command line or environment, so the limits are set here,
// before main, by a static initializer; download.cpp's own limits are
// constant-initialized and so already in place when this runs.
//
// IZ_STALL_WINDOW_MS and IZ_CATALOGUE_DEADLINE_MS come from the build, which
// hands the same numbers to the test script.
#include "app/download.h"

namespace {

constexpr TTransferLimits kShortLimits = {
    5000,                      // ConnectTimeoutMs
    5000,                      // ReceiveTimeoutMs
    IZ_STALL_WINDOW_MS,        // StallWindowMs
    IZ_CATALOGUE_DEADLINE_MS,  // CatalogueDeadlineMs
};

const bool Shortened = (SetTransferLimits(kShortLimits), true);

}  // namespace
