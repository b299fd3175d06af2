// The writing exports: thin shims over StreamWriter.
#include "gz/deflate_writer.h"
#include "ydr/gz.h"

namespace {

ydr::gz::StreamWriter *AsWriter(YDRGZ stream) {
  if (stream == nullptr || stream->direction != YdrGZStream::Direction::kWrite) return nullptr;
  return static_cast<ydr::gz::StreamWriter *>(stream);
}

}  // namespace

extern "C" YDR_API YDRGZ YdrGZOpenWriteOfCustomMem(YDRGZ_WRITE_FUNC write, void *user, int memLevel) {
  if (write == nullptr) return nullptr;
  return ydr::gz::NewStreamWriter(write, user, memLevel);
}

extern "C" YDR_API YDRGZ YdrGZOpenWrite(YDRGZ_WRITE_FUNC write, void *user) {
  return YdrGZOpenWriteOfCustomMem(write, user, YDR_GZ_MEM_SMALL);
}

extern "C" YDR_API int YdrGZWrite(YDRGZ stream, const void *data, int count) {
  ydr::gz::StreamWriter *writer = AsWriter(stream);
  if (writer == nullptr || count < -1 || (count > 0 && data == nullptr)) return -1;
  writer->Compress(static_cast<const std::uint8_t *>(data), count);
  return count;
}

extern "C" YDR_API int YdrGZCloseWrite(YDRGZ stream) {
  ydr::gz::StreamWriter *writer = AsWriter(stream);
  if (writer == nullptr) return -1;
  writer->Finish();
  delete writer;
  return 0;
}
