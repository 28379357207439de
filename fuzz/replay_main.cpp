// Replays fuzz inputs without libFuzzer: each argument is a file whose bytes
// are handed to the target once. Lets a crash input be run under gdb.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream f(argv[i], std::ios::binary);
    std::vector<char> buf((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(buf.data()), buf.size());
    std::printf("replayed %s (%zu bytes)\n", argv[i], buf.size());
  }
  return 0;
}
