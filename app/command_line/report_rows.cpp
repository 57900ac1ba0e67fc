#include "app/command_line/report_rows.h"

ReportRow ReportRowOf(const ScannedMedia& media, std::string_view browser, std::string_view folder,
                      std::optional<ReportTime> lastWritten) {
  ReportRow row;
  row.webAddress = media.element.webAddress;
  row.mediaType = media.element.contentType;
  row.extension = media.extension;
  row.mediaClass = media.mediaClass;
  row.fullLength = media.element.fullLength;
  row.presentBytes = PresentLength(media.element);
  row.complete = IsComplete(media.element);
  row.browser = std::string(browser);
  row.cacheFolder = std::string(folder);
  row.lastWritten = lastWritten;
  row.facts = media.facts;
  return row;
}

ReportRow ReportRowOfStream(const CacheStream& stream, std::string_view browser, std::string_view folder,
                            std::optional<ReportTime> lastWritten) {
  ReportRow row;
  row.webAddress = stream.address;
  row.mediaType = stream.mediaType;
  row.extension = stream.extension;
  row.mediaClass = StreamClassOf(stream);
  // The joined file's length is known once every segment is there.
  if (stream.plan.complete) row.fullLength = stream.presentBytes;
  row.presentBytes = stream.presentBytes;
  row.complete = stream.plan.complete;
  row.browser = std::string(browser);
  row.cacheFolder = std::string(folder);
  row.lastWritten = lastWritten;
  ReportStream segments;
  switch (stream.origin) {
    case CacheStreamOrigin::Hls:
      segments.kind = ReportStreamKind::Hls;
      break;
    case CacheStreamOrigin::Dash:
      segments.kind = ReportStreamKind::Dash;
      break;
    case CacheStreamOrigin::SegmentGroup:
      segments.kind = ReportStreamKind::Segments;
      break;
  }
  segments.presentSegments = stream.plan.present;
  segments.totalSegments = stream.plan.total;
  segments.encrypted = stream.protectedContent;
  segments.cutShort = stream.cutShort;
  row.stream = segments;
  return row;
}
