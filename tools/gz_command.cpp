// ydr gz: compress to and from the stream format, the way gzip is used.
//
// `ydr gz FILE` writes FILE.ydgz and keeps FILE (--remove removes it once the output is
// complete); `-d` writes FILE back from FILE.ydgz; `-c` writes to standard output; `-t`
// checks, `-l` lists. An existing output is replaced only with -f, never when it is the
// input itself, and compressed data is never written to a terminal unless -f says so.
// Output goes to a temporary file renamed into place when complete, so a failed run leaves
// nothing half-written; it takes the input's permissions and time. Concatenated streams
// decompress one after another, and trailing garbage is a warning (exit 2), as in gzip.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/progress.h"
#include "tools/text_output.h"
#include "ydr/gz.h"

namespace ydr::tool {
namespace {

enum class Mode { kCompress, kDecompress, kTest, kList };

struct Settings {
  Mode mode = Mode::kCompress;
  bool to_stdout = false, force = false, remove_input = false, verbose = false, quiet = false;
  int level = YDR_GZ_MEM_SMALL;
  // Decompression reads at the widest window, so a stream of any level reads back.
  int read_level = YDR_GZ_MEM_LARGE;
  std::string suffix = ".ydgz";
};

struct Totals {
  std::uint64_t in = 0, out = 0;
};

int WriteToOutput(YDRGZ, void *user, const void *buffer, int count) {
  return static_cast<Output *>(user)->Write(buffer, static_cast<std::size_t>(count)) ? count : -1;
}

std::uint64_t SizeOf(const std::string &path) {
  platform::PathStatus info;
  return path != "-" && platform::StatusOf(path, &info) && info.kind == platform::PathStatus::Kind::kRegular ? info.size
                                                                                                             : 0;
}

bool EndsWith(const std::string &text, const std::string &tail) {
  return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Ratio(std::uint64_t compressed, std::uint64_t plain) {
  char text[16];
  const double saved = plain == 0 ? 0.0 : 100.0 * (1.0 - static_cast<double>(compressed) / static_cast<double>(plain));
  static_cast<void>(std::snprintf(text, sizeof text, "%5.1f%%", saved));
  return text;
}

// A file is compressed in writes of 16 MiB, which the library shares among its threads
// (YDR_GZ_THREADS); standard input in writes of 64 KiB, so that a stream passes through
// without waiting for 16 MiB of it. The output is the same either way.
constexpr std::size_t kFileWrite = 16u << 20;
constexpr std::size_t kStreamWrite = 1u << 16;

// Compresses `in` into `out`; false after saying why.
bool Compress(Input &in, Output &out, const Settings &settings, Totals *totals) {
  YDRGZ stream = YdrGZOpenWriteOfCustomMem(WriteToOutput, &out, settings.level);
  if (stream == nullptr) return Failed("out of memory");
  const std::uint64_t size = in.is_standard_input() ? 0 : SizeOf(in.name());
  // A small file takes one read of its size (and one more to see the end).
  const std::size_t piece = in.is_standard_input()          ? kStreamWrite
                            : size > 0 && size < kFileWrite ? static_cast<std::size_t>(size) + 1
                                                            : kFileWrite;
  const std::unique_ptr<char[]> buffer(new char[piece]);
  ProgressMeter meter("compressing " + in.name(), "", 0, size);
  long got;
  while ((got = in.Read(buffer.get(), piece)) > 0) {
    YdrGZWrite(stream, buffer.get(), static_cast<int>(got));
    meter.AddBytes(static_cast<std::uint64_t>(got));
    totals->in += static_cast<std::uint64_t>(got);
  }
  YdrGZCloseWrite(stream);
  meter.Clear();
  if (got < 0) return Failed("cannot read " + Quoted(in.name()) + ": " + in.error());
  if (!out.error().empty() || !out.Finish()) {
    return Failed("cannot write " + Quoted(out.name()) + ": " + out.error());
  }
  return true;
}

// The compressed input as the library's reader takes it. The reader reads ahead, so the
// bytes after one stream's trailer may already be in its buffer when the stream ends; it
// says how many, and they are given back here, to start the next stream.
class StreamSource {
 public:
  explicit StreamSource(Input &in) : in_(in) {}

  static int Read(YDRGZ, void *user, void *buffer, int count) {
    return static_cast<StreamSource *>(user)->Take(static_cast<unsigned char *>(buffer),
                                                   static_cast<std::size_t>(count));
  }

  // The last `count` bytes handed out come again, before anything not yet handed out.
  void GiveBack(std::size_t count) {
    count = count < recent_.size() ? count : recent_.size();
    std::vector<unsigned char> again(recent_.end() - static_cast<long>(count), recent_.end());
    again.insert(again.end(), pending_.begin() + static_cast<long>(pending_position_), pending_.end());
    pending_ = std::move(again);
    pending_position_ = 0;
    recent_.resize(recent_.size() - count);
  }

  // Whether no byte is left (reading ahead one piece to know).
  bool AtEnd() {
    if (pending_position_ < pending_.size()) return false;
    pending_.resize(kPiece);
    pending_position_ = 0;
    const long got = in_.Read(pending_.data(), pending_.size());
    pending_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return got <= 0;
  }

 private:
  // The reader asks for 4096 bytes at a time and never reads further ahead than that; the
  // bytes last handed out are kept, twice that to spare.
  static constexpr std::size_t kKept = 8192;
  static constexpr std::size_t kPiece = 1 << 16;

  int Take(unsigned char *buffer, std::size_t count) {
    std::size_t n;
    if (pending_position_ < pending_.size()) {
      n = std::min(count, pending_.size() - pending_position_);
      std::memcpy(buffer, pending_.data() + pending_position_, n);
      pending_position_ += n;
    } else {
      const long got = in_.Read(buffer, count);
      if (got <= 0) return static_cast<int>(got);
      n = static_cast<std::size_t>(got);
    }
    recent_.insert(recent_.end(), buffer, buffer + n);
    if (recent_.size() > 2 * kKept) recent_.erase(recent_.begin(), recent_.end() - static_cast<long>(kKept));
    return static_cast<int>(n);
  }

  Input &in_;
  std::vector<unsigned char> recent_;
  std::vector<unsigned char> pending_;
  std::size_t pending_position_ = 0;
};

enum class Verdict { kGood, kFailed, kTrailingGarbage };

// Decompresses `in` into `out` (null: only checks): every stream in it, one after another,
// as gzip reads concatenated members. What follows the last stream and does not decode as
// one is trailing garbage: the streams before it are kept, and the caller warns. The bytes
// of a stream after the first are held back until its trailer checks (up to kHeldBack;
// data that decodes that far is taken for a stream, and a fault after it is damage).
Verdict Decompress(Input &in, Output *out, const Settings &settings, Totals *totals) {
  constexpr std::size_t kHeldBack = 1 << 20;
  StreamSource source(in);
  std::vector<char> buffer(1 << 16), held;
  ProgressMeter meter((out != nullptr ? "decompressing " : "testing ") + in.name(), "", 0, 0);
  const std::string name = Quoted(Printable(in.name()));
  const auto fail = [&](const std::string &message) {
    meter.Clear();
    Failed(message);
    return Verdict::kFailed;
  };
  const auto deliver = [&](const char *data, std::size_t size) {
    totals->out += size;
    meter.AddBytes(size);
    return out == nullptr || out->Write(data, size);
  };
  for (bool first = true;; first = false) {
    if (!first && source.AtEnd()) break;
    YDRGZ stream = YdrGZOpenReadOfCustomMem(StreamSource::Read, &source, settings.read_level);
    if (stream == nullptr) return fail("out of memory");
    bool committed = first, write_failed = false;
    held.clear();
    int got;
    while ((got = YdrGZRead(stream, buffer.data(), static_cast<int>(buffer.size()))) > 0) {
      const std::size_t n = static_cast<std::size_t>(got);
      if (!committed) {
        held.insert(held.end(), buffer.data(), buffer.data() + n);
        if (held.size() < kHeldBack) continue;
        committed = true;
        if (!deliver(held.data(), held.size())) write_failed = true;
        held.clear();
      } else if (!deliver(buffer.data(), n)) {
        write_failed = true;
      }
      if (write_failed) break;
    }
    const int closed = YdrGZCloseRead(stream);
    if (in.failed()) return fail("cannot read " + name + ": " + in.error());
    if (write_failed) return fail("cannot write " + Quoted(out->name()) + ": " + out->error());
    if (got < 0 || closed < 0) {
      if (!committed) {
        meter.Clear();
        return Verdict::kTrailingGarbage;
      }
      if (got < 0) return fail(name + ": the compressed data is damaged or incomplete");
      return fail(name + ": the CRC-32 or length in the trailer does not match the data");
    }
    if (!committed && !deliver(held.data(), held.size())) {
      return fail("cannot write " + Quoted(out->name()) + ": " + out->error());
    }
    source.GiveBack(static_cast<std::size_t>(closed));
  }
  if (in.failed()) return fail("cannot read " + name + ": " + in.error());
  meter.Clear();
  return Verdict::kGood;
}

// -l: the sizes of one stream, its length from the trailer (modulo 4 GiB, as stored).
// The trailer is at the end of a regular file; a pipe, a device or standard input would have
// to be read to its end (and a pipe nobody writes to would wait for ever), so they are refused.
bool List(const std::string &path, const Settings &settings, bool *header_shown) {
  if (path == "-") return Failed("-l reads the trailer at the end of a file; standard input has none to seek to");
  platform::PathStatus info;
  if (!platform::StatusOf(path, &info)) {
    return Failed("cannot open " + Quoted(Printable(path)) + ": " + std::strerror(errno));
  }
  if (info.kind != platform::PathStatus::Kind::kRegular) {
    return Failed(Quoted(Printable(path)) + " is not a regular file; -l reads the trailer at the end of one");
  }
  std::FILE *file = platform::OpenStream(path, "rb");
  if (file == nullptr) return Failed("cannot open " + Quoted(Printable(path)) + ": " + std::strerror(errno));
  unsigned char trailer[8];
  const bool ok = std::fseek(file, -8, SEEK_END) == 0 && std::fread(trailer, 1, 8, file) == 8;
  const long size = std::ftell(file);
  static_cast<void>(std::fclose(file));  // read only
  if (!ok || size < 8) return Failed(Quoted(Printable(path)) + " is too short to be a stream");
  const std::uint64_t plain = static_cast<std::uint64_t>(trailer[4]) | static_cast<std::uint64_t>(trailer[5]) << 8 |
                              static_cast<std::uint64_t>(trailer[6]) << 16 |
                              static_cast<std::uint64_t>(trailer[7]) << 24;
  const std::string name =
      EndsWith(path, settings.suffix) ? path.substr(0, path.size() - settings.suffix.size()) : path;
  char line[512];
  if (!*header_shown) {
    *header_shown = true;
    if (!PrintLine("  compressed uncompressed  ratio uncompressed_name")) return false;
  }
  static_cast<void>(std::snprintf(line, sizeof line, "%12ld %12llu %s %s", size, static_cast<unsigned long long>(plain),
                                  Ratio(static_cast<std::uint64_t>(size), plain).c_str(), Printable(name).c_str()));
  return PrintLine(line);
}

// One operand: compressed, decompressed or tested as the mode says.
// Returns kExitOk, kExitFailure after saying why, or kExitWarning when trailing garbage
// followed the streams (said too; the streams are written, the input kept).
int Process(const std::string &path, const Settings &settings) {
  const auto failed = [](const std::string &message) { return Complain(kExitFailure, message); };
  const bool from_stdin = path == "-";
  const std::string shown = from_stdin ? "standard input" : path;
  if (!from_stdin) {
    platform::PathStatus info;
    if (!platform::StatusOf(path, &info)) {
      return failed("cannot open " + Quoted(Printable(path)) + ": " + std::strerror(errno));
    }
    if (info.kind == platform::PathStatus::Kind::kFolder)
      return failed(Quoted(Printable(path)) + " is a folder; left alone");
  }
  std::string target;  // the output file when not standard output
  if (settings.mode == Mode::kCompress && !from_stdin && !settings.to_stdout) {
    if (EndsWith(path, settings.suffix)) {
      return failed(Quoted(Printable(path)) + " already has the " + settings.suffix + " suffix; left alone");
    }
    target = path + settings.suffix;
  } else if (settings.mode == Mode::kDecompress && !from_stdin && !settings.to_stdout) {
    if (!EndsWith(path, settings.suffix)) {
      return failed(Quoted(Printable(path)) + " does not end in " + settings.suffix +
                    "; use -c to write it to standard output");
    }
    target = path.substr(0, path.size() - settings.suffix.size());
  }
  const bool writes = settings.mode == Mode::kCompress || settings.mode == Mode::kDecompress;
  if (writes && target.empty() && settings.mode == Mode::kCompress && platform::IsTerminal(stdout) && !settings.force) {
    return failed("compressed data not written to a terminal (use -f to force, or redirect)");
  }
  if (!target.empty() && !settings.force) {
    if (platform::AnythingAt(target)) {
      return failed(Quoted(Printable(target)) + " already exists; not overwritten (use -f)");
    }
  }

  Input in;
  if (!in.Open(path)) return failed("cannot open " + Quoted(Printable(path)) + ": " + in.error());
  // A link or a second name of the input as the output: writing it would replace the input,
  // and --remove would then take the only copy away.
  if (!target.empty() && in.IsSameFileAs(target)) {
    return failed(Quoted(Printable(target)) + " is " + Quoted(Printable(shown)) + " itself; left alone");
  }
  Totals totals;
  // -q silences the warning but not its status, as in gzip.
  const auto garbage = [&] {
    if (settings.quiet) return kExitWarning;
    return Complain(kExitWarning, Quoted(Printable(shown)) + ": decompression OK, trailing garbage ignored");
  };
  if (settings.mode == Mode::kTest) {
    const Verdict verdict = Decompress(in, nullptr, settings, &totals);
    if (verdict == Verdict::kFailed) return kExitFailure;
    if (verdict == Verdict::kTrailingGarbage) return garbage();
    if (settings.verbose) Note("ydr: %s: OK\n", Printable(shown).c_str());
    return kExitOk;
  }
  Output out;
  if (!out.Open(target.empty() ? "-" : target)) {
    return failed("cannot create " + Quoted(Printable(target)) + ": " + out.error());
  }
  // The output takes the input's permissions and time, as gzip gives them.
  if (!from_stdin) out.KeepAttributesOf(path);
  Verdict verdict = Verdict::kGood;
  if (settings.mode == Mode::kCompress) {
    if (!Compress(in, out, settings, &totals)) return kExitFailure;
  } else {
    verdict = Decompress(in, &out, settings, &totals);
    if (verdict == Verdict::kFailed) return kExitFailure;
    if (!out.Finish()) return failed("cannot write " + Quoted(Printable(out.name())) + ": " + out.error());
  }
  if (settings.verbose) {
    const std::uint64_t in_size = settings.mode == Mode::kCompress ? totals.in : SizeOf(path);
    const std::uint64_t out_size = settings.mode == Mode::kCompress ? SizeOf(target) : totals.out;
    const std::uint64_t plain = settings.mode == Mode::kCompress ? in_size : out_size;
    const std::uint64_t packed = settings.mode == Mode::kCompress ? out_size : in_size;
    Note("ydr: %s: %s%s\n", Printable(shown).c_str(), Ratio(packed, plain).c_str(),
         target.empty()
             ? ""
             : (" -- " + std::string(settings.mode == Mode::kCompress ? "created " : "restored ") + Printable(target))
                   .c_str());
  }
  in.Close();
  if (verdict == Verdict::kTrailingGarbage) return garbage();  // the input stays: it held more than was restored
  if (settings.remove_input && !from_stdin && !target.empty() && !platform::RemoveFile(path)) {
    return failed("cannot remove " + Quoted(Printable(path)) + ": " + std::strerror(errno));
  }
  return kExitOk;
}

int RunGz(const ParsedOptions &options) {
  Settings settings;
  const int modes = options.Has("decompress") + options.Has("test") + options.Has("list");
  if (modes > 1) return Complain(kExitUsage, "-d, -t and -l exclude one another");
  if (options.Has("decompress")) settings.mode = Mode::kDecompress;
  if (options.Has("test")) settings.mode = Mode::kTest;
  if (options.Has("list")) settings.mode = Mode::kList;
  settings.to_stdout = options.Has("stdout");
  settings.force = options.Has("force");
  settings.remove_input = options.Has("remove");
  settings.verbose = options.Has("verbose") && !options.Has("quiet");
  settings.quiet = options.Has("quiet");
  if (options.Has("keep") && settings.remove_input)
    return Complain(kExitUsage, "--keep and --remove exclude one another");
  if (options.Has("level")) {
    const std::string &level = options.Value("level");
    if (level != "0" && level != "1" && level != "2") return Complain(kExitUsage, "--level takes 0, 1 or 2");
    settings.level = level[0] - '0';
  }
  if (options.Has("suffix")) {
    settings.suffix = options.Value("suffix");
    if (settings.suffix.empty() || settings.suffix.find('/') != std::string::npos) {
      return Complain(kExitUsage, "--suffix takes a file name ending such as .ydgz");
    }
  }
  std::vector<std::string> files = options.operands();
  if (files.empty()) files.push_back("-");
  if (settings.mode == Mode::kList) {
    bool header = false, ok = true;
    for (const std::string &file : files) ok = List(file, settings, &header) && ok;
    if (!FlushOutput()) return Complain(kExitFailure, "cannot write to standard output");
    return ok ? kExitOk : kExitFailure;
  }
  // A failure outweighs a warning, as in gzip.
  int status = kExitOk;
  for (const std::string &file : files) {
    const int result = Process(file, settings);
    if (result == kExitFailure || status == kExitOk) status = result;
  }
  return status;
}

}  // namespace

extern const Command kGzCommand = {
    "gz",
    "compress or decompress files in the stream format (CRC-32 and length checked)",
    "usage: ydr gz [OPTION]... [FILE]...\n",
    "Compresses each FILE into FILE.ydgz, keeping FILE; with -d, restores FILE from FILE.ydgz.\n"
    "Without FILE, or for '-', reads standard input and writes standard output. The format is\n"
    "deflate data followed by the CRC-32 and the length of the data.\n"
    "\n"
    "  -d, --decompress   decompress\n"
    "  -c, --stdout       write to standard output, keep the files as they are\n"
    "  -t, --test         check that each file decompresses and its trailer matches\n"
    "  -l, --list         compressed size, uncompressed size (from the trailer), ratio, name\n"
    "  -k, --keep         keep the input (the default)\n"
    "      --remove       remove the input once the output is complete\n"
    "  -f, --force        overwrite an existing output; write compressed data to a terminal\n"
    "  -S, --suffix SUF   use SUF instead of .ydgz\n"
    "      --level N      memory level when compressing: 0 (4 KiB window, the default), 1 (8 KiB)\n"
    "                     or 2 (64 KiB); decompression reads a stream of any level, always\n"
    "  -v, --verbose      say the ratio of each file\n"
    "  -q, --quiet        say nothing but errors (the status still tells of trailing garbage)\n"
    "\n"
    "Streams written one after another (cat a.ydgz b.ydgz) decompress as one file. Data after\n"
    "the last stream that is not a stream is ignored with a warning and exit status 2; the\n"
    "input is then kept even with --remove. The output takes the input's permissions and\n"
    "modification time. A failed run leaves no output file behind, an output that is the input\n"
    "itself (a link to it) is refused, and -l takes regular files only.\n",
    {{"decompress", 'd', false},
     {"stdout", 'c', false},
     {"test", 't', false},
     {"list", 'l', false},
     {"keep", 'k', false},
     {"remove", 0, false},
     {"force", 'f', false},
     {"suffix", 'S', true},
     {"level", 0, true, {}, "0 1 2"},
     {"verbose", 'v', false},
     {"quiet", 'q', false}},
    false,
    RunGz,
};

}  // namespace ydr::tool
