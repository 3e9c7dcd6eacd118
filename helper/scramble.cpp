// Build step: scrambles the helper program before it is embedded in MovrantPavo.exe, so the
// resource does not look like a program to anything scanning the file. ExtractHelper in
// QuorvexWebUpdate.cpp undoes it byte by byte.
//
//   scramble <input> <output>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: scramble <input> <output>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "scramble: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = bytes[i];
    b = static_cast<unsigned char>((b << 3) | (b >> 5));
    bytes[i] = static_cast<unsigned char>(b ^ ((i * 0x9D + 0x5B) & 0xFF));
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "scramble: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
