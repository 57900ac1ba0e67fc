#include "app/browser_caches/content_decoding.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <climits>

namespace {

// Output is decoded in steps of at most this many bytes.
constexpr std::size_t kStepBytes = 64 * 1024;
// zstd's window for HTTP (RFC 8878 asks decoders for 8 MiB; Chromium holds
// its decoder to the same): a frame asking for more is refused, not served.
constexpr int kZstdWindowLogMax = 23;

enum class StepStatus { Going, Ended, Corrupt };

struct Step {
  std::size_t consumed = 0;  // of the input given
  std::size_t produced = 0;  // into the room given
  bool progress = false;     // consumed or produced, or took buffered bytes
  StepStatus status = StepStatus::Going;
};

// The loop every coding shares: decodes into the caller's string in steps,
// one byte of room past the budget so that reaching it is seen.
class BoundedDecoder : public ContentDecoder {
 public:
  explicit BoundedDecoder(std::size_t budget) : budget_(budget) {}

  bool Push(std::span<const std::uint8_t> input, std::string& out) final {
    if (over_) return false;
    sawInput_ = sawInput_ || !input.empty();
    std::size_t used = 0;
    for (;;) {
      if (out.size() > budget_) return Finish(DecodeEnd::CutShort, out);
      const std::size_t room = std::min(kStepBytes, budget_ + 1 - out.size());
      const std::size_t before = out.size();
      out.resize(before + room);
      const Step step = Decode(input.subspan(used), reinterpret_cast<std::uint8_t*>(out.data() + before), room);
      out.resize(before + step.produced);
      used += step.consumed;
      if (step.status == StepStatus::Corrupt) return Finish(DecodeEnd::Corrupt, out);
      if (step.status == StepStatus::Ended)
        return Finish(out.size() > budget_ ? DecodeEnd::CutShort : DecodeEnd::Whole, out);
      if (step.produced == room) continue;  // more output may be waiting
      if (used == input.size()) return true;
      if (!step.progress) return Finish(DecodeEnd::Corrupt, out);  // a decoder that stalls
    }
  }

  DecodeEnd End() const final {
    if (over_) return end_;
    return sawInput_ && AtBoundary() ? DecodeEnd::Whole : DecodeEnd::Unfinished;
  }

 protected:
  // Decodes from `input` into `room` bytes at `out`.
  virtual Step Decode(std::span<const std::uint8_t> input, std::uint8_t* out, std::size_t room) = 0;
  // True when the input so far ends where the coded stream may end.
  virtual bool AtBoundary() const = 0;

 private:
  bool Finish(DecodeEnd end, std::string& out) {
    if (out.size() > budget_) out.resize(budget_);
    over_ = true;
    end_ = end;
    return false;
  }

  std::size_t budget_;
  bool over_ = false;
  bool sawInput_ = false;
  DecodeEnd end_ = DecodeEnd::Unfinished;
};

// zlib's counts are unsigned int: a step never asks for more than that.
unsigned int ZlibCount(std::size_t count) { return static_cast<unsigned int>(std::min<std::size_t>(count, UINT_MAX)); }

// gzip (members one after another, as gzip itself writes them when
// appending) and deflate, zlib-wrapped or raw: the two bytes a zlib header
// has decide, as browsers decide.
class ZlibDecoder final : public BoundedDecoder {
 public:
  ZlibDecoder(bool gzip, std::size_t budget) : BoundedDecoder(budget), gzip_(gzip) {}
  ~ZlibDecoder() override {
    if (initialised_) inflateEnd(&stream_);
  }
  ZlibDecoder(const ZlibDecoder&) = delete;
  ZlibDecoder& operator=(const ZlibDecoder&) = delete;

 protected:
  Step Decode(std::span<const std::uint8_t> input, std::uint8_t* out, std::size_t room) override {
    Step step;
    if (!initialised_) {
      while (headSize_ < head_.size() && step.consumed < input.size()) head_[headSize_++] = input[step.consumed++];
      step.progress = step.consumed > 0;
      if (headSize_ < head_.size()) return step;
      if (!Initialise()) {
        step.status = StepStatus::Corrupt;
        return step;
      }
      input = input.subspan(step.consumed);
    }
    if (memberEnded_) {
      // Another gzip member may follow; anything else after the end is left.
      if (input.empty()) return step;
      if (!gzip_ || input[0] != 0x1F) {
        step.status = StepStatus::Ended;
        return step;
      }
      inflateReset(&stream_);
      memberEnded_ = false;
    }
    // The two bytes taken to decide go in first.
    const bool fromHead = headUsed_ < headSize_;
    const std::span<const std::uint8_t> source =
        fromHead ? std::span<const std::uint8_t>(head_.data() + headUsed_, headSize_ - headUsed_) : input;
    stream_.next_in = const_cast<Bytef*>(source.data());
    stream_.avail_in = ZlibCount(source.size());
    stream_.next_out = out;
    stream_.avail_out = ZlibCount(room);
    const int result = inflate(&stream_, Z_NO_FLUSH);
    const std::size_t taken = ZlibCount(source.size()) - stream_.avail_in;
    step.produced = ZlibCount(room) - stream_.avail_out;
    if (fromHead)
      headUsed_ += taken;
    else
      step.consumed += taken;
    step.progress = step.progress || taken > 0 || step.produced > 0;
    if (result == Z_STREAM_END) {
      memberEnded_ = true;
      // Plain deflate has one stream only; gzip waits to see what follows.
      if (!gzip_) step.status = StepStatus::Ended;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      step.status = StepStatus::Corrupt;
    }
    return step;
  }

