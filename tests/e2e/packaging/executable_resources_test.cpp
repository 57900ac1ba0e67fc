// What Windows reads from the program file before any of its code runs: the
// manifest (and that it really brings common controls 6), the version
// resource and the program icon.
#include <gtest/gtest.h>

#include <string>

#include "runtime/core/handles.h"
#include "tests/e2e/driver/program.h"

namespace e2e {
namespace {

// Keeps the first resource name that is a number (the project names its
// resources by number).
BOOL CALLBACK TakeFirstNumberedName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  if (!IS_INTRESOURCE(name)) return TRUE;
  *reinterpret_cast<ULONG_PTR*>(found) = reinterpret_cast<ULONG_PTR>(name);
  return FALSE;
}

class ExecutableResources : public testing::Test {
 protected:
  void SetUp() override {
    path = ProductExecutable();
    ASSERT_FALSE(path.empty()) << "EE_PRODUCT_EXE is not set";
    image.Reset(
        LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(image) << "cannot open the program file, error " << GetLastError();
  }

  std::string Resource(LPCWSTR type, LPCWSTR name) const {
    HRSRC found = FindResourceW(image.Get(), name, type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(image.Get(), found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes ? std::string(bytes, SizeofResource(image.Get(), found)) : std::string();
  }

  std::wstring path;
  ModuleHandle image;
};

TEST_F(ExecutableResources, ManifestAsksForCommonControls6AsInvokerAndNoDpiAwareness) {
  const std::string manifest = Resource(MAKEINTRESOURCEW(24) /* manifest */, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty()) << "no manifest with the identifier Windows looks for";
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find(">false</dpiAware>"), std::string::npos);
  for (const char* system : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                             "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                             "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
    EXPECT_NE(manifest.find(system), std::string::npos) << "supported system " << system;
}

TEST_F(ExecutableResources, ManifestParsesAndLoadsCommonControls6) {
  // The system builds the program's activation context from the manifest;
  // a manifest it cannot read would stop the program from starting.
  ACTCTXW context{};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = path.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE activation = CreateActCtxW(&context);
  ASSERT_NE(activation, INVALID_HANDLE_VALUE) << "the manifest does not parse, error " << GetLastError();
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(ActivateActCtx(activation, &cookie));
  // Under the program's context comctl32 comes from the version 6 assembly
  // (under Wine its DllGetVersion says 5.81 even then, so the file tells).
  HMODULE controls = LoadLibraryW(L"comctl32.dll");
  wchar_t loaded[MAX_PATH] = L"";
  if (controls) GetModuleFileNameW(controls, loaded, MAX_PATH);
  if (controls) FreeLibrary(controls);
  DeactivateActCtx(0, cookie);
  ReleaseActCtx(activation);
  std::wstring file = loaded;
  CharLowerW(file.data());
  EXPECT_NE(file.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
      << "comctl32 came from " << std::string(file.begin(), file.end());
}

TEST_F(ExecutableResources, VersionResourceNamesVersionAndProduct) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(11, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 122));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(11, 1));
  const auto text = [&](const wchar_t* key) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\080403a8\\") + key;
    return VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) && value
               ? std::wstring(value)
               : std::wstring();
  };
  EXPECT_EQ(text(L"FileVersion"), L"1.11.0122");
  EXPECT_EQ(text(L"ProductVersion"), L"1.11.0122");
  EXPECT_FALSE(text(L"ProductName").empty());
  EXPECT_FALSE(text(L"FileDescription").empty());
}

TEST_F(ExecutableResources, ProgramIconHoldsThe48And32And16PixelImages) {
  // The first icon group (resource type 14) is the one Explorer shows for the file.
  ULONG_PTR firstGroup = 0;
  EnumResourceNamesW(image.Get(), MAKEINTRESOURCEW(14), TakeFirstNumberedName,
                     reinterpret_cast<LONG_PTR>(&firstGroup));
  ASSERT_NE(firstGroup, 0u) << "the program file has no icon";
  const std::string group = Resource(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(firstGroup));
  ASSERT_GE(group.size(), 6u + 3 * 14);
  const auto* bytes = reinterpret_cast<const unsigned char*>(group.data());
  ASSERT_EQ(bytes[4] | (bytes[5] << 8), 3) << "three images";
  const int sizes[] = {48, 32, 16};
  for (int i = 0; i < 3; ++i) {
    const unsigned char* entry = bytes + 6 + 14 * i;
    EXPECT_EQ(entry[0], sizes[i]) << "image " << i;
    EXPECT_EQ(entry[6] | (entry[7] << 8), 32) << "image " << i << " bits per pixel";
  }
}

}  // namespace
}  // namespace e2e
