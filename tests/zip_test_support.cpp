// The writer follows the zip application note; it exists so that tests can
// make archives no tool would write and then damage them byte by byte.
#include "zip_test_support.h"

#include <windows.h>
#include <zlib.h>

#include <cstdio>

#include "support/test_files.h"
#include "zip/unzip.h"
#include "zip/zip_crypt.h"

void Put16(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
  Put16(bytes, at, static_cast<uint16_t>(value));
  Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

namespace {

void Add16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Add32(std::string& out, uint32_t value) {
  Add16(out, value & 0xFFFF);
  Add16(out, value >> 16);
}

// The fields from "version needed" to the extra field's length, which the
// local header and the central record share; with `blank` the CRC and the
// sizes are 0, as they are in a local header followed by a data descriptor.
void AddShared(std::string& out, const TestEntry& e, uint16_t flags, bool blank, uint32_t crc,
               size_t compressed, size_t extraLength) {
  for (uint32_t value : {20u, uint32_t(flags), uint32_t(e.Method), uint32_t(e.DosTime),
                         uint32_t(e.DosDate)})
    Add16(out, value);
  Add32(out, blank ? 0 : crc);
  Add32(out, blank ? 0 : static_cast<uint32_t>(compressed));
  Add32(out, blank ? 0 : static_cast<uint32_t>(e.Data.size()));
  Add16(out, static_cast<uint32_t>(e.Name.size()));
  Add16(out, static_cast<uint32_t>(extraLength));
}

std::string Encrypt(const std::string& data, const char* password, uint8_t check) {
  std::string out = "0123456789A";
  out.push_back(static_cast<char>(check));
  out += data;
  ZipKeys keys;
  ZipInitKeys(keys, password);
  ZipEncrypt(keys, reinterpret_cast<unsigned char*>(&out[0]), static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace

TestEntry Entry(const std::string& name, const std::string& data, uint16_t method) {
  TestEntry e;
  e.Name = name;
  e.Data = data;
  e.Method = method;
  return e;
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string Deflate(const std::string& data) {
  z_stream z = {};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string UtExtra(uint8_t flags, const std::vector<int32_t>& times) {
  std::string out = "UT";
  Add16(out, static_cast<uint32_t>(1 + 4 * times.size()));
  out.push_back(static_cast<char>(flags));
  for (int32_t t : times) Add32(out, static_cast<uint32_t>(t));
  return out;
}

std::string PatternText(size_t length, unsigned seed) {
  std::string out;
  out.reserve(length);
  unsigned state = seed;
  while (out.size() < length) {
    state = state * 1103515245u + 12345u;
    char line[64];
    std::snprintf(line, sizeof line, "line %u of the catalogue, value %u\r\n",
                  static_cast<unsigned>(out.size()), (state >> 16) % 1000);
    out += line;
  }
  out.resize(length);
  return out;
}

TestZip BuildZip(const std::vector<TestEntry>& entries, const std::string& comment) {
  TestZip zip;
  std::string& archive = zip.Bytes;
  std::string central;
  for (const TestEntry& e : entries) {
    uint32_t crc = Crc32(e.Data);
    std::string body = e.Method == 8 ? Deflate(e.Data) : e.Data;
    uint16_t flags = (e.Descriptor ? 0x08 : 0) | (e.Password ? 0x01 : 0);
    if (e.Password)
      body = Encrypt(body, e.Password,
                     static_cast<uint8_t>(e.Descriptor ? e.DosTime >> 8 : crc >> 24));
    uint32_t localOffset = static_cast<uint32_t>(archive.size());
    zip.LocalOffsets.push_back(archive.size());
    Add32(archive, 0x04034b50);
    AddShared(archive, e, flags, e.Descriptor, crc, body.size(), e.LocalExtra.size());
    archive += e.Name + e.LocalExtra;
    zip.DataOffsets.push_back(archive.size());
    archive += body;
    if (e.Descriptor) {
      Add32(archive, 0x08074b50);
      Add32(archive, crc);
      Add32(archive, static_cast<uint32_t>(body.size()));
      Add32(archive, static_cast<uint32_t>(e.Data.size()));
    }
    zip.CentralOffsets.push_back(central.size());  // made absolute below
    Add32(central, 0x02014b50);
    Add16(central, e.VersionMadeBy);
    AddShared(central, e, flags, false, crc, body.size(), 0);
    Add16(central, 0);  // comment length
    Add32(central, 0);  // disk number, internal attributes
    Add32(central, e.ExternalAttributes);
    Add32(central, localOffset);
    central += e.Name;
  }
  uint32_t centralOffset = static_cast<uint32_t>(archive.size());
  for (size_t& at : zip.CentralOffsets) at += centralOffset;
  archive += central;
  zip.EndOffset = archive.size();
  Add32(archive, 0x06054b50);
  Add32(archive, 0);  // this disk and the directory's disk
  Add16(archive, static_cast<uint32_t>(entries.size()));
  Add16(archive, static_cast<uint32_t>(entries.size()));
  Add32(archive, static_cast<uint32_t>(central.size()));
  Add32(archive, centralOffset);
  Add16(archive, static_cast<uint32_t>(comment.size()));
  archive += comment;
  return zip;
}

std::string DataPath(const std::string& name) { return TestDataFile("zip/" + name); }

unsigned ExtractAll(ZipHandle zip, int index, unsigned piece, std::string* out) {
  std::vector<char> buffer(piece);
  out->clear();
  ZipEntryInfo info;
  ZipGetEntry(zip, index, &info);
  for (int calls = 0; calls < 1000000; ++calls) {
    ZipResult r = ZipExtractToMemory(zip, index, buffer.data(), piece);
    if (r == ZipMore) {
      out->append(buffer.data(), piece);
      continue;
    }
    if (r == ZipOk) {
      // The last part's length follows from the entry's size.
      size_t rest = static_cast<size_t>(info.UncompressedSize) - out->size();
      out->append(buffer.data(), rest < piece ? rest : piece);
    }
    return r;
  }
  return 0xFFFFFFFF;
}

std::string RecentText() {
  char text[128];
  ZipResultText(ZipRecent, text, sizeof text);
  return text;
}
