// Muxing a 1 GiB pair of fragmented MP4 tracks (about 900 MiB of 30 fps
// video and 124 MiB of AAC-like sound, 15 minutes, one-second fragments)
// against copying the same bytes into one file on the same disk, through
// the same reader and writer, and the process's peak memory.  The tracks are
// made once in the scratch folder (kept between runs).
// Usage: mux_bench [FOLDER] [MiB]   (default: .\mux_bench_data, 1024)
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/muxing/box_bytes.h"
#include "app/muxing/mp4_muxer.h"
#include "bench/bench_support.h"

namespace {

// Collects writes into 1 MiB before handing them to the system, as a saved
// copy's writer does: both runs below write through it.
class FileOutput : public MuxOutput {
 public:
  explicit FileOutput(const std::wstring& path)
      : file_(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    pending_.reserve(kBuffer);
  }
  ~FileOutput() override {
    Flush();
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  FileOutput(const FileOutput&) = delete;
  FileOutput& operator=(const FileOutput&) = delete;
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (pending_.size() + bytes.size() > kBuffer && !Flush()) return false;
    if (bytes.size() >= kBuffer) return WriteNow(bytes);
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    return true;
  }
  bool Flush() {
    const bool ok = WriteNow(pending_);
    pending_.clear();
    return ok;
  }

 private:
  static constexpr std::size_t kBuffer = 1 << 20;
  bool WriteNow(std::span<const std::uint8_t> bytes) {
    DWORD written = 0;
    return file_ != INVALID_HANDLE_VALUE &&
           (bytes.empty() ||
            (WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size()));
  }
  HANDLE file_;
  std::vector<std::uint8_t> pending_;
};

struct TrackShape {
  bool video = true;
  std::uint32_t timescale = 90000;
  std::uint32_t duration = 3000;   // per sample
  std::uint32_t perFragment = 30;  // samples
  std::uint32_t size = 35000;      // a sample's bytes (keyframes 4 times that)
};

std::vector<std::uint8_t> InitBytes(const TrackShape& shape) {
  BoxBuilder box;
  const auto ftyp = box.Open("ftyp");
  for (const char* brand : {"iso6", "\0\0\0\0", "iso6", "dash"})
    for (int i = 0; i < 4; ++i) box.U8(static_cast<std::uint8_t>(brand[i]));
  box.Close(ftyp);
  const auto moov = box.Open("moov");
  const auto mvhd = box.OpenFull("mvhd", 0, 0);
  box.Zeros(8);
  box.U32(1000);
  box.Zeros(80);
  box.Close(mvhd);
  const auto trak = box.Open("trak");
  const auto tkhd = box.OpenFull("tkhd", 0, 3);
  box.Zeros(8);
  box.U32(1);
  box.Zeros(60);
  box.U32(shape.video ? 1280u << 16 : 0);
  box.U32(shape.video ? 720u << 16 : 0);
  box.Close(tkhd);
  const auto mdia = box.Open("mdia");
  const auto mdhd = box.OpenFull("mdhd", 0, 0);
  box.Zeros(8);
  box.U32(shape.timescale);
  box.U32(0);
  box.U16(0x55c4);
  box.U16(0);
  box.Close(mdhd);
  const auto hdlr = box.OpenFull("hdlr", 0, 0);
  box.U32(0);
  for (char c : std::string(shape.video ? "vide" : "soun")) box.U8(static_cast<std::uint8_t>(c));
  box.Zeros(13);
  box.Close(hdlr);
  const auto minf = box.Open("minf");
  const auto stbl = box.Open("stbl");
  const auto stsd = box.OpenFull("stsd", 0, 0);
  box.U32(1);
  const auto entry = box.Open(shape.video ? "avc1" : "mp4a");
  box.Zeros(shape.video ? 78 : 28);
  box.Close(entry);
  box.Close(stsd);
  const auto stsz = box.OpenFull("stsz", 0, 0);
  box.Zeros(8);
  box.Close(stsz);
  box.Close(stbl);
  box.Close(minf);
  box.Close(mdia);
  box.Close(trak);
  const auto mvex = box.Open("mvex");
  const auto trex = box.OpenFull("trex", 0, 0);
  box.U32(1);
  box.U32(1);
  box.Zeros(12);
  box.Close(trex);
  box.Close(mvex);
  box.Close(moov);
  return box.Bytes();
}

// Writes the track fragment by fragment (never more than one in memory).
bool TrackMake(const std::wstring& path, const TrackShape& shape, std::uint64_t bytes) {
  FileOutput out(path);
  if (!out.Write(InitBytes(shape))) return false;
  std::uint64_t written = 0;
  std::uint64_t decodeTime = 0;
  std::vector<std::uint8_t> data;
  for (std::uint32_t sequence = 1; written < bytes; ++sequence) {
    std::vector<std::uint32_t> sizes;
    for (std::uint32_t i = 0; i < shape.perFragment; ++i)
      sizes.push_back(shape.video && i == 0 ? shape.size * 4 : shape.size + (i * 7919) % 1000);
    BoxBuilder box;
    const auto moof = box.Open("moof");
    const auto mfhd = box.OpenFull("mfhd", 0, 0);
    box.U32(sequence);
    box.Close(mfhd);
    const auto traf = box.Open("traf");
    const auto tfhd = box.OpenFull("tfhd", 0, 0x020000 | 0x8);
    box.U32(1);
    box.U32(shape.duration);
    box.Close(tfhd);
    const auto tfdt = box.OpenFull("tfdt", 1, 0);
    box.U64(decodeTime);
    box.Close(tfdt);
    const auto trun = box.OpenFull("trun", 0, 0x1 | 0x200 | 0x400);
    box.U32(shape.perFragment);
    const std::size_t offsetAt = box.Size();
    box.U32(0);
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < shape.perFragment; ++i) {
      box.U32(sizes[i]);
      box.U32(shape.video && i > 0 ? 0x01010000 : 0x02000000);
      total += sizes[i];
    }
    box.Close(trun);
    box.Close(traf);
    box.Close(moof);
    box.PatchU32(offsetAt, static_cast<std::uint32_t>(box.Size() + 8));
    box.U32(static_cast<std::uint32_t>(total + 8));
    for (char c : std::string("mdat")) box.U8(static_cast<std::uint8_t>(c));
    data.assign(static_cast<std::size_t>(total), static_cast<std::uint8_t>(sequence));
    if (!out.Write(box.Bytes()) || !out.Write(data)) return false;
    written += box.Size() + total;
    decodeTime += static_cast<std::uint64_t>(shape.duration) * shape.perFragment;
  }
  return true;
}

