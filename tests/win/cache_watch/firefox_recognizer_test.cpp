// The recognizer on Firefox cache2 entries written to a real folder step by
// step, as the browser writes them: the raw body growing, the metadata
// appended last; entries in a doomed folder; entries that are not media.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/cache_watch/cache_watch.h"
#include "runtime/core/program.h"
#include "tests/support/firefox_entry_builder.h"
#include "tests/win/cache_disk_writer.h"

namespace {

using firefox_entry::Body;
using firefox_entry::Bytes;
using firefox_entry::Slice;

const std::string kUrl = "http://127.0.0.1:8765/media/video.mp4";
const std::string kKey = "O^partitionKey=%28http%2C127.0.0.1%29,a,:" + kUrl;
const std::string kEntry = "6D5E2B0C9A1F4E3D2C1B0A99887766554433221A";
constexpr std::size_t kChunk = kFirefoxChunkSize;
constexpr DWORD kSafetyMs = 15000;
constexpr DWORD kReceiveMs = 300;

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

class Receiver final : public MediaElementReceiver {
 public:
  void MediaElementFound(const MediaElementRef& element) override {
    // Takes its time, as the detection step may (it holds its lock while it
    // asks): the cases must wait for the deliveries, not assume them.
    Sleep(kReceiveMs);
    std::lock_guard<std::mutex> hold(lock_);
    received_.push_back(element);
  }
  std::vector<MediaElementRef> Received() {
    std::lock_guard<std::mutex> hold(lock_);
    return received_;
  }

 private:
  std::mutex lock_;
  std::vector<MediaElementRef> received_;
};

bool WaitUntil(const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > kSafetyMs) return false;
    Sleep(10);
  }
  return true;
}

class FirefoxRecognizerTest : public testing::Test {
 protected:
  FirefoxRecognizerTest() {
    root =
        Wide(std::string(ProgramFolder())) + L"\\firefox_scratch_" + std::to_wstring(GetCurrentProcessId());
    std::wstring path = root;
    CreateDirectoryW(root.c_str(), nullptr);
    for (const wchar_t* part : {L"\\Profiles", L"\\x.default-release", L"\\cache2"}) {
      path += part;
      CreateDirectoryW(path.c_str(), nullptr);
    }
    entries = path + L"\\entries";
    doomed = path + L"\\doomed";
    CreateDirectoryW(entries.c_str(), nullptr);
    CreateDirectoryW(doomed.c_str(), nullptr);
  }
  ~FirefoxRecognizerTest() override {
    recognizer.Stop();
    DiskTreeRemove(root);
  }

  // What the watcher hands on for a new file.
  void Added(const std::wstring& folder, const std::string& name) {
    const std::wstring exact = folder + L"\\" + Wide(name);
    recognizer.NewFile(NewFileEvent{1, Narrow(root) + "\\", Narrow(exact), exact});
  }
  void Append(const std::wstring& folder, const std::string& name, const Bytes& bytes) {
    ASSERT_TRUE(DiskBytesWrite(folder + L"\\" + Wide(name), bytes, true));
  }
  // All files seen were looked at, nothing is pending, and every element
  // found has reached the receiver (delivered on a thread of its own).
  bool Settled(std::uint64_t filesSeen) {
    return WaitUntil([&] {
      const CacheWatchFigures figures = recognizer.Figures();
      return figures.candidates.filesSeen >= filesSeen && figures.candidatesPending == 0 &&
             figures.candidates.looks > 0 && figures.deliveries == figures.candidates.found;
    });
  }

  std::wstring root, entries, doomed;
  Receiver receiver;
  CacheElementRecognizer recognizer{receiver};
};

TEST_F(FirefoxRecognizerTest, AGrowingRawBodyIsHandedOnAtItsFirstChunkOnceAndItsMetadataLater) {
  const Bytes body = Body(2 * kChunk + 70000,
                          std::string_view("\0\0\0\x20"
                                           "ftypisom",
                                           12),
                          1);
  Append(entries, kEntry, {});  // the browser creates the entry empty
  Added(entries, kEntry);
  ASSERT_TRUE(WaitUntil([&] { return recognizer.Figures().candidates.looks >= 2; }));
  EXPECT_TRUE(receiver.Received().empty());
  EXPECT_EQ(recognizer.Figures().candidatesPending, 1u);

  Append(entries, kEntry, Slice(body, 0, kChunk));
  ASSERT_TRUE(WaitUntil([&] { return !receiver.Received().empty(); }));
  const MediaElementRef found = receiver.Received()[0];
  EXPECT_EQ(found.store, CacheStore::FirefoxCache2);
  EXPECT_EQ(found.fileName, kEntry);
  EXPECT_EQ(found.folderExact, std::u16string(entries.begin(), entries.end()));
  EXPECT_EQ(found.folderAnsi, Narrow(entries));
  EXPECT_EQ(found.nature, MediaNature::Video);
  EXPECT_EQ(found.extension, "mp4");
  EXPECT_TRUE(found.webAddress.empty());  // the metadata is not written yet

  Append(entries, kEntry, Slice(body, kChunk, body.size()));
  Append(entries, kEntry,
         firefox_entry::Metadata(body.size(), kKey, firefox_entry::Head("video/mp4", body.size())));
  ASSERT_TRUE(Settled(1));
  EXPECT_EQ(receiver.Received().size(), 1u);
  EXPECT_EQ(recognizer.Figures().candidates.found, 1u);
}

TEST_F(FirefoxRecognizerTest, DoomedEntriesAndOtherResourcesAreNeverHandedOnButAudioIs) {
  const Bytes mp4 = Body(kChunk,
                         std::string_view("\0\0\0\x20"
                                          "ftypisom",
                                          12),
                         2);
  const Bytes png = Body(5000, "\x89PNG\r\n\x1a\n", 3);
  const Bytes mp3 = Body(40000, "ID3\x04", 4);
  const std::string image = "1111111111111111111111111111111111111111";
  const std::string sound = "2222222222222222222222222222222222222222";
  // The browser dooms an open entry by moving it to "doomed".
  Append(doomed, kEntry, mp4);
  Added(doomed, kEntry);
  // A small image: written whole at close with its metadata.
  Append(entries, image,
         firefox_entry::Whole(png, ":http://127.0.0.1:8765/image.png",
                              firefox_entry::Head("image/png", png.size())));
  Added(entries, image);
  // A small sound: empty until close, then all of it.
  Append(entries, sound, {});
  Added(entries, sound);
  ASSERT_TRUE(WaitUntil([&] { return recognizer.Figures().candidates.looks >= 3; }));
  Append(entries, sound,
         firefox_entry::Whole(mp3, ":http://127.0.0.1:8765/media/sound.mp3",
                              firefox_entry::Head("audio/mpeg", mp3.size())));
  ASSERT_TRUE(Settled(3));
  const std::vector<MediaElementRef> received = receiver.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].fileName, sound);
  EXPECT_EQ(received[0].nature, MediaNature::Audio);
  EXPECT_EQ(received[0].extension, "mp3");
  EXPECT_EQ(received[0].webAddress, "http://127.0.0.1:8765/media/sound.mp3");
}

}  // namespace
