#include "tests/e2e/driver/program.h"

#include "tests/e2e/driver/gbk.h"

namespace e2e {

std::wstring ProductExecutable() { return PathFromEnvironment(L"EE_PRODUCT_EXE"); }

std::wstring ProgramUnderTest::ExecutablePath() const {
  return ProgramFolder() + L"\\" + FileNameOf(setup_.executable);
}

bool ProgramUnderTest::Start(const ProgramSetup& setup) {
  setup_ = setup;
  error_.clear();
  if (!sandbox_.Valid()) {
    error_ = "no sandbox folder could be made";
    return false;
  }
  if (setup_.executable.empty()) {
    error_ = "no program given (is EE_PRODUCT_EXE set?)";
    return false;
  }
  if (!sandbox_.CopyIn(setup_.executable, setup_.programFolder + L"\\" + FileNameOf(setup_.executable))) {
    error_ = "cannot copy " + GbkFromWide(setup_.executable) + " into the sandbox";
    return false;
  }
  if (setup_.settings && !sandbox_.WriteFile(setup_.programFolder + L"\\setting.ini", *setup_.settings)) {
    error_ = "cannot write setting.ini";
    return false;
  }
  if (!sandbox_.MakeFolder(setup_.homeFolder)) {
    error_ = "cannot make the home folder";
    return false;
  }
  return Launch();
}

bool ProgramUnderTest::Restart() {
  process_.Kill();
  return Launch();
}

bool ProgramUnderTest::Launch() {
  // HOMEDRIVE is the drive ("C:"), HOMEPATH the rest ("\users\...\home").
  const std::wstring home = HomeFolder();
  LaunchOptions options;
  options.executable = ExecutablePath();
  options.arguments = setup_.arguments;
  options.workingFolder = setup_.workingFolder.empty() ? std::wstring() : sandbox_.Path(setup_.workingFolder);
  options.environment = {{L"HOMEDRIVE", home.substr(0, 2)}, {L"HOMEPATH", home.substr(2)}};
  options.environment.insert(options.environment.end(), setup_.environment.begin(), setup_.environment.end());
  if (!process_.Start(options)) {
    error_ = process_.Error();
    return false;
  }
  return true;
}

}  // namespace e2e
