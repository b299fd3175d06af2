// Stream compression against its peers, on the same data in one process: compression at
// memory level 0 against zlib's raw deflate (level 3 with a 4 KiB window, the nearest
// configuration, and level 1 with 32 KiB); decompression of our streams against zlib's
// inflate and libdeflate (ours whole and in reads of 64 KiB); the CRC-32 against zlib's and
// libdeflate's.
//
// "side-by-side/..." runs the contenders alternately inside each iteration and reports each
// one's best rate and the ratios of its time to ours ("x zlib3w12" = zlib's time / ours):
// the steady figures on a noisy machine.
//
// Data: the files of the benchmark corpus (YDR_CORPUS, default /tmp/ydr-corpus; made by the
// corpus script beside the project, see scripts/run-benchmarks.sh).
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "tests/support/memory_streams.h"
#include "ydr/gz.h"

namespace {

// A file of the corpus, whole. Without it the figures would silently leave out a data set,
// so a missing or empty file ends the program with a message.
std::string CorpusFile(const std::string &name) {
  const char *dir = std::getenv("YDR_CORPUS");
  const std::string path = std::string(dir != nullptr ? dir : "/tmp/ydr-corpus") + "/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in || in.peek() == std::ifstream::traits_type::eof()) {
    std::fprintf(stderr, "gz_bench: no corpus file %s (scripts/make_corpus.sh makes the corpus)\n", path.c_str());
    std::exit(1);
  }
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

const std::string &Data(const std::string &name) {
  static std::map<std::string, std::string> cache;
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, CorpusFile(name)).first;
  return it->second;
}

using ydr::test::AppendToBytes;
using ydr::test::MemorySource;
using ydr::test::ReadFromMemory;

std::string OurStream(const std::string &data) {
  std::string out;
  out.reserve(data.size());
  YDRGZ stream = YdrGZOpenWrite(AppendToBytes, &out);
  YdrGZWrite(stream, data.data(), static_cast<int>(data.size()));
  YdrGZCloseWrite(stream);
  return out;
}

void SetBytes(benchmark::State &state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

// One whole job of each engine, the same in the plain and the side-by-side benchmarks. Ours
// runs on `threads` threads (the writer reads the setting when it opens), in writes of
// `write_size` bytes (0: one write).
void OursCompress(const std::string &data, std::string *out, int threads = 1, std::size_t write_size = 0) {
  out->clear();
  setenv("YDR_GZ_THREADS", std::to_string(threads).c_str(), 1);
  YDRGZ stream = YdrGZOpenWrite(AppendToBytes, out);
  const std::size_t step = write_size == 0 ? data.size() : write_size;
  for (std::size_t at = 0; at < data.size(); at += step) {
    YdrGZWrite(stream, data.data() + at, static_cast<int>(std::min(step, data.size() - at)));
  }
  YdrGZCloseWrite(stream);
}

// Into `out`, which holds compressBound(data) bytes; the compressed size.
std::size_t ZlibCompress(const std::string &data, int level, int window_bits, std::string *out) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -window_bits, 8, Z_DEFAULT_STRATEGY);
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef *>(out->data());
  z.avail_out = static_cast<uInt>(out->size());
  deflate(&z, Z_FINISH);
  const std::size_t size = z.total_out;
  deflateEnd(&z);
  return size;
}

int OursDecompress(const std::string &stream, std::vector<char> *out) {
  MemorySource source(&stream);
  YDRGZ reader = YdrGZOpenRead(ReadFromMemory, &source);
  const int got = YdrGZRead(reader, out->data(), static_cast<int>(out->size()));
  YdrGZCloseRead(reader);
  return got;
}

// The same, reading 64 KiB per call, as a caller streaming into a fixed buffer would.
int OursDecompressIn64KiBReads(const std::string &stream, std::vector<char> *out) {
  MemorySource source(&stream);
  YDRGZ reader = YdrGZOpenRead(ReadFromMemory, &source);
  std::size_t total = 0;
  int got;
  while ((got = YdrGZRead(reader, out->data() + total,
                          static_cast<int>(std::min<std::size_t>(65536, out->size() - total)))) > 0)
    total += static_cast<std::size_t>(got);
  YdrGZCloseRead(reader);
  return static_cast<int>(total);
}