std::uint64_t FileBytes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

double PeakMiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(std::max(counters.PeakWorkingSetSize, counters.PeakPagefileUsage)) / (1 << 20);
}

// The same bytes, both tracks one after the other, through the same reader and writer.
bool CopyPair(CacheFile& video, CacheFile& audio, MuxOutput& out) {
  std::vector<std::uint8_t> buffer(1 << 20);
  for (CacheFile* file : {&video, &audio}) {
    const std::uint64_t size = file->Size();
    for (std::uint64_t at = 0; at < size;) {
      const std::size_t got = file->ReadAt(at, buffer.data(), buffer.size());
      if (got == 0 || !out.Write({buffer.data(), got})) return false;
      at += got;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "mux_bench_data";
  const std::uint64_t mib = argc > 2 ? std::stoull(argv[2]) : 1024;
  CreateDirectoryW(Wide(folder).c_str(), nullptr);
  const std::uint64_t audioBytes = mib * (1 << 20) / 8 - 4;  // an eighth of the pair is sound
  const std::uint64_t videoBytes = mib * (1 << 20) - audioBytes;
  const std::wstring videoPath = Wide(folder + "\\video.mp4");
  const std::wstring audioPath = Wide(folder + "\\audio.mp4");
  const std::uint32_t audioSize = static_cast<std::uint32_t>(audioBytes / (15 * 60 * 47));
  const TrackShape videoShape{true, 90000, 3000, 30, static_cast<std::uint32_t>(videoBytes / (15 * 60 * 33))};
  const TrackShape audioShape{false, 48000, 1024, 47, audioSize};
  if (FileBytes(videoPath) < videoBytes || FileBytes(audioPath) < audioBytes) {
    std::printf("making the tracks (%llu MiB)...\n", static_cast<unsigned long long>(mib));
    if (!TrackMake(videoPath, videoShape, videoBytes) || !TrackMake(audioPath, audioShape, audioBytes)) {
      std::printf("could not make the tracks\n");
      return 1;
    }
  }
  const std::u16string wideFolder(folder.begin(), folder.end());
  auto disk = DiskCacheFolderOpen(wideFolder, folder);
  const double peakBefore = PeakMiB();
  double bestCopy = 1e300;
  double bestMux = 1e300;
  std::uint64_t muxedBytes = 0;
  // Alternating runs: the disk is shared, so each figure is the best of three.
  for (int round = 0; round < 3; ++round) {
    {
      auto video = disk->Open("video.mp4");
      auto audio = disk->Open("audio.mp4");
      FileOutput out(Wide(folder + "\\copied.bin"));
      const double start = NowMs();
      if (!CopyPair(*video, *audio, out)) return 1;
      bestCopy = std::min(bestCopy, NowMs() - start);
    }
    DeleteFileW(Wide(folder + "\\copied.bin").c_str());
    {
      auto video = disk->Open("video.mp4");
      auto audio = disk->Open("audio.mp4");
      FileOutput out(Wide(folder + "\\muxed.mp4"));
      const double start = NowMs();
      const MuxResult result = Mp4MuxTracks(*video, *audio, out);
      if (result.outcome != MuxOutcome::Done) {
        std::printf("mux failed: outcome %d\n", static_cast<int>(result.outcome));
        return 1;
      }
      bestMux = std::min(bestMux, NowMs() - start);
      muxedBytes = result.bytes;
    }
    DeleteFileW(Wide(folder + "\\muxed.mp4").c_str());
  }
  const double inputMiB = static_cast<double>(FileBytes(videoPath) + FileBytes(audioPath)) / (1 << 20);
  std::printf("pair: %.0f MiB in, muxed %.0f MiB out\n", inputMiB,
              static_cast<double>(muxedBytes) / (1 << 20));
  std::printf("copy: %.0f ms (%.0f MiB/s), best of 3\n", bestCopy, inputMiB * 1000 / bestCopy);
  std::printf("mux:  %.0f ms (%.0f MiB/s), best of 3; %.2f x the copy (target <= 1.5)\n", bestMux,
              inputMiB * 1000 / bestMux, bestMux / bestCopy);
  std::printf("peak memory: %.1f MiB before the runs, %.1f MiB after (target < 64)\n", peakBefore, PeakMiB());
  return 0;
}
