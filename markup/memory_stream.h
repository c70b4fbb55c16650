// An input stream over a block of memory, without copying it: the parser
// reads the catalogue from the bytes that were checked, not from a file that
// could change between the check and the read. It supports what the parser
// needs of a stream: reading, peeking, telling and seeking.
#pragma once

#include <istream>
#include <streambuf>

class TMemoryStreamBuf : public std::streambuf {
 public:
  // The block must outlive the buffer; it is never written.
  TMemoryStreamBuf(const char* data, size_t length) {
    char* begin = const_cast<char*>(data);
    setg(begin, begin, begin + length);
  }

 protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override {
    if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
    off_type base = dir == std::ios_base::beg ? 0
                    : dir == std::ios_base::cur ? gptr() - eback()
                                                : egptr() - eback();
    off_type target = base + offset;
    if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }
};

// The stream itself: `TMemoryStream in(data, length); LoadDocument(root, in);`
class TMemoryStream : public std::istream {
 public:
  TMemoryStream(const char* data, size_t length) : std::istream(nullptr), Buffer(data, length) {
    rdbuf(&Buffer);
  }

 private:
  TMemoryStreamBuf Buffer;
};
