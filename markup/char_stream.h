// Character access for the reader, straight on the stream's buffer: one
// istream::get with its sentry per character costs several times the parse.
// Positions are offsets from the stream's start; -1 when the stream cannot
// tell (a failure to seek then ends the read like the end of the input).
#pragma once

#include <istream>
#include <streambuf>

class TCharStream {
 public:
  explicit TCharStream(std::istream& in) : Buffer(in.rdbuf()) {}

  // The next byte (0..255) or -1 at the end of the input.
  int Get() {
    if (!Buffer) return -1;
    std::streambuf::int_type c = Buffer->sbumpc();
    return c == std::streambuf::traits_type::eof() ? -1 : c;
  }
  int Peek() {
    if (!Buffer) return -1;
    std::streambuf::int_type c = Buffer->sgetc();
    return c == std::streambuf::traits_type::eof() ? -1 : c;
  }
  std::streamoff Tell() {
    if (!Buffer) return -1;
    return std::streamoff(Buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in));
  }
  bool Seek(std::streamoff position) {
    if (!Buffer || position < 0) return false;
    return std::streamoff(Buffer->pubseekpos(position, std::ios_base::in)) == position;
  }

 private:
  std::streambuf* Buffer;  // not owned
};
