// A segment's address as the readers keep it: the folder it shares with the
// segments before it ("https://cdn.test/very/long/path/") held once, and
// its own rest ("00012.m4s").  A manifest of 100,000 segments under one
// long base then holds the base once, not 100,000 times.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class SegmentAddress {
 public:
  SegmentAddress() = default;
  // The whole address as the rest, no shared folder (literals, tests, groups).
  SegmentAddress(std::string whole) : rest_(std::move(whole)) {}
  SegmentAddress(const char* whole) : rest_(whole) {}
  SegmentAddress(std::shared_ptr<const std::string> folder, std::string rest)
      : folder_(std::move(folder)), rest_(std::move(rest)) {}

  std::string Text() const { return folder_ ? *folder_ + rest_ : rest_; }
  operator std::string() const { return Text(); }
  std::size_t size() const { return (folder_ ? folder_->size() : 0) + rest_.size(); }
  bool empty() const { return size() == 0; }
  // Bytes this address holds of its own: the shared folder is not counted.
  std::size_t OwnBytes() const { return rest_.size(); }
  const std::shared_ptr<const std::string>& Folder() const { return folder_; }

  friend bool operator==(const SegmentAddress& a, const SegmentAddress& b);

 private:
  std::shared_ptr<const std::string> folder_;
  std::string rest_;
};

// Makes the addresses of one playlist, sharing each folder with the
// address before it when they agree.
class SegmentAddressMaker {
 public:
  SegmentAddress Make(std::string whole);
  // The address MakeRelative resolves against.  Resolving in full reads the
  // whole base for every segment; under a long base and a hundred thousand
  // segments that is most of a manifest's cost, so the base is read once here.
  void SetBase(std::string_view base);
  // `reference` under the base when it is a plain relative path ("0/12.m4s":
  // no scheme, query, fragment, dot segment, backslash or blank) and the base
  // has a folder free of dot segments; then it equals resolving in full.
  // Nothing otherwise: resolve in full and Make it.
  std::optional<SegmentAddress> MakeRelative(std::string_view reference);
  // Bytes of folders made so far (each counted once).
  std::size_t FolderBytes() const { return folderBytes_; }

 private:
  std::shared_ptr<const std::string> folder_;
  std::size_t folderBytes_ = 0;
  std::string baseFolder_;  // empty: no short way
  std::string relativeDir_;
  std::shared_ptr<const std::string> relativeFolder_;  // baseFolder_ + relativeDir_
};
