#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/extensions/extension_catalogue.h"

namespace {

// Answers the check boxes and records which ones were asked, in order.
class SwitchStates : public ClassSwitches {
 public:
  SwitchStates(bool video, bool audio, bool userDefined)
      : video_(video), audio_(audio), userDefined_(userDefined) {}
  bool VideoChecked() override { return Ask('V', video_); }
  bool AudioChecked() override { return Ask('A', audio_); }
  bool UserDefinedChecked() override { return Ask('U', userDefined_); }
  std::string asked;

 private:
  bool Ask(char which, bool state) {
    asked += which;
    return state;
  }
  bool video_, audio_, userDefined_;
};

class Catalogue : public testing::Test {
 protected:
  void SetUp() override {
    BuiltInExtensionsFill();
    CustomExtensions.Replace(TextArray());
  }
  void TearDown() override {
    VideoExtensions.Replace(TextArray());
    AudioExtensions.Replace(TextArray());
    CustomExtensions.Replace(TextArray());
  }
  static void UserListSet(std::string_view text) { CustomExtensions.Replace(CustomExtensionsParse(text)); }
  static std::string Entry(const Classification& result) { return std::string(result.entry); }
};

}  // namespace

TEST_F(Catalogue, BuiltInListsHaveTheirEntriesInOrder) {
  const TextArray video = BuiltInVideoExtensions();
  const std::vector<std::string> expectedVideo = {".flv",  ".mp4", ".f4v", ".mpeg", ".mpg", ".avi",
                                                  ".mov",  ".asf", ".wmv", ".navi", ".3gp", ".rm",
                                                  ".rmvb", ".m4v", ".hlv", ".3gp"};
  EXPECT_EQ(std::vector<std::string>(video.begin(), video.end()), expectedVideo);
  const TextArray audio = BuiltInAudioExtensions();
  const std::vector<std::string> expectedAudio = {".wav", ".aiff", ".au",  ".mp3", ".mid", ".mp1",
                                                  ".mp2", ".ra",   ".rmx", ".wma", ".dat"};
  EXPECT_EQ(std::vector<std::string>(audio.begin(), audio.end()), expectedAudio);
}

TEST_F(Catalogue, UserListParsing) {
  const TextArray pieces = CustomExtensionsParse("ppt;docx;html;");
  EXPECT_EQ(std::vector<std::string>(pieces.begin(), pieces.end()),
            (std::vector<std::string>{"ppt", "docx", "html"}));
  const TextArray withEmpty = CustomExtensionsParse(";a;;b");
  EXPECT_EQ(std::vector<std::string>(withEmpty.begin(), withEmpty.end()),
            (std::vector<std::string>{"", "a", "", "b"}));
  EXPECT_TRUE(CustomExtensionsParse("").empty());
}

TEST_F(Catalogue, SuffixMatchesTheLongerEntryAndCaseMatters) {
  SwitchStates all(true, true, true);
  EXPECT_EQ(Entry(ClassifyPath("c:\\cache\\x.rmvb", all)), ".rmvb");
  EXPECT_EQ(Entry(ClassifyPath("c:\\cache\\x.rm", all)), ".rm");
  EXPECT_EQ(ClassifyPath("c:\\cache\\x.3gp", all).extensionClass, ExtensionClass::Video);
  EXPECT_EQ(ClassifyPath("c:\\Cache\\X.FLV", all).extensionClass, ExtensionClass::None);
  // No dot before the name: ".au" is not a suffix of "\au".
  EXPECT_EQ(ClassifyPath("c:\\watched\\au", all).extensionClass, ExtensionClass::None);
  // A path shorter than the entry is compared whole, and differs.
  EXPECT_EQ(ClassifyPath("mp3", all).extensionClass, ExtensionClass::None);
}

TEST_F(Catalogue, UserEntriesAreUsedExactlyAsTyped) {
  UserListSet("ppt;docx;html;PDF; txt");
  SwitchStates userOnly(false, false, true);
  const Classification talk = ClassifyPath("d:\\talk.ppt", userOnly);
  EXPECT_EQ(talk.extensionClass, ExtensionClass::UserDefined);
  EXPECT_EQ(Entry(talk), "ppt");
  EXPECT_EQ(Entry(ClassifyPath("d:\\appt", userOnly)), "ppt");
  EXPECT_EQ(ClassifyPath("d:\\report.pdf", userOnly).extensionClass, ExtensionClass::None);
  EXPECT_EQ(ClassifyPath("d:\\report.PDF", userOnly).extensionClass, ExtensionClass::UserDefined);
  EXPECT_EQ(ClassifyPath("d:\\notes.txt", userOnly).extensionClass, ExtensionClass::None);
  EXPECT_EQ(Entry(ClassifyPath("d:\\notes txt", userOnly)), " txt");
}

TEST_F(Catalogue, EmptyUserEntryMatchesWhatTheOtherClassesLeft) {
  UserListSet("doc;;xls");
  SwitchStates videoAndUser(true, false, true);
  EXPECT_EQ(ClassifyPath("d:\\a.flv", videoAndUser).extensionClass, ExtensionClass::Video);
  const Classification other = ClassifyPath("d:\\anything.bin", videoAndUser);
  EXPECT_EQ(other.extensionClass, ExtensionClass::UserDefined);
  EXPECT_EQ(Entry(other), "");
}

TEST_F(Catalogue, ClassesAreTriedInOrderAndSwitchesReadOnlyWhenReached) {
  UserListSet("flv;mp3");
  SwitchStates videoAndUser(true, false, true);
  const Classification flv = ClassifyPath("d:\\a.flv", videoAndUser);
  EXPECT_EQ(flv.extensionClass, ExtensionClass::Video);
  EXPECT_EQ(Entry(flv), ".flv");
  EXPECT_EQ(videoAndUser.asked, "V");

  SwitchStates audioOnly(false, true, false);
  EXPECT_EQ(ClassifyPath("d:\\a.flv", audioOnly).extensionClass, ExtensionClass::None);
  EXPECT_EQ(audioOnly.asked, "VAU");
  audioOnly.asked.clear();
  EXPECT_EQ(ClassifyPath("d:\\a.mp3", audioOnly).extensionClass, ExtensionClass::Audio);
  EXPECT_EQ(audioOnly.asked, "VA");

  // Video selected but not matching falls through to the next class.
  SwitchStates all(true, true, true);
  EXPECT_EQ(ClassifyPath("d:\\a.mp3", all).extensionClass, ExtensionClass::Audio);
  SwitchStates none(false, false, false);
  EXPECT_EQ(ClassifyPath("d:\\a.flv", none).extensionClass, ExtensionClass::None);
}

TEST_F(Catalogue, NothingMatchesBeforeTheUserListIsSet) {
  SwitchStates userOnly(false, false, true);
  EXPECT_EQ(ClassifyPath("d:\\a.ppt", userOnly).extensionClass, ExtensionClass::None);
}

TEST_F(Catalogue, ReplacingTheUserListLeavesAClassificationSnapshotIntact) {
  UserListSet("ppt");
  const auto snapshot = CustomExtensions.Snapshot();
  UserListSet("doc;xls");
  ASSERT_EQ(snapshot->size(), 1u);
  EXPECT_EQ((*snapshot)[0], "ppt");
  SwitchStates userOnly(false, false, true);
  EXPECT_EQ(Entry(ClassifyPath("d:\\a.xls", userOnly)), "xls");
}
