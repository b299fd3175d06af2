// The reading exports: a handle with its source buffer, decoder, window and the staging of
// decoded bytes for the caller.
#include <cstring>
#include <memory>
#include <new>

#include "gz/crc32.h"
#include "gz/inflater.h"
#include "gz/reader_failure.h"
#include "gz/stream_handle.h"
#include "portable/byte_order.h"
#include "ydr/gz.h"

namespace ydr::gz {
namespace {

class StreamReader final : public YdrGZStream {
 public:
  // The most decoded straight into the caller's buffer at once: its CRC is taken while the
  // bytes are still in the cache.
  static constexpr std::uint32_t kDirectSpan = 128 * 1024;

  StreamReader(YDRGZ_READ_FUNC read, void *user, const MemoryLevel &level)
      : YdrGZStream(Direction::kRead), window_size_(level.window_size) {
    source_.Attach(this, read, user);
  }

  bool Allocate() {
    window_.reset(new (std::nothrow) std::uint8_t[Inflater::RingSize(window_size_)]());
    litlen_.reset(new (std::nothrow) DecodeTable(DecodeTable::kLitLenCapacity));
    dist_.reset(new (std::nothrow) DecodeTable(DecodeTable::kDistCapacity));
    bitlen_.reset(new (std::nothrow) DecodeTable(DecodeTable::kBitLengthCapacity));
    if (!window_ || !litlen_ || !dist_ || !bitlen_ || !litlen_->allocated() || !dist_->allocated() ||
        !bitlen_->allocated()) {
      return false;
    }
    inflater_.reset(new (std::nothrow)
                        Inflater(&source_, window_size_, window_.get(), litlen_.get(), dist_.get(), bitlen_.get()));
    return inflater_ != nullptr && inflater_->allocated();
  }

  int Read(std::uint8_t *buffer, int count) {
    int copied = 0;
    int last = 0;
    while (copied < count) {
      if (staged_position_ < staged_count_) {
        int n = static_cast<int>(staged_count_ - staged_position_);
        if (n > count - copied) n = count - copied;
        std::memcpy(buffer + copied, staged_ + staged_position_, static_cast<std::size_t>(n));
        staged_position_ += static_cast<std::uint32_t>(n);
        copied += n;
        continue;
      }
      // Whole windows that fit go straight into the caller's buffer once the window before
      // them is there too (as the last W bytes this call delivered: all the windows handed
      // out so far were whole, as the stream goes on).
      const auto room = static_cast<std::uint32_t>(count - copied);
      if (room >= window_size_ && static_cast<std::uint32_t>(copied) >= window_size_ && inflater_->decoding()) {
        const std::uint32_t most = kDirectSpan > window_size_ ? kDirectSpan - kDirectSpan % window_size_ : window_size_;
        std::uint32_t span = room - room % window_size_;
        if (span > most) span = most;
        last = inflater_->DecodeInto(buffer + copied, span, room);
        if (last > 0) {
          crc_register_ = Crc32Update(crc_register_, buffer + copied, static_cast<std::uint32_t>(last));
          bytes_out_ += static_cast<std::uint32_t>(last);
          copied += last;
        }
        if (inflater_->failed()) break;  // what came before is returned; the next call says -1
        continue;
      }
      last = inflater_->Decode();
      if (last <= 0) break;
      staged_ = inflater_->output();
      staged_count_ = static_cast<std::uint32_t>(last);
      staged_position_ = 0;
      crc_register_ = Crc32Update(crc_register_, staged_, staged_count_);
      bytes_out_ += staged_count_;
    }
    return copied > 0 ? copied : last;
  }

  InflateStatus failure() const { return inflater_->failure(); }

  void Reset() {
    staged_count_ = staged_position_ = 0;
    inflater_->Reset();
  }

  // The trailer check; frees nothing (the caller deletes).
  int Close() {
    if (inflater_->holds_tables()) return 0;
    std::uint8_t trailer[8];
    const std::uint64_t consumed = inflater_->ReadTrailer(trailer);
    const std::uint32_t crc = portable::LoadLittleEndian32(trailer);
    const std::uint32_t length = portable::LoadLittleEndian32(trailer + 4);
    if (crc != ~crc_register_ || length != bytes_out_) return -1;
    const std::uint64_t in = source_.bytes_in();
    return in > consumed ? static_cast<int>(in - consumed) : 0;
  }

 private:
  const std::uint32_t window_size_;
  SourceBuffer source_;
  std::unique_ptr<std::uint8_t[]> window_;
  std::unique_ptr<DecodeTable> litlen_, dist_, bitlen_;
  std::unique_ptr<Inflater> inflater_;
  const std::uint8_t *staged_ = nullptr;
  std::uint32_t staged_count_ = 0;
  std::uint32_t staged_position_ = 0;
  std::uint32_t crc_register_ = 0xFFFFFFFFu;
  std::uint32_t bytes_out_ = 0;
};

StreamReader *AsReader(YDRGZ stream) {
  if (stream == nullptr || stream->direction != YdrGZStream::Direction::kRead) return nullptr;
  return static_cast<StreamReader *>(stream);
}

}  // namespace

InflateStatus ReaderFailure(YDRGZ stream) {
  const StreamReader *reader = AsReader(stream);
  return reader != nullptr ? reader->failure() : InflateStatus::kDone;
}

}  // namespace ydr::gz

extern "C" YDR_API YDRGZ YdrGZOpenReadOfCustomMem(YDRGZ_READ_FUNC read, void *user, int memLevel) {
  if (read == nullptr) return nullptr;
  auto *reader = new (std::nothrow) ydr::gz::StreamReader(read, user, ydr::gz::MemoryLevelOf(memLevel));
  if (reader != nullptr && !reader->Allocate()) {
    delete reader;
    reader = nullptr;
  }
  return reader;
}

extern "C" YDR_API YDRGZ YdrGZOpenRead(YDRGZ_READ_FUNC read, void *user) {
  return YdrGZOpenReadOfCustomMem(read, user, YDR_GZ_MEM_SMALL);
}

extern "C" YDR_API int YdrGZRead(YDRGZ stream, void *buffer, int count) {
  ydr::gz::StreamReader *reader = ydr::gz::AsReader(stream);
  if (reader == nullptr) return -1;
  if (buffer == nullptr) {
    reader->Reset();
    return 0;
  }
  if (count < 0) return -1;
  return reader->Read(static_cast<std::uint8_t *>(buffer), count);
}

extern "C" YDR_API int YdrGZCloseRead(YDRGZ stream) {
  ydr::gz::StreamReader *reader = ydr::gz::AsReader(stream);
  if (reader == nullptr) return -1;
  const int result = reader->Close();
  delete reader;
  return result;
}