void ZlibDecompress(const std::string &stream, std::vector<char> *out) {
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef *>(out->data());
  z.avail_out = static_cast<uInt>(out->size());
  inflate(&z, Z_FINISH);
  inflateEnd(&z);
}

void LibdeflateDecompress(libdeflate_decompressor *d, const std::string &stream, std::size_t size,
                          std::vector<char> *out) {
  size_t in_used = 0, out_size = 0;
  libdeflate_deflate_decompress_ex(d, stream.data(), stream.size(), out->data(), size, &in_used, &out_size);
}

std::string ZlibBuffer(const std::string &data) {
  return std::string(compressBound(static_cast<uLong>(data.size())) + 64, '\0');
}

void CompressOurs(benchmark::State &state, const std::string &file) {
  const std::string &data = Data(file);
  std::string out;
  out.reserve(data.size());
  for (auto _ : state) {
    OursCompress(data, &out, 1);
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, data.size());
  state.counters["ratio"] = static_cast<double>(out.size()) / static_cast<double>(data.size());
}

void CompressZlib(benchmark::State &state, const std::string &file, int level, int window_bits) {
  const std::string &data = Data(file);
  std::string out = ZlibBuffer(data);
  std::size_t size = 0;
  for (auto _ : state) size = ZlibCompress(data, level, window_bits, &out);
  SetBytes(state, data.size());
  state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(data.size());
}

void DecompressOurs(benchmark::State &state, const std::string &file) {
  const std::string &data = Data(file);
  const std::string stream = OurStream(data);
  std::vector<char> out(data.size() + 16);
  for (auto _ : state) {
    if (static_cast<std::size_t>(OursDecompress(stream, &out)) != data.size()) state.SkipWithError("round trip failed");
  }
  SetBytes(state, data.size());
}

void DecompressZlib(benchmark::State &state, const std::string &file) {
  const std::string &data = Data(file);
  const std::string stream = OurStream(data);
  std::vector<char> out(data.size() + 16);
  for (auto _ : state) ZlibDecompress(stream, &out);
  SetBytes(state, data.size());
}

void DecompressLibdeflate(benchmark::State &state, const std::string &file) {
  const std::string &data = Data(file);
  const std::string stream = OurStream(data);
  std::vector<char> out(data.size());
  libdeflate_decompressor *d = libdeflate_alloc_decompressor();
  for (auto _ : state) LibdeflateDecompress(d, stream, data.size(), &out);
  libdeflate_free_decompressor(d);
  SetBytes(state, data.size());
}

std::string CrcData(std::size_t size) {
  std::string data(size, '\0');
  std::uint32_t x = 12345;
  for (char &c : data) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
  return data;
}

void CrcOurs(benchmark::State &state) {
  const std::string data = CrcData(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    unsigned int reg;
    YdrGZUpdateCRC(&reg, nullptr, 0);
    benchmark::DoNotOptimize(YdrGZUpdateCRC(&reg, data.data(), static_cast<unsigned int>(data.size())));
  }
  SetBytes(state, data.size());
}

void CrcZlib(benchmark::State &state) {
  const std::string data = CrcData(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
  }
  SetBytes(state, data.size());
}

