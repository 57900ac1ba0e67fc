#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "runtime/commands/registry_commands.h"

namespace {

// A key of our own below HKEY_CURRENT_USER\Software, deleted afterwards.
class TestKey {
 public:
  TestKey() : path_("Software\\EECommandsTest" + std::to_string(GetCurrentProcessId())) {
    RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\Sub").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key_, nullptr);
  }
  ~TestKey() {
    RegCloseKey(key_);
    RegDeleteKeyA(HKEY_CURRENT_USER, (path_ + "\\Sub").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
  }
  void Set(const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS)
        << name;
  }
  void SetText(const char* name, DWORD type, const std::string& text) {
    Set(name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }
  // The full value path for RegistryTextRead.
  std::string ValuePath(const std::string& name) const { return path_ + "\\Sub\\" + name; }

 private:
  std::string path_;
  HKEY key_ = nullptr;
};

TEST(RegistryTextRead, ReadsTextValuesAndExpandsReferences) {
  TestKey key;
  key.SetText("Cache", REG_SZ, "C:\\缓存\\目录");
  key.SetText("Expand", REG_EXPAND_SZ, "%EE_REGISTRY_TEST%\\inner");
  key.SetText("", REG_SZ, "默认值");
  ASSERT_TRUE(SetEnvironmentVariableA("EE_REGISTRY_TEST", "D:\\展开"));

  EXPECT_EQ(RegistryTextRead(kRegistryCurrentUser, key.ValuePath("Cache")), "C:\\缓存\\目录");
  EXPECT_EQ(RegistryTextRead(kRegistryCurrentUser, key.ValuePath("Expand"), "dflt"), "D:\\展开\\inner");
  EXPECT_EQ(RegistryTextRead(kRegistryCurrentUser, key.ValuePath("")), "默认值")
      << "a trailing backslash names the key's default value";
  // Root numbers outside 1..5 mean the current user.
  EXPECT_EQ(RegistryTextRead(0, key.ValuePath("Cache")), "C:\\缓存\\目录");
  EXPECT_EQ(RegistryTextRead(42, key.ValuePath("Cache")), "C:\\缓存\\目录");
  EXPECT_EQ(RegistryTextRead(4, key.ValuePath("Cache"), "not in HKLM"), "not in HKLM");
  SetEnvironmentVariableA("EE_REGISTRY_TEST", nullptr);
}

TEST(RegistryTextRead, OtherTypesAndFailuresGiveTheDefault) {
  TestKey key;
  const DWORD number = 7;
  key.Set("Number", REG_DWORD, &number, sizeof number);
  key.Set("Binary", REG_BINARY, "abc", 3);
  key.SetText("Empty", REG_SZ, "");

  EXPECT_EQ(RegistryTextRead(3, key.ValuePath("Number"), "dflt"), "dflt");
  EXPECT_EQ(RegistryTextRead(3, key.ValuePath("Binary"), "dflt"), "dflt");
  EXPECT_EQ(RegistryTextRead(3, key.ValuePath("Number")), "");
  EXPECT_EQ(RegistryTextRead(3, key.ValuePath("Missing"), "dflt"), "dflt");
  EXPECT_EQ(RegistryTextRead(3, "Software\\NoSuchKeyAnywhere\\Value", "dflt"), "dflt");
  EXPECT_EQ(RegistryTextRead(3, key.ValuePath("Empty"), "dflt"), "") << "an empty text value is a value";
  EXPECT_EQ(RegistryTextRead(3, "", "dflt"), "dflt");
}

TEST(RegistryTextRead, DataWithoutTerminatorIsNotOverrun) {
  TestKey key;
  key.Set("Unterminated", REG_SZ, "abcdef", 3);
  EXPECT_EQ(RegistryTextRead(3, key.ValuePath("Unterminated")), "abc");
}

TEST(RegistryTextRead, PathWithoutBackslashNamesAValueOfTheRoot) {
  const std::string name = "EECommandsRootValue" + std::to_string(GetCurrentProcessId());
  const char text[] = "根值";
  ASSERT_EQ(RegSetValueExA(HKEY_CURRENT_USER, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           sizeof text),
            ERROR_SUCCESS);
  EXPECT_EQ(RegistryTextRead(3, name, "dflt"), "根值");
  RegDeleteValueA(HKEY_CURRENT_USER, name.c_str());
  EXPECT_EQ(RegistryTextRead(3, name, "dflt"), "dflt");
}

TEST(RegistryTextRead, ASecondByteThatLooksLikeABackslashIsNoSeparator) {
  TestKey key;
  // "乗" is 0x81 0x5C in GBK: its second byte is the backslash's code.
  const std::string name = "值乗名";
  ASSERT_EQ(name.find('\\'), 3u) << "the test needs a trail byte 0x5C";
  key.SetText(name.c_str(), REG_SZ, "found");
  EXPECT_EQ(RegistryTextRead(3, key.ValuePath(name), "split wrongly"), "found");
}

}  // namespace
