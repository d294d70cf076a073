// Runs a fuzz target without libFuzzer: every file of the saved corpus folder
// (the first argument, optional), then a fixed number of seeded mutations of
// each corpus file and of random buffers. A crash or sanitizer report fails
// the test; a clean pass prints the number of inputs.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  std::vector<std::vector<uint8_t>> corpus;
  if (argc > 1 && std::filesystem::is_directory(argv[1])) {
    for (auto& e : std::filesystem::recursive_directory_iterator(argv[1])) {
      if (!e.is_regular_file()) continue;
      std::ifstream in(e.path(), std::ios::binary);
      corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  size_t runs = 0;
  for (auto& c : corpus) {
    LLVMFuzzerTestOneInput(c.data(), c.size());
    ++runs;
  }
  std::mt19937 rng(12345);
  const int kMutationsPerInput = 200;
  for (auto& c : corpus) {
    for (int i = 0; i < kMutationsPerInput; ++i) {
      std::vector<uint8_t> m = c;
      if (m.empty()) m.push_back(0);
      int flips = 1 + static_cast<int>(rng() % 8);
      for (int f = 0; f < flips; ++f) m[rng() % m.size()] = static_cast<uint8_t>(rng());
      if (rng() % 4 == 0) m.resize(rng() % (m.size() + 1));
      LLVMFuzzerTestOneInput(m.data(), m.size());
      ++runs;
    }
  }
  for (int i = 0; i < 500; ++i) {
    std::vector<uint8_t> r(rng() % 4096);
    for (auto& b : r) b = static_cast<uint8_t>(rng());
    LLVMFuzzerTestOneInput(r.data(), r.size());
    ++runs;
  }
  std::printf("fuzz regression: %zu inputs, no failure\n", runs);
  return 0;
}