  bool AtBoundary() const override { return memberEnded_; }

 private:
  bool Initialise() {
    int windowBits = 15 + 16;  // gzip only
    if (!gzip_) {
      const unsigned header = head_[0] * 256u + head_[1];
      const bool zlibWrapped = (head_[0] & 0x0F) == Z_DEFLATED && (head_[0] >> 4) <= 7 && header % 31 == 0;
      windowBits = zlibWrapped ? 15 : -15;
    }
    if (inflateInit2(&stream_, windowBits) != Z_OK) return false;
    initialised_ = true;
    return true;
  }

  bool gzip_;
  z_stream stream_{};
  bool initialised_ = false;
  std::array<std::uint8_t, 2> head_{};
  std::size_t headSize_ = 0;
  std::size_t headUsed_ = 0;
  bool memberEnded_ = false;
};

class BrotliDecoder final : public BoundedDecoder {
 public:
  explicit BrotliDecoder(std::size_t budget)
      : BoundedDecoder(budget), state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}

 protected:
  Step Decode(std::span<const std::uint8_t> input, std::uint8_t* out, std::size_t room) override {
    Step step;
    if (!state_) {
      step.status = StepStatus::Corrupt;
      return step;
    }
    std::size_t availableIn = input.size();
    const std::uint8_t* nextIn = input.data();
    std::size_t availableOut = room;
    std::uint8_t* nextOut = out;
    const BrotliDecoderResult result =
        BrotliDecoderDecompressStream(state_.get(), &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
    step.consumed = input.size() - availableIn;
    step.produced = room - availableOut;
    step.progress = step.consumed > 0 || step.produced > 0;
    if (result == BROTLI_DECODER_RESULT_SUCCESS) {
      step.status = StepStatus::Ended;
    } else if (result == BROTLI_DECODER_RESULT_ERROR) {
      step.status = StepStatus::Corrupt;
    }
    return step;
  }

  // A brotli stream says where it ends: the input ending elsewhere is short.
  bool AtBoundary() const override { return false; }

 private:
  struct Free {
    void operator()(BrotliDecoderState* state) const { BrotliDecoderDestroyInstance(state); }
  };
  std::unique_ptr<BrotliDecoderState, Free> state_;
};

class ZstdDecoder final : public BoundedDecoder {
 public:
  explicit ZstdDecoder(std::size_t budget) : BoundedDecoder(budget), context_(ZSTD_createDCtx()) {
    if (context_ && ZSTD_isError(ZSTD_DCtx_setParameter(context_.get(), ZSTD_d_windowLogMax, kZstdWindowLogMax)))
      context_.reset();
  }

 protected:
  Step Decode(std::span<const std::uint8_t> input, std::uint8_t* out, std::size_t room) override {
    Step step;
    if (!context_) {
      step.status = StepStatus::Corrupt;
      return step;
    }
    ZSTD_inBuffer in{input.data(), input.size(), 0};
    ZSTD_outBuffer output{out, room, 0};
    const std::size_t result = ZSTD_decompressStream(context_.get(), &output, &in);
    step.consumed = in.pos;
    step.produced = output.pos;
    step.progress = in.pos > 0 || output.pos > 0;
    if (ZSTD_isError(result)) {
      step.status = StepStatus::Corrupt;
    } else if (step.progress) {
      // 0: a frame ended and all it holds is out.  Frames may follow.
      frameEnded_ = result == 0;
    }
    return step;
  }

  bool AtBoundary() const override { return frameEnded_; }

 private:
  struct Free {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
  };
  std::unique_ptr<ZSTD_DCtx, Free> context_;
  bool frameEnded_ = false;
};

}  // namespace

ContentCoding ContentCodingOf(std::string_view contentEncoding) {
  if (contentEncoding.empty() || contentEncoding == "identity") return ContentCoding::Identity;
  if (contentEncoding == "gzip" || contentEncoding == "x-gzip") return ContentCoding::Gzip;
  if (contentEncoding == "deflate") return ContentCoding::Deflate;
  if (contentEncoding == "br") return ContentCoding::Brotli;
  if (contentEncoding == "zstd") return ContentCoding::Zstd;
  return ContentCoding::Unsupported;
}

std::unique_ptr<ContentDecoder> ContentDecoder::Make(ContentCoding coding, std::size_t budget) {
  switch (coding) {
    case ContentCoding::Gzip:
      return std::make_unique<ZlibDecoder>(true, budget);
    case ContentCoding::Deflate:
      return std::make_unique<ZlibDecoder>(false, budget);
    case ContentCoding::Brotli:
      return std::make_unique<BrotliDecoder>(budget);
    case ContentCoding::Zstd:
      return std::make_unique<ZstdDecoder>(budget);
    case ContentCoding::Identity:
    case ContentCoding::Unsupported:
      break;
  }
  return nullptr;
}

DecodedBody ContentDecode(ContentCoding coding, std::span<const std::uint8_t> body, std::size_t budget) {
  DecodedBody decoded;
  if (coding == ContentCoding::Identity) {
    const std::size_t kept = std::min(body.size(), budget);
    decoded.bytes.assign(reinterpret_cast<const char*>(body.data()), kept);
    decoded.end = kept < body.size() ? DecodeEnd::CutShort : DecodeEnd::Whole;
    return decoded;
  }
  const std::unique_ptr<ContentDecoder> decoder = ContentDecoder::Make(coding, budget);
  if (!decoder) {
    decoded.end = DecodeEnd::Unsupported;
    return decoded;
  }
  decoder->Push(body, decoded.bytes);
  decoded.end = decoder->End();
  return decoded;
}
