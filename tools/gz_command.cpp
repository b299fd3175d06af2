// ydr gz: compress to and from the stream format.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/file_io.h"
#include "ydr/gz.h"

namespace ydr::tool {

const char kGzUsage[] =
    "usage: ydr gz [--level N] [IN [OUT]]   compress IN to OUT\n"
    "       ydr gz -d [--level N] [IN [OUT]] decompress IN to OUT\n"
    "       ydr gz -t [--level N] FILE       check that FILE decompresses and its trailer matches\n"
    "\n"
    "IN and OUT default to standard input and output; '-' names them too. The stream format is\n"
    "deflate data followed by the CRC-32 and length of the data.\n"
    "\n"
    "  --level N   memory level: 0 (4 KiB window, the default), 1 (8 KiB) or 2 (64 KiB);\n"
    "              a stream must be read at the level it was written at, or a larger one\n"
    "\n"
    "A failed decompression leaves no output file behind.\n";

namespace {

enum class Mode { kCompress, kDecompress, kTest };

struct Options {
  Mode mode = Mode::kCompress;
  int level = 0;
  std::vector<std::string> files;
};

int Write(YDRGZ, void *user, const void *buffer, int count) {
  return static_cast<Output *>(user)->Write(buffer, static_cast<std::size_t>(count)) ? count : -1;
}

int Read(YDRGZ, void *user, void *buffer, int count) {
  const long got = static_cast<Input *>(user)->Read(buffer, static_cast<std::size_t>(count));
  return static_cast<int>(got);
}

int Compress(Input &in, Output &out, int level) {
  YDRGZ stream = YdrGZOpenWriteOfCustomMem(Write, &out, level);
  if (stream == nullptr) return Complain(kExitFailure, "out of memory");
  std::vector<char> buffer(1 << 16);
  Progress progress(in.name());
  long got;
  while ((got = in.Read(buffer.data(), buffer.size())) > 0) {
    YdrGZWrite(stream, buffer.data(), static_cast<int>(got));
    progress.Add(static_cast<std::size_t>(got));
  }
  YdrGZCloseWrite(stream);
  if (got < 0) return Complain(kExitFailure, in.name() + ": " + in.error());
  if (!out.Finish()) return Complain(kExitFailure, out.name() + ": " + out.error());
  return kExitOk;
}

int Decompress(Input &in, Output *out, int level) {
  YDRGZ stream = YdrGZOpenReadOfCustomMem(Read, &in, level);
  if (stream == nullptr) return Complain(kExitFailure, "out of memory");
  std::vector<char> buffer(1 << 16);
  Progress progress(in.name());
  int got;
  bool write_failed = false;
  while ((got = YdrGZRead(stream, buffer.data(), static_cast<int>(buffer.size()))) > 0) {
    if (out != nullptr && !out->Write(buffer.data(), static_cast<std::size_t>(got))) {
      write_failed = true;
      break;
    }
    progress.Add(static_cast<std::size_t>(got));
  }
  const int closed = YdrGZCloseRead(stream);
  if (in.failed()) return Complain(kExitFailure, in.name() + ": " + in.error());
  if (write_failed) return Complain(kExitFailure, out->name() + ": " + out->error());
  if (got < 0) return Complain(kExitFailure, in.name() + ": corrupt or incomplete compressed data");
  if (closed < 0)
    return Complain(kExitFailure, in.name() + ": the CRC-32 or length in the trailer does not match the data");
  if (out != nullptr && !out->Finish()) return Complain(kExitFailure, out->name() + ": " + out->error());
  return kExitOk;
}

bool ParseLevel(const std::string &text, int *level) {
  if (text != "0" && text != "1" && text != "2") return false;
  *level = text[0] - '0';
  return true;
}

}  // namespace

int RunGz(const Arguments &args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (arg == "-d" || arg == "--decompress") {
      options.mode = Mode::kDecompress;
    } else if (arg == "-t" || arg == "--test") {
      options.mode = Mode::kTest;
    } else if (arg == "--level") {
      if (i + 1 == args.size() || !ParseLevel(args[++i], &options.level)) {
        return Complain(kExitUsage, "--level takes 0, 1 or 2");
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Complain(kExitUsage, "unknown option '" + arg + "' (see 'ydr help gz')");
    } else {
      options.files.push_back(arg);
    }
  }
  const std::size_t max_files = options.mode == Mode::kTest ? 1 : 2;
  if (options.files.size() > max_files || (options.mode == Mode::kTest && options.files.empty())) {
    return Complain(kExitUsage, "wrong number of files (see 'ydr help gz')");
  }

  Input in;
  if (!in.Open(options.files.empty() ? "-" : options.files[0]))
    return Complain(kExitFailure, in.name() + ": " + in.error());
  if (options.mode == Mode::kTest) {
    const int status = Decompress(in, nullptr, options.level);
    if (status == kExitOk) Note("ydr: %s: OK\n", in.name().c_str());
    return status;
  }
  Output out;
  if (!out.Open(options.files.size() < 2 ? "-" : options.files[1])) {
    return Complain(kExitFailure, out.name() + ": " + out.error());
  }
  return options.mode == Mode::kCompress ? Compress(in, out, options.level) : Decompress(in, &out, options.level);
}

}  // namespace ydr::tool
