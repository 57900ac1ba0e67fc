#include <gtest/gtest.h>

#include <utility>

#include "control_host.h"

namespace {

using Items = std::vector<std::pair<std::string, char>>;

Items ListItems(HWND combo) {
  Items items;
  const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT index = 0; index < count; ++index) {
    char text[600] = {};
    SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    items.emplace_back(text, static_cast<char>(SendMessageA(combo, CB_GETITEMDATA, index, 0)));
  }
  return items;
}

char SelectedLetter(HWND combo) {
  const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? 0 : static_cast<char>(SendMessageA(combo, CB_GETITEMDATA, index, 0));
}

std::string CurrentLetter() {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  const char letter = folder[0];
  return std::string(1, (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter);
}

// Maps D: for the test's lifetime.  Wine reports such a drive as one
// without a root directory, which the list shows without a kind suffix.
class DriveBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetLogicalDrives() & (1u << 3), 0u) << "D: is already mapped in this prefix";
    ASSERT_TRUE(DefineDosDeviceA(0, "D:", "C:\\windows"));
  }
  void TearDown() override { DefineDosDeviceA(DDD_REMOVE_DEFINITION, "D:", nullptr); }
  ControlHost host_;
};

}  // namespace

TEST(DriveItemText, KindSuffixesAndTheLabelOfFixedDisksOnly) {
  EXPECT_EQ(DriveItemText('C', DRIVE_FIXED, "系统"), "C: （硬盘） 系统");
  EXPECT_EQ(DriveItemText('C', DRIVE_FIXED, ""), "C: （硬盘）");
  EXPECT_EQ(DriveItemText('N', DRIVE_REMOTE, "share"), "N: （网络驱动器）");
  EXPECT_EQ(DriveItemText('E', DRIVE_CDROM, "DISC"), "E: （光驱）");
  EXPECT_EQ(DriveItemText('R', DRIVE_RAMDISK, ""), "R: （内存虚拟驱动器）");
  EXPECT_EQ(DriveItemText('A', DRIVE_REMOVABLE, "USB"), "A:");
  EXPECT_EQ(DriveItemText('Q', DRIVE_UNKNOWN, ""), "Q:");
  EXPECT_EQ(DriveItemText('Q', DRIVE_NO_ROOT_DIR, ""), "Q:");
}

TEST(DriveKindMatches, EachFilterTakesOneDriveType) {
  const UINT types[] = {DRIVE_UNKNOWN, DRIVE_NO_ROOT_DIR, DRIVE_REMOVABLE, DRIVE_FIXED,
                        DRIVE_REMOTE,  DRIVE_CDROM,       DRIVE_RAMDISK};
  const UINT wanted[] = {0, DRIVE_REMOVABLE, DRIVE_FIXED, DRIVE_CDROM, DRIVE_REMOTE, DRIVE_RAMDISK};
  for (UINT type : types) {
    EXPECT_TRUE(DriveKindMatches(kDriveKindAll, type));
    for (int filter = 1; filter <= 5; ++filter)
      EXPECT_EQ(DriveKindMatches(filter, type), type == wanted[filter]);
  }
}

TEST_F(DriveBoxTest, ListsEveryDriveWithItsLetterAsItemData) {
  DriverBox& box = host_.DriveBoxCreate();
  const Items items = ListItems(box.Window());
  ASSERT_GE(items.size(), 3u);
  char previous = 0;
  bool sawC = false, sawD = false;
  for (const auto& [text, letter] : items) {
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text[0], letter);
    EXPECT_EQ(text[1], ':');
    EXPECT_GT(letter, previous) << "drives in the system's order";
    previous = letter;
    if (letter == 'C') {
      sawC = true;
      EXPECT_EQ(text.rfind("C: （硬盘）", 0), 0u) << text;
    }
    if (letter == 'D') {
      sawD = true;
      EXPECT_EQ(text, "D:");
    }
  }
  EXPECT_TRUE(sawC);
  EXPECT_TRUE(sawD);
  // The current drive is chosen at creation.
  EXPECT_EQ(std::string(box.Drive().c_str()), CurrentLetter());
  EXPECT_EQ(std::string(1, SelectedLetter(box.Window())), CurrentLetter());
  // Room for the drop-down although the stored height is 21.
  RECT dropped{};
  SendMessageA(box.Window(), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  RECT closed{};
  GetWindowRect(box.Window(), &closed);
  // Windows reports the whole dropped control (80), Wine only the list
  // part below the closed field (80 less about 25); the stored 21 would
  // give 21 or nothing.
  EXPECT_GE(dropped.bottom - closed.top, 50);
}

