// Segment bytes: the box walk never reads past the bytes, and a verdict on
// an init segment's tracks only comes with the init container.
#include "app/streams/segment_content.h"
#include "tests/fuzz/fuzz_targets.h"

void FuzzSegmentContent(const std::uint8_t* data, std::size_t size) {
  const SegmentContent content = SegmentContentOf({data, size});
  if (content.container != SegmentContainer::Fmp4Init) FUZZ_CHECK(!content.hasVideo && !content.hasAudio);
  const std::string_view extension = StreamJoinedExtension(content, StreamKind::Audio);
  FUZZ_CHECK(extension.empty() == (content.container == SegmentContainer::Unknown ||
                                   content.container == SegmentContainer::Fmp4Fragment));
  if (content.hasVideo) FUZZ_CHECK(extension == "mp4");
}
