// The one most recent result of the zip reader, kept for the whole program.
#pragma once

#include "zip/unzip.h"

// Stores result as the most recent result and returns it.
ZipResult ZipSetRecent(ZipResult result);