void CrcLibdeflate(benchmark::State &state) {
  const std::string data = CrcData(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(libdeflate_crc32(0, data.data(), data.size()));
  SetBytes(state, data.size());
}

// Side by side: every iteration runs each contender once, in turn, on the same data, and
// each keeps its fastest time. On a machine whose speed drifts between runs (a shared
// virtual machine), only such alternating measurement gives a steady ratio.
struct Contender {
  const char *name;
  std::function<void()> run;
};

void SideBySide(benchmark::State &state, std::size_t bytes, const std::vector<Contender> &contenders) {
  std::vector<double> best(contenders.size(), 1e30);
  for (auto _ : state) {
    for (std::size_t i = 0; i < contenders.size(); ++i) {
      const auto start = std::chrono::steady_clock::now();
      contenders[i].run();
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      best[i] = std::min(best[i], seconds);
    }
  }
  for (std::size_t i = 0; i < contenders.size(); ++i) {
    state.counters[std::string(contenders[i].name) + " MB/s"] = static_cast<double>(bytes) / best[i] / 1e6;
    if (i > 0) state.counters[std::string("x ") + contenders[i].name] = best[i] / best[0];
  }
}

void CompressSideBySide(benchmark::State &state, const std::string &file) {
  const std::string &data = Data(file);
  std::string out;
  out.reserve(data.size() + 1024);
  std::string zlib_out = ZlibBuffer(data);
  SideBySide(state, data.size(),
             {{"ours", [&] { OursCompress(data, &out); }},
              {"zlib3w12", [&] { ZlibCompress(data, 3, 12, &zlib_out); }},
              {"zlib1w15", [&] { ZlibCompress(data, 1, 15, &zlib_out); }}});
}

// The same stream made on two threads against one: whole-file writes, and writes of 4 MiB.
void ThreadsSideBySide(benchmark::State &state, const std::string &file, std::size_t write_size) {
  const std::string &data = Data(file);
  std::string out, one_out;
  out.reserve(data.size() + 1024);
  one_out.reserve(data.size() + 1024);
  SideBySide(state, data.size(),
             {{"ours 2 threads", [&] { OursCompress(data, &out, 2, write_size); }},
              {"one thread", [&] { OursCompress(data, &one_out, 1, write_size); }}});
  if (out != one_out) state.SkipWithError("the threads' stream differs from one thread's");
}

void DecompressSideBySide(benchmark::State &state, const std::string &file) {
  const std::string &data = Data(file);
  const std::string stream = OurStream(data);
  std::vector<char> out(data.size() + 16);
  libdeflate_decompressor *d = libdeflate_alloc_decompressor();
  SideBySide(state, data.size(),
             {{"ours", [&] { OursDecompress(stream, &out); }},
              {"zlib", [&] { ZlibDecompress(stream, &out); }},
              {"libdeflate", [&] { LibdeflateDecompress(d, stream, data.size(), &out); }},
              {"ours-64KiB-reads", [&] { OursDecompressIn64KiBReads(stream, &out); }}});
  libdeflate_free_decompressor(d);
}

void Register() {
  for (const char *file : {"text_c.bin", "docs.bin", "elf.bin"}) {
    const std::string f = file;
    benchmark::RegisterBenchmark(("side-by-side/compress/" + f).c_str(),
                                 [f](benchmark::State &s) { CompressSideBySide(s, f); })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2);
    benchmark::RegisterBenchmark(("side-by-side/compress-threads/" + f).c_str(),
                                 [f](benchmark::State &s) { ThreadsSideBySide(s, f, 0); })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2);
    benchmark::RegisterBenchmark(("side-by-side/compress-threads-4MiB-writes/" + f).c_str(),
                                 [f](benchmark::State &s) { ThreadsSideBySide(s, f, 4u << 20); })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2);
    benchmark::RegisterBenchmark(("side-by-side/decompress/" + f).c_str(),
                                 [f](benchmark::State &s) { DecompressSideBySide(s, f); })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2);
  }
  for (const char *file : {"text_c.bin", "docs.bin", "elf.bin", "random.bin", "runs.bin"}) {
    const std::string f = file;
    Data(f);  // read before anything runs, so that a missing file stops the program at once
    benchmark::RegisterBenchmark(("compress/ours/" + f).c_str(), [f](benchmark::State &s) {
      CompressOurs(s, f);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("compress/zlib3w12/" + f).c_str(), [f](benchmark::State &s) {
      CompressZlib(s, f, 3, 12);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("compress/zlib1w15/" + f).c_str(), [f](benchmark::State &s) {
      CompressZlib(s, f, 1, 15);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("decompress/ours/" + f).c_str(), [f](benchmark::State &s) {
      DecompressOurs(s, f);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("decompress/zlib/" + f).c_str(), [f](benchmark::State &s) {
      DecompressZlib(s, f);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("decompress/libdeflate/" + f).c_str(), [f](benchmark::State &s) {
      DecompressLibdeflate(s, f);
    })->Unit(benchmark::kMillisecond);
  }
  for (long size : {256L << 10, 64L << 20}) {
    benchmark::RegisterBenchmark("crc32/ours", CrcOurs)->Arg(size);
    benchmark::RegisterBenchmark("crc32/zlib", CrcZlib)->Arg(size);
    benchmark::RegisterBenchmark("crc32/libdeflate", CrcLibdeflate)->Arg(size);
  }
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  Register();
  ydr::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