TEST_F(DriveBoxTest, WritingTheDriveUsesOnlyTheFirstCharacter) {
  DriverBox& box = host_.DriveBoxCreate();
  box.DriveSet("d:\\anything");
  EXPECT_EQ(SelectedLetter(box.Window()), 'D');
  EXPECT_EQ(std::string(box.Drive().c_str()), "D");

  box.DriveSet("");
  EXPECT_EQ(std::string(box.Drive().c_str()), CurrentLetter());
  EXPECT_EQ(std::string(1, SelectedLetter(box.Window())), CurrentLetter());

  // A drive that is not listed: nothing selected, reads as the current drive.
  box.DriveSet("q");
  EXPECT_EQ(SendMessageA(box.Window(), CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(box.StoredLetter(), 0);
  EXPECT_EQ(std::string(box.Drive().c_str()), CurrentLetter());
  EXPECT_TRUE(host_.driveEvents.empty());
}

TEST_F(DriveBoxTest, FilterRefillsTheListAndIsClamped) {
  for (char root[] = "A:\\"; root[0] <= 'Z'; ++root[0]) {
    ASSERT_NE(GetDriveTypeA(root), static_cast<UINT>(DRIVE_CDROM)) << "this prefix has a CD-ROM drive";
  }
  DriverBox& box = host_.DriveBoxCreate();
  box.FilterSet(kDriveKindCdRom);
  EXPECT_TRUE(ListItems(box.Window()).empty());
  EXPECT_EQ(box.StoredLetter(), 0);
  EXPECT_EQ(std::string(box.Drive().c_str()), CurrentLetter());

  box.FilterSet(kDriveKindFixed);
  for (const auto& item : ListItems(box.Window())) EXPECT_NE(item.second, 'D');
  EXPECT_FALSE(ListItems(box.Window()).empty());

  box.FilterSet(17);
  EXPECT_EQ(box.Filter(), kDriveKindRamDisk);
  box.FilterSet(-2);
  EXPECT_EQ(box.Filter(), kDriveKindAll);
  EXPECT_GE(ListItems(box.Window()).size(), 3u);
}

TEST_F(DriveBoxTest, StoredDriveOutsideTheFilterLeavesNothingSelected) {
  DriverBoxCreateArgs args;
  args.driveLetter = 'd';
  args.filter = kDriveKindFixed;
  DriverBox& box = host_.DriveBoxCreate(args);
  EXPECT_EQ(SendMessageA(box.Window(), CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(box.StoredLetter(), 0);
}

TEST_F(DriveBoxTest, ConfirmedChoiceStoresTheLetterBeforeTheEvent) {
  DriverBox& box = host_.DriveBoxCreate();
  box.DriveSet("C");
  const Items items = ListItems(box.Window());
  LRESULT dIndex = -1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].second == 'D') dIndex = static_cast<LRESULT>(i);
  }
  ASSERT_GE(dIndex, 0);
  SendMessageA(box.Window(), CB_SETCURSEL, dIndex, 0);
  SendMessageA(host_.Window(), WM_COMMAND, MAKEWPARAM(100, CBN_SELENDOK),
               reinterpret_cast<LPARAM>(box.Window()));
  EXPECT_EQ(host_.driveEvents, std::vector<std::int32_t>{0});
  EXPECT_EQ(host_.driveAtEvent, std::vector<std::string>{"D"});
}
