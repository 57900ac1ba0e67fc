// Names of saved copies from web addresses: what is kept, what is made safe
// for Windows, when no name comes of it, and the numbering of taken names.
#include <gtest/gtest.h>

#include "app/command_line/saved_name.h"

namespace {

std::string NameOf(std::string_view address, std::string_view extension = "mp4") {
  const std::optional<SavedName> name = SavedNameFromAddress(address, extension);
  return name ? SavedNameText(*name) : std::string("(none)");
}

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

}  // namespace

TEST(SavedName, LastSegmentWithTheContentsExtension) {
  EXPECT_EQ(NameOf("http://127.0.0.1:8080/media/video.mp4"), "video.mp4");
  EXPECT_EQ(NameOf("https://a.test/x/clip.bin?token=1#t=5", "webm"), "clip.webm");
  EXPECT_EQ(NameOf("https://a.test/x/archive.tar.gz", "mp3"), "archive.tar.mp3");
  EXPECT_EQ(NameOf("https://a.test/play", "m4a"), "play.m4a");
  EXPECT_EQ(NameOf("https://a.test/play", ""), "play");
  EXPECT_EQ(NameOf("https://a.test/%E8%A7%86%E9%A2%91.mp4"), Utf8(u8"视频.mp4"));
  EXPECT_EQ(NameOf("https://a.test/a%20b%zz.mp4"), "a b%zz.mp4");
  EXPECT_EQ(NameOf("https://a.test/.hidden"), "hidden.mp4");
}

TEST(SavedName, MadeSafeForWindows) {
  EXPECT_EQ(NameOf("https://a.test/a%3Cb%3E%3A%22%7C%2A%5Cc%2Fd.mp4"), "a_b______c_d.mp4");
  EXPECT_EQ(NameOf("https://a.test/tab%09nul%00.mp4"), "tab_nul_.mp4");
  EXPECT_EQ(NameOf("https://a.test/ends%20in%20dots..%20.x"), "ends in dots.mp4");
  EXPECT_EQ(NameOf("https://a.test/%20%20lead.mp4"), "lead.mp4");
  // Device names whatever case and extension.
  EXPECT_EQ(NameOf("https://a.test/con.mp4"), "_con.mp4");
  EXPECT_EQ(NameOf("https://a.test/LPT9"), "_LPT9.mp4");
  EXPECT_EQ(NameOf("https://a.test/nul.tar.mp4"), "_nul.tar.mp4");
  EXPECT_EQ(NameOf("https://a.test/com0.mp4"), "com0.mp4");
  EXPECT_EQ(NameOf("https://a.test/console.mp4"), "console.mp4");
  // The superscript digits and the console buffers are devices too.
  EXPECT_EQ(NameOf("https://a.test/COM%C2%B9.mp4"), "_COM\xC2\xB9.mp4");
  EXPECT_EQ(NameOf("https://a.test/lpt%C2%B3.x.mp4"), "_lpt\xC2\xB3.x.mp4");
  EXPECT_EQ(NameOf("https://a.test/com%C2%B2"), "_com\xC2\xB2.mp4");
  EXPECT_EQ(NameOf("https://a.test/com%C2%B4.mp4"), "com\xC2\xB4.mp4");
  EXPECT_EQ(NameOf("https://a.test/CONIN$.mp4"), "_CONIN$.mp4");
  EXPECT_EQ(NameOf("https://a.test/conout$"), "_conout$.mp4");
  EXPECT_EQ(NameOf("https://a.test/conin.mp4"), "conin.mp4");
  // Format characters, which turn a name around or hide in it, become "_".
  EXPECT_EQ(NameOf("https://a.test/clip%E2%80%AEgpj.exe"), "clip_gpj.mp4");
  EXPECT_EQ(NameOf("https://a.test/a%E2%80%8Bb%EF%BB%BFc%C2%ADd"), "a_b_c_d.mp4");
  EXPECT_EQ(NameOf("https://a.test/%F3%A0%80%81tag"), "_tag.mp4");
  EXPECT_EQ(NameOf("https://a.test/%E4%B8%AD%E2%80%8D"), Utf8(u8"中_.mp4"));
  // An odd extension from the table is cleaned too.
  EXPECT_EQ(NameOf("https://a.test/v", "m p/4"), "v.mp4");
  // Long names are cut on a character boundary.
  std::string longName = "https://a.test/";
  for (int i = 0; i < 100; ++i) longName += "%E4%B8%AD";
  const std::string cut = NameOf(longName);
  std::string expected;
  for (std::size_t i = 0; i < kSavedStemMaxCharacters; ++i) expected += Utf8(u8"中");
  EXPECT_EQ(cut, expected + ".mp4");
}

TEST(SavedName, NoNameWhenTheAddressGivesNone) {
  EXPECT_EQ(NameOf(""), "(none)");
  EXPECT_EQ(NameOf("not an address"), "(none)");
  EXPECT_EQ(NameOf("https://a.test"), "(none)");
  EXPECT_EQ(NameOf("https://a.test/"), "(none)");
  EXPECT_EQ(NameOf("https://a.test/dir/?q=v.mp4"), "(none)");
  EXPECT_EQ(NameOf("https://a.test/..."), "(none)");
  EXPECT_EQ(NameOf("https://a.test/%20.%20"), "(none)");
  EXPECT_EQ(NameOf("https://a.test/%FF%FE.mp4"), "(none)");
}

TEST(SavedName, NumbersGoBeforeTheExtension) {
  const SavedName name{"video", "mp4"};
  EXPECT_EQ(SavedNameText(name, 1), "video.mp4");
  EXPECT_EQ(SavedNameText(name, 2), "video(2).mp4");
  EXPECT_EQ(SavedNameText(name, 9999), "video(9999).mp4");
  EXPECT_EQ(SavedNameText(SavedName{"t", ""}, 3), "t(3)");
}
