// Target paths of extractions: composing them under the base folder and
// making the folders on the way. Paths never exceed 259 bytes. Entry names
// share the separator test.
#pragma once

#include <cstddef>

// Either slash separates folders: Windows takes both, and archives made on
// Unix store '/'.
inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Makes every folder of path (absolute, or relative to baseFolder), the
// last one included. False when a composed folder path would not fit.
bool MakeFolderPath(const char* baseFolder, const char* path);

// Composes the full target path of path in full (size bytes) and makes the
// folders on its way. False when the composed path does not fit.
bool PrepareTargetPath(const char* baseFolder, const char* path, char* full, size_t size);
