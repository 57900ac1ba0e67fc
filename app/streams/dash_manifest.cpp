#include "app/streams/dash_manifest.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

#include "app/streams/dash_template.h"
#include "app/streams/dash_values.h"
#include "app/streams/playlist_text.h"
#include "app/streams/stream_budget.h"
#include "app/streams/stream_kind.h"
#include "app/streams/web_address.h"
#include "app/streams/xml_tree.h"

namespace {

// A Representation's ancestors that can carry segment information, nearest
// first: the Representation, its AdaptationSet, its Period.
using Chain = std::array<const XmlElement*, 3>;

struct PeriodTiming {
  std::optional<double> duration;  // seconds
};

std::string_view AttributeOr(const XmlElement* element, std::string_view name,
                             std::string_view fallback = {}) {
  if (element == nullptr) return fallback;
  const std::string* value = XmlAttributeFind(*element, name);
  return value != nullptr ? std::string_view(*value) : fallback;
}

std::optional<std::uint64_t> UnsignedAttribute(const XmlElement* element, std::string_view name) {
  if (element == nullptr) return std::nullopt;
  const std::string* value = XmlAttributeFind(*element, name);
  if (value == nullptr) return std::nullopt;
  return PlaylistUnsigned(PlaylistTrimmed(*value));
}

// A signed attribute (S@r may be -1); nothing when absent or malformed.
std::optional<std::int64_t> SignedAttribute(const XmlElement& element, std::string_view name) {
  const std::string* value = XmlAttributeFind(element, name);
  if (value == nullptr) return std::nullopt;
  std::string_view text = PlaylistTrimmed(*value);
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  const auto magnitude = PlaylistUnsigned(text);
  if (!magnitude || *magnitude > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
  const auto number = static_cast<std::int64_t>(*magnitude);
  return negative ? -number : number;
}

class MpdReader {
 public:
  MpdReader(const XmlTree& tree, DashManifest& out, std::uint64_t budgetBytes)
      : tree_(tree), out_(out), budget_(budgetBytes) {}

  void Read(const XmlElement& mpd, std::string_view ownAddress) {
    out_.dynamic = AttributeOr(&mpd, "type") == "dynamic";
    out_.truncated = out_.truncated || tree_.cut;
    const std::optional<std::string> base = BaseOf(mpd, std::string(ownAddress));
    if (!base) return;
    std::vector<const XmlElement*> periods = Children(mpd, "Period");
    const std::vector<PeriodTiming> timings = PeriodTimings(mpd, periods);
    for (std::size_t p = 0; p < periods.size(); ++p) Period(*periods[p], p, timings[p], *base);
  }

  std::uint64_t Held(std::uint64_t budgetBytes) const { return budgetBytes - budget_.Left(); }

 private:
  const XmlElement& At(std::size_t index) const { return tree_.elements[index]; }

  std::vector<const XmlElement*> Children(const XmlElement& parent, std::string_view name) const {
    std::vector<const XmlElement*> found;
    for (const std::size_t child : parent.children) {
      if (At(child).name == name) found.push_back(&At(child));
    }
    return found;
  }

  // The first child of that name.  Remembered: every Representation asks
  // its AdaptationSet and Period, which may have many thousand children.
  const XmlElement* Child(const XmlElement* parent, std::string_view name) const {
    if (parent == nullptr) return nullptr;
    const auto key = std::make_pair(parent, name);
    if (const auto known = childCache_.find(key); known != childCache_.end()) return known->second;
    const XmlElement* found = nullptr;
    for (const std::size_t child : parent->children) {
      if (At(child).name == name) {
        found = &At(child);
        break;
      }
    }
    childCache_.emplace(key, found);
    return found;
  }

  // The first BaseURL below `element` resolved against the parent's base;
  // nothing (and the manifest cut) when it is longer than an address may be.
  std::optional<std::string> BaseOf(const XmlElement& element, const std::string& parentBase) {
    const XmlElement* baseUrl = Child(&element, "BaseURL");
    if (baseUrl == nullptr) return parentBase;
    const std::string_view text = PlaylistTrimmed(baseUrl->text);
    if (text.empty()) return parentBase;
    if (text.size() <= kStreamMaxAddressBytes) {
      std::string base = WebAddressResolve(parentBase, text);
      if (base.size() <= kStreamMaxAddressBytes) return base;
    }
    out_.truncated = true;
    return std::nullopt;
  }

  // Each period's length: its duration, else up to the next one's start,
  // else (the last) up to the end of the presentation.
  std::vector<PeriodTiming> PeriodTimings(const XmlElement& mpd,
                                          const std::vector<const XmlElement*>& periods) {
    std::vector<std::optional<double>> starts;
    std::optional<double> previousEnd = 0.0;
    for (const XmlElement* period : periods) {
      std::optional<double> start = DashDurationSeconds(AttributeOr(period, "start"));
      if (!start) start = previousEnd;
      const auto duration = DashDurationSeconds(AttributeOr(period, "duration"));
      starts.push_back(start);
      previousEnd = start && duration ? std::optional<double>(*start + *duration) : std::nullopt;
    }
    const auto total = DashDurationSeconds(AttributeOr(&mpd, "mediaPresentationDuration"));
    std::vector<PeriodTiming> timings(periods.size());
    for (std::size_t p = 0; p < periods.size(); ++p) {
      timings[p].duration = DashDurationSeconds(AttributeOr(periods[p], "duration"));
      if (timings[p].duration || !starts[p]) continue;
      const std::optional<double> end = p + 1 < periods.size() ? starts[p + 1] : total;
      if (end && *end >= *starts[p]) timings[p].duration = *end - *starts[p];
    }
    return timings;
  }

  void Period(const XmlElement& period, std::size_t index, const PeriodTiming& timing,
              const std::string& mpdBase) {
    const std::optional<std::string> base = BaseOf(period, mpdBase);
    if (!base) return;
    for (const XmlElement* adaptation : Children(period, "AdaptationSet")) {
      const std::optional<std::string> adaptationBase = BaseOf(*adaptation, *base);
      if (!adaptationBase) continue;
      for (const XmlElement* representation : Children(*adaptation, "Representation")) {
        if (out_.streams.size() >= kDashMaxStreams) {
          out_.truncated = true;
          return;
        }
        const std::optional<std::string> representationBase = BaseOf(*representation, *adaptationBase);
        if (!representationBase) continue;
        DashStream stream;
        stream.period = index;
        Representation({representation, adaptation, &period}, timing, *representationBase, stream);
        out_.protectedContent = out_.protectedContent || stream.stream.protectedContent;
        out_.truncated = out_.truncated || stream.stream.truncated;
        out_.streams.push_back(std::move(stream));
      }
    }
  }

  void Representation(const Chain& chain, const PeriodTiming& timing, const std::string& base,
                      DashStream& out) {
    const XmlElement* representation = chain[0];
    const XmlElement* adaptation = chain[1];
    out.representationId = AttributeOr(representation, "id");
    out.mimeType = AttributeOr(representation, "mimeType", AttributeOr(adaptation, "mimeType"));
    out.codecs = AttributeOr(representation, "codecs", AttributeOr(adaptation, "codecs"));
    out.bandwidth = UnsignedAttribute(representation, "bandwidth").value_or(0);
    out.width = UnsignedAttribute(representation, "width")
                    .value_or(UnsignedAttribute(adaptation, "width").value_or(0));
    out.height = UnsignedAttribute(representation, "height")
                     .value_or(UnsignedAttribute(adaptation, "height").value_or(0));
    out.stream.kind = KindOf(chain, out);
    out.stream.seconds = timing.duration;
    out.stream.protectedContent = Child(representation, "ContentProtection") != nullptr ||
                                  Child(adaptation, "ContentProtection") != nullptr;
    // The nearest level with segment information decides the scheme.
    for (const XmlElement* level : chain) {
      if (Child(level, "SegmentTemplate") != nullptr) return TemplateSegments(chain, timing, base, out);
      if (Child(level, "SegmentList") != nullptr) return ListSegments(chain, base, out);
      if (const XmlElement* segmentBase = Child(level, "SegmentBase"))
        return BaseSegments(*segmentBase, base, out);
    }
    Add(out, base, "");  // the Representation is one resource
  }

  StreamKind KindOf(const Chain& chain, const DashStream& stream) const {
    const XmlElement* adaptation = chain[1];
    const std::string_view types[] = {stream.mimeType, AttributeOr(adaptation, "contentType"),
                                      AttributeOr(chain[0], "contentType"),
                                      AttributeOr(Child(adaptation, "ContentComponent"), "contentType")};
    for (const std::string_view type : types) {
      const StreamKind kind = StreamKindOfType(type);
      if (kind != StreamKind::Unknown) return kind;
    }
    return StreamKindOfCodecs(stream.codecs);
  }

  // A SegmentTemplate attribute, inherited level by level.
  std::string_view TemplateAttribute(const Chain& chain, std::string_view name) const {
    for (const XmlElement* level : chain) {
      const XmlElement* segmentTemplate = Child(level, "SegmentTemplate");
      if (segmentTemplate == nullptr) continue;
      if (const std::string* value = XmlAttributeFind(*segmentTemplate, name)) return *value;
    }
    return {};
  }

  const XmlElement* TemplateChild(const Chain& chain, std::string_view name) const {
    for (const XmlElement* level : chain) {
      if (const XmlElement* found = Child(Child(level, "SegmentTemplate"), name)) return found;
    }
    return nullptr;
  }

  // The reference resolved, kept with its folder shared; nothing when it or
  // the result is longer than an address may be.
  // `shortWay`: the maker's base is `base` (see SegmentAddressMaker::SetBase).
  std::optional<SegmentAddress> Resolved(const std::string& base, std::string_view reference,
                                         bool shortWay = false) {
    if (reference.size() > kStreamMaxAddressBytes) return std::nullopt;
    std::optional<SegmentAddress> address;
    if (shortWay) address = addresses_.MakeRelative(reference);
    if (!address) address = addresses_.Make(WebAddressResolve(base, reference));
    if (address->size() > kStreamMaxAddressBytes) return std::nullopt;
    return address;
  }

  // Adds a segment unless a cap or the manifest's byte budget is reached
  // (then marks the stream cut).
  bool Add(DashStream& out, const std::string& base, std::string_view reference,
           std::optional<ByteRange> range = std::nullopt, bool shortWay = false) {
    if (out.stream.segments.size() >= kDashMaxSegmentsPerStream || totalSegments_ >= kDashMaxSegmentsTotal)
      return Cut(out);
    std::optional<SegmentAddress> address = Resolved(base, reference, shortWay);
    if (!address) return Cut(out);
    SegmentRef segment{std::move(*address), range};
    const std::uint64_t folders = addresses_.FolderBytes() - foldersCounted_;
    foldersCounted_ = addresses_.FolderBytes();
    if (!budget_.Spend(SegmentRefCost(segment) + folders)) return Cut(out);
    ++totalSegments_;
    out.stream.segments.push_back(std::move(segment));
    return true;
  }

  bool Cut(DashStream& out) {
    out.stream.truncated = true;
    return false;
  }

  // An init segment's reference, within the address cap.
  std::optional<SegmentRef> InitRef(DashStream& out, const std::string& base, std::string_view reference,
                                    std::optional<ByteRange> range = std::nullopt) {
    std::optional<SegmentAddress> address = Resolved(base, reference);
    if (!address) {
      Cut(out);
      return std::nullopt;
    }
    return SegmentRef{std::move(*address), range};
  }

  void TemplateSegments(const Chain& chain, const PeriodTiming& timing, const std::string& base,
                        DashStream& out) {
    auto number = [&](std::string_view name, std::uint64_t fallback) {
      return PlaylistUnsigned(PlaylistTrimmed(TemplateAttribute(chain, name))).value_or(fallback);
    };
    const std::uint64_t timescale = std::max<std::uint64_t>(number("timescale", 1), 1);
    const std::uint64_t startNumber = number("startNumber", 1);
    const std::uint64_t offset = number("presentationTimeOffset", 0);
    const std::string_view media = TemplateAttribute(chain, "media");
    DashTemplateValues values{out.representationId, out.bandwidth, startNumber, 0};

    std::string_view initPattern = TemplateAttribute(chain, "initialization");
    if (initPattern.empty()) initPattern = AttributeOr(TemplateChild(chain, "Initialization"), "sourceURL");
    // A template longer than an address may be names no segment worth keeping.
    if (initPattern.size() > kStreamMaxAddressBytes || media.size() > kStreamMaxAddressBytes) {
      Cut(out);
      return;
    }
    if (!initPattern.empty()) out.stream.init = InitRef(out, base, DashTemplateFill(initPattern, values));
    if (media.empty()) return;

    addresses_.SetBase(base);
    auto addAt = [&](std::uint64_t segmentNumber, std::uint64_t time) {
      values.number = segmentNumber;
      values.time = time;
      return Add(out, base, DashTemplateFill(media, values), std::nullopt, true);
    };
    // The period's end on the template's time line, where known.
    std::optional<std::uint64_t> periodEnd;
    if (timing.duration) {
      const double end = static_cast<double>(offset) + *timing.duration * static_cast<double>(timescale);
      if (end < 1.8e19) periodEnd = static_cast<std::uint64_t>(end);
    }
    if (const XmlElement* timeline = TemplateChild(chain, "SegmentTimeline")) {
      TimelineSegments(*timeline, periodEnd, startNumber, addAt);
      return;
    }
    const std::uint64_t duration = number("duration", 0);
    if (duration == 0) return;
    std::optional<std::uint64_t> count;
    if (const auto endNumber = PlaylistUnsigned(PlaylistTrimmed(TemplateAttribute(chain, "endNumber")));
        endNumber && *endNumber >= startNumber) {
      count = *endNumber - startNumber + 1;
    } else if (timing.duration) {
      const double segments =
          std::ceil(*timing.duration * static_cast<double>(timescale) / static_cast<double>(duration) - 1e-9);
      count = segments < 1e18 ? static_cast<std::uint64_t>(std::max(segments, 0.0)) : UINT64_MAX;
    }
    if (!count) {
      out.segmentsOpen = true;
      return;
    }
    for (std::uint64_t i = 0; i < *count; ++i) {
      if (i > UINT64_MAX - startNumber || !addAt(startNumber + i, offset + i * duration)) break;
    }
  }

  // S elements: t (start, else where the previous ended), d (duration),
  // r (repeats; -1 up to the next S's t or the period's end).
  template <typename AddAt>
  void TimelineSegments(const XmlElement& timeline, std::optional<std::uint64_t> periodEnd,
                        std::uint64_t number, AddAt& addAt) {
    std::uint64_t time = 0;
    const std::vector<const XmlElement*> entries = Children(timeline, "S");
    for (std::size_t s = 0; s < entries.size(); ++s) {
      const XmlElement& entry = *entries[s];
      if (const auto t = UnsignedAttribute(&entry, "t")) time = *t;
      const std::uint64_t d = UnsignedAttribute(&entry, "d").value_or(0);
      const std::int64_t r = SignedAttribute(entry, "r").value_or(0);
      std::uint64_t repeats = 0;  // after the first
      if (r >= 0) {
        repeats = static_cast<std::uint64_t>(r);
      } else if (d > 0) {
        std::optional<std::uint64_t> end = periodEnd;
        if (s + 1 < entries.size()) {
          if (const auto nextT = UnsignedAttribute(entries[s + 1], "t")) end = nextT;
        }
        if (end && *end > time) repeats = (*end - time - 1) / d;  // segments that start before the end
      }
      for (std::uint64_t i = 0; i <= repeats; ++i) {
        if (!addAt(number, time)) return;
        ++number;
        if (time > UINT64_MAX - d) return;
        time += d;
      }
    }
  }

  // A SegmentList's Initialization and SegmentURLs (from the nearest list
  // that has them).
  void ListSegments(const Chain& chain, const std::string& base, DashStream& out) {
    const XmlElement* list = nullptr;
    const XmlElement* init = nullptr;
    for (const XmlElement* level : chain) {
      const XmlElement* candidate = Child(level, "SegmentList");
      if (candidate == nullptr) continue;
      if (list == nullptr && Child(candidate, "SegmentURL") != nullptr) list = candidate;
      if (init == nullptr) init = Child(candidate, "Initialization");
    }
    if (init != nullptr) out.stream.init = InitializationOf(*init, base, out);
    if (list == nullptr) return;
    for (const XmlElement* url : Children(*list, "SegmentURL")) {
      std::optional<ByteRange> range;
      if (const std::string* rangeText = XmlAttributeFind(*url, "mediaRange")) range = DashByteRange(*rangeText);
      if (!Add(out, base, AttributeOr(url, "media"), range)) return;
    }
  }

  std::optional<SegmentRef> InitializationOf(const XmlElement& init, const std::string& base, DashStream& out) {
    std::optional<ByteRange> range;
    if (const std::string* rangeText = XmlAttributeFind(init, "range")) range = DashByteRange(*rangeText);
    return InitRef(out, base, AttributeOr(&init, "sourceURL"), range);
  }

  // One resource: its initialisation bytes, then the rest (the index and
  // the fragments) as one segment.
  void BaseSegments(const XmlElement& segmentBase, const std::string& base, DashStream& out) {
    if (const std::string* index = XmlAttributeFind(segmentBase, "indexRange"))
      out.indexRange = DashByteRange(*index);
    if (const XmlElement* init = Child(&segmentBase, "Initialization")) {
      out.stream.init = InitializationOf(*init, base, out);
    } else if (out.indexRange && out.indexRange->offset > 0) {
      out.stream.init = InitRef(out, base, "", ByteRange{0, out.indexRange->offset});
    }
    const std::optional<SegmentRef>& init = out.stream.init;
    if (init && init->address == SegmentAddress(base) && init->range && init->range->offset == 0 &&
        init->range->length) {
      Add(out, base, "", ByteRange{*init->range->length, std::nullopt});
    } else {
      Add(out, base, "");
    }
  }

  const XmlTree& tree_;
  DashManifest& out_;
  std::size_t totalSegments_ = 0;
  StreamBudget budget_;
  SegmentAddressMaker addresses_;
  std::uint64_t foldersCounted_ = 0;
  mutable std::map<std::pair<const XmlElement*, std::string_view>, const XmlElement*> childCache_;
};

}  // namespace

std::optional<DashManifest> DashManifestParse(std::string_view text, std::string_view ownAddress,
                                             std::uint64_t budgetBytes) {
  if (text.size() > kDashMaxTextBytes) return std::nullopt;
  const std::optional<XmlTree> tree = XmlTreeBuild(text);
  if (!tree || tree->elements.empty() || tree->elements.front().name != "MPD") return std::nullopt;
  DashManifest manifest;
  MpdReader reader(*tree, manifest, budgetBytes);
  reader.Read(tree->elements.front(), ownAddress);
  manifest.heldBytes = reader.Held(budgetBytes);
  return manifest;
}
