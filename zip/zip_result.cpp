// Result codes and their texts, in one table.
#include <cstring>

#include "zip/zip_result.h"

namespace {

struct ResultText {
  ZipResult Code;
  const char* Text;
};

const ResultText kResultTexts[] = {
    {ZipOk, "Success"},
    {ZipNoDuplicate, "Culdn't duplicate handle"},
    {ZipNoFile, "Couldn't create/open file"},
    {ZipNoMemory, "Failed to allocate memory"},
    {ZipWriteFailed, "Error writing to file"},
    {ZipNotFound, "File not found in the zipfile"},
    {ZipMore, "Still more data to unzip"},
    {ZipCorrupt, "Zipfile is corrupt or not a zipfile"},
    {ZipReadFailed, "Error reading file"},
    {ZipPassword, "Correct password required"},
    {ZipBadArguments, "Caller: faulty arguments"},
    {ZipNotMemory, "Caller: can only get memory of a memory zipfile"},
    {ZipMemorySize, "Caller: not enough space allocated for memory zipfile"},
    {ZipPreviousError, "Caller: there was a previous error"},
    {ZipEnded, "Caller: additions to the zip have already been ended"},
    {ZipMisSize, "Zip-bug: the anticipated size turned out wrong"},
    {ZipPartlyUnzipped, "Caller: the file had already been partially unzipped"},
    {ZipModeMix, "Caller: mixing creation and opening of zip"},
    {ZipNotInitialised, "Zip-bug: internal initialisation not completed"},
    {ZipSeek, "Zip-bug: trying to seek the unseekable"},
    {ZipNoChange, "Zip-bug: tried to change mind, but not allowed"},
    {ZipFlate, "Zip-bug: an internal error during flation"},
};

ZipResult recentResult = ZipOk;

}  // namespace

ZipResult ZipSetRecent(ZipResult result) {
  recentResult = result;
  return result;
}

unsigned ZipResultText(ZipResult code, char* buffer, unsigned length) {
  if (code == ZipRecent) code = recentResult;
  const char* text = "unknown zip result code";
  for (const ResultText& entry : kResultTexts)
    if (entry.Code == code) text = entry.Text;
  unsigned full = static_cast<unsigned>(std::strlen(text));
  if (!buffer || length == 0) return full;
  unsigned n = full < length - 1 ? full : length - 1;
  std::memcpy(buffer, text, n);
  buffer[n] = 0;
  return full;
}
