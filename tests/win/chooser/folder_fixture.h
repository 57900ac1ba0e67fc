// A scratch folder tree under the temporary folder, removed afterwards.
#pragma once

#include <string>

class FolderFixture {
 public:
  FolderFixture();
  FolderFixture(const FolderFixture&) = delete;
  FolderFixture& operator=(const FolderFixture&) = delete;
  ~FolderFixture();

  const std::string& Base() const { return base_; }
  // Creates base\relative (and the folders above it).
  std::string FolderMake(const std::string& relative);
  std::string FileMake(const std::string& relative);

 private:
  std::string base_;
};

// Deletes a folder with everything in it.
void FolderRemoveAll(const std::string& folder);
