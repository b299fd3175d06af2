// ydr gz: compress to and from the stream format, the way gzip is used.
//
// `ydr gz FILE` writes FILE.ydgz and keeps FILE (--remove removes it once the output is
// complete); `-d` writes FILE back from FILE.ydgz; `-c` writes to standard output; `-t`
// checks, `-l` lists. An existing output is replaced only with -f, and compressed data is
// never written to a terminal unless -f says so. Output goes to a temporary file renamed
// into place when complete, so a failed run leaves nothing half-written.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_access.h"
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

int ReadFromInput(YDRGZ, void *user, void *buffer, int count) {
  return static_cast<int>(static_cast<Input *>(user)->Read(buffer, static_cast<std::size_t>(count)));
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

// Compresses `in` into `out`; false after saying why.
bool Compress(Input &in, Output &out, const Settings &settings, Totals *totals) {
  YDRGZ stream = YdrGZOpenWriteOfCustomMem(WriteToOutput, &out, settings.level);
  if (stream == nullptr) return Failed("out of memory");
  std::vector<char> buffer(1 << 16);
  ProgressMeter meter("compressing " + in.name(), "", 0, SizeOf(in.name()));
  long got;
  while ((got = in.Read(buffer.data(), buffer.size())) > 0) {
    YdrGZWrite(stream, buffer.data(), static_cast<int>(got));
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

// Decompresses `in` into `out` (null: only checks); false after saying why.
bool Decompress(Input &in, Output *out, const Settings &settings, Totals *totals) {
  YDRGZ stream = YdrGZOpenReadOfCustomMem(ReadFromInput, &in, settings.read_level);
  if (stream == nullptr) return Failed("out of memory");
  std::vector<char> buffer(1 << 16);
  ProgressMeter meter((out != nullptr ? "decompressing " : "testing ") + in.name(), "", 0, 0);
  int got;
  bool write_failed = false;
  while ((got = YdrGZRead(stream, buffer.data(), static_cast<int>(buffer.size()))) > 0) {
    if (out != nullptr && !out->Write(buffer.data(), static_cast<std::size_t>(got))) {
      write_failed = true;
      break;
    }
    meter.AddBytes(static_cast<std::uint64_t>(got));
    totals->out += static_cast<std::uint64_t>(got);
  }
  const int closed = YdrGZCloseRead(stream);
  meter.Clear();
  const std::string name = Quoted(in.name());
  if (in.failed()) return Failed("cannot read " + name + ": " + in.error());
  if (write_failed) return Failed("cannot write " + Quoted(out->name()) + ": " + out->error());
  if (got < 0) return Failed(name + ": the compressed data is damaged or incomplete");
  if (closed < 0) {
    return Failed(name + ": the CRC-32 or length in the trailer does not match the data");
  }
  if (out != nullptr && !out->Finish()) {
    return Failed("cannot write " + Quoted(out->name()) + ": " + out->error());
  }
  return true;
}

// -l: the sizes of one stream, its length from the trailer (modulo 4 GiB, as stored).
bool List(const std::string &path, const Settings &settings, bool *header_shown) {
  std::FILE *file = platform::OpenStream(path, "rb");
  if (file == nullptr) return Failed("cannot open " + Quoted(path) + ": " + std::strerror(errno));
  unsigned char trailer[8];
  const bool ok = std::fseek(file, -8, SEEK_END) == 0 && std::fread(trailer, 1, 8, file) == 8;
  const long size = std::ftell(file);
  static_cast<void>(std::fclose(file));  // read only
  if (!ok || size < 8) return Failed(Quoted(path) + " is too short to be a stream");
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
bool Process(const std::string &path, const Settings &settings) {
  const bool from_stdin = path == "-";
  const std::string shown = from_stdin ? "standard input" : path;
  if (!from_stdin) {
    platform::PathStatus info;
    if (!platform::StatusOf(path, &info)) {
      return Failed("cannot open " + Quoted(Printable(path)) + ": " + std::strerror(errno));
    }
    if (info.kind == platform::PathStatus::Kind::kFolder)
      return Failed(Quoted(Printable(path)) + " is a folder; left alone");
  }
  std::string target;  // the output file when not standard output
  if (settings.mode == Mode::kCompress && !from_stdin && !settings.to_stdout) {
    if (EndsWith(path, settings.suffix)) {
      return Failed(Quoted(Printable(path)) + " already has the " + settings.suffix + " suffix; left alone");
    }
    target = path + settings.suffix;
  } else if (settings.mode == Mode::kDecompress && !from_stdin && !settings.to_stdout) {
    if (!EndsWith(path, settings.suffix)) {
      return Failed(Quoted(Printable(path)) + " does not end in " + settings.suffix +
                    "; use -c to write it to standard output");
    }
    target = path.substr(0, path.size() - settings.suffix.size());
  }
  const bool writes = settings.mode == Mode::kCompress || settings.mode == Mode::kDecompress;
  if (writes && target.empty() && settings.mode == Mode::kCompress && platform::IsTerminal(stdout) && !settings.force) {
    return Failed("compressed data not written to a terminal (use -f to force, or redirect)");
  }
  if (!target.empty() && !settings.force) {
    if (platform::AnythingAt(target)) {
      return Failed(Quoted(Printable(target)) + " already exists; not overwritten (use -f)");
    }
  }

  Input in;
  if (!in.Open(path)) return Failed("cannot open " + Quoted(Printable(path)) + ": " + in.error());
  Totals totals;
  bool ok;
  if (settings.mode == Mode::kTest) {
    ok = Decompress(in, nullptr, settings, &totals);
    if (ok && settings.verbose) Note("ydr: %s: OK\n", Printable(shown).c_str());
    return ok;
  }
  Output out;
  if (!out.Open(target.empty() ? "-" : target)) {
    return Failed("cannot create " + Quoted(Printable(target)) + ": " + out.error());
  }
  ok =
      settings.mode == Mode::kCompress ? Compress(in, out, settings, &totals) : Decompress(in, &out, settings, &totals);
  if (!ok) return false;
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
  if (settings.remove_input && !from_stdin && !target.empty() && !platform::RemoveFile(path)) {
    return Failed("cannot remove " + Quoted(Printable(path)) + ": " + std::strerror(errno));
  }
  return true;
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
    settings.read_level = settings.level > YDR_GZ_MEM_SMALL ? settings.level : YDR_GZ_MEM_LARGE;
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
  bool ok = true;
  for (const std::string &file : files) ok = Process(file, settings) && ok;
  return ok ? kExitOk : kExitFailure;
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
    "                     or 2 (64 KiB); decompression reads a stream of any level\n"
    "  -v, --verbose      say the ratio of each file\n"
    "  -q, --quiet        say nothing but errors\n"
    "\n"
    "A failed run leaves no output file behind; an existing file keeps its mode when replaced.\n",
    {{"decompress", 'd', false},
     {"stdout", 'c', false},
     {"test", 't', false},
     {"list", 'l', false},
     {"keep", 'k', false},
     {"remove", 0, false},
     {"force", 'f', false},
     {"suffix", 'S', true},
     {"level", 0, true},
     {"verbose", 'v', false},
     {"quiet", 'q', false}},
    false,
    RunGz,
};

}  // namespace ydr::tool
