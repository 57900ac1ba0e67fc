// DASH manifests: the segment addressing schemes (templates by number and
// by time line, lists, one resource with byte ranges), BaseURL nesting,
// inheritance, protection and the caps; the XML underneath.
#include <gtest/gtest.h>

#include <string>

#include "app/streams/dash_manifest.h"
#include "app/streams/dash_template.h"
#include "app/streams/dash_values.h"
#include "app/streams/xml_tokens.h"
#include "app/streams/xml_tree.h"

namespace {

const char* kOwn = "https://cdn.test/show/ep1/manifest.mpd?sig=9";

DashManifest Parsed(const std::string& text) {
  const auto manifest = DashManifestParse(text, kOwn);
  EXPECT_TRUE(manifest.has_value()) << text;
  return manifest.value_or(DashManifest{});
}

std::string Mpd(const std::string& attributes, const std::string& inside) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" " +
         attributes + ">\n" + inside + "</MPD>\n";
}

TEST(DashManifestTest, NumberTemplatesFillEveryIdentifierUnderNestedBaseUrls) {
  const std::string text =
      Mpd("type=\"static\" mediaPresentationDuration=\"PT9.5S\"",
          "<BaseURL>https://media.test/root/</BaseURL>\n"
          "<Period id=\"p0\"><BaseURL>period/</BaseURL>\n"
          " <AdaptationSet contentType=\"video\" mimeType=\"video/mp4\">\n"
          "  <BaseURL>../video/</BaseURL>\n"
          "  <SegmentTemplate timescale=\"1000\" duration=\"4000\" startNumber=\"7\"\n"
          "     initialization=\"$RepresentationID$/init-$Bandwidth$.mp4\"\n"
          "     media=\"$RepresentationID$/seg-$Number%05d$.m4s?b=$Bandwidth$&amp;x=$$\"/>\n"
          "  <Representation id=\"v720\" bandwidth=\"2400000\" width=\"1280\" height=\"720\""
          " codecs=\"avc1.64001f\"/>\n"
          " </AdaptationSet>\n"
          "</Period>\n");
  const DashManifest manifest = Parsed(text);
  EXPECT_FALSE(manifest.dynamic);
  ASSERT_EQ(manifest.streams.size(), 1u);
  const DashStream& video = manifest.streams[0];
  EXPECT_EQ(video.representationId, "v720");
  EXPECT_EQ(video.bandwidth, 2400000u);
  EXPECT_EQ(video.width, 1280u);
  EXPECT_EQ(video.stream.kind, StreamKind::Video);
  ASSERT_TRUE(video.stream.init.has_value());
  EXPECT_EQ(video.stream.init->address, "https://media.test/root/video/v720/init-2400000.mp4");
  // 9.5 s in segments of 4 s: three, numbered from 7.
  ASSERT_EQ(video.stream.segments.size(), 3u);
  EXPECT_EQ(video.stream.segments[0].address,
            "https://media.test/root/video/v720/seg-00007.m4s?b=2400000&x=$");
  EXPECT_EQ(video.stream.segments[2].address,
            "https://media.test/root/video/v720/seg-00009.m4s?b=2400000&x=$");
  EXPECT_FALSE(video.stream.truncated);
  EXPECT_FALSE(video.segmentsOpen);

  // Without any BaseURL the manifest's own address is the base.
  const DashManifest plain =
      Parsed(Mpd("mediaPresentationDuration=\"PT8S\"",
                 "<Period><AdaptationSet mimeType=\"audio/mp4\"><SegmentTemplate media=\"a_$Number$.m4s\" "
                 "duration=\"4\"/>"
                 "<Representation id=\"a\" bandwidth=\"1\"/></AdaptationSet></Period>"));
  ASSERT_EQ(plain.streams.size(), 1u);
  EXPECT_EQ(plain.streams[0].stream.kind, StreamKind::Audio);
  EXPECT_FALSE(plain.streams[0].stream.init.has_value());
  ASSERT_EQ(plain.streams[0].stream.segments.size(), 2u);
  EXPECT_EQ(plain.streams[0].stream.segments[1].address, "https://cdn.test/show/ep1/a_2.m4s");
}

TEST(DashManifestTest, TimelinesGiveTimesWithRepeatsAndOpenRepeats) {
  const std::string text = Mpd(
      "mediaPresentationDuration=\"PT1M\"",
      "<Period duration=\"PT10S\">\n"
      " <AdaptationSet mimeType=\"video/mp4\">\n"
      "  <SegmentTemplate timescale=\"90000\" media=\"t/$Time$.m4s\" initialization=\"t/init.mp4\">\n"
      "   <SegmentTimeline>\n"
      "    <S t=\"0\" d=\"180000\" r=\"2\"/>\n"       // 0, 180000, 360000
      "    <S d=\"90000\"/>\n"                        // 540000
      "    <S t=\"720000\" d=\"60000\" r=\"-1\"/>\n"  // up to the next t: 720000, 780000
      "    <S t=\"810000\" d=\"30000\" r=\"-1\"/>\n"  // up to the period end 900000: 810000, 840000, 870000
      "   </SegmentTimeline>\n"
      "  </SegmentTemplate>\n"
      "  <Representation id=\"v\" bandwidth=\"1\"/>\n"
      " </AdaptationSet>\n"
      "</Period>\n");
  const DashManifest manifest = Parsed(text);
  ASSERT_EQ(manifest.streams.size(), 1u);
  const auto& segments = manifest.streams[0].stream.segments;
  const char* expected[] = {"0",      "180000", "360000", "540000", "720000",
                            "780000", "810000", "840000", "870000"};
  ASSERT_EQ(segments.size(), std::size(expected));
  for (std::size_t i = 0; i < segments.size(); ++i)
    EXPECT_EQ(segments[i].address, std::string("https://cdn.test/show/ep1/t/") + expected[i] + ".m4s") << i;

  // $Number$ with a timeline counts from startNumber; an open repeat with no
  // end in sight stops after its first segment.
  const DashManifest numbered = Parsed(
      Mpd("type=\"dynamic\"",
          "<Period><AdaptationSet mimeType=\"audio/mp4\"><SegmentTemplate media=\"n$Number$-$Time$.m4s\" "
          "startNumber=\"100\"><SegmentTimeline><S t=\"50\" d=\"10\" r=\"1\"/><S d=\"10\" "
          "r=\"-1\"/></SegmentTimeline>"
          "</SegmentTemplate><Representation id=\"a\"/></AdaptationSet></Period>"));
  EXPECT_TRUE(numbered.dynamic);
  ASSERT_EQ(numbered.streams.size(), 1u);
  const auto& n = numbered.streams[0].stream.segments;
  ASSERT_EQ(n.size(), 3u);
  EXPECT_EQ(n[0].address, "https://cdn.test/show/ep1/n100-50.m4s");
  EXPECT_EQ(n[2].address, "https://cdn.test/show/ep1/n102-70.m4s");
}

TEST(DashManifestTest, TemplatesInheritAttributeByAttributeAndPeriodsSplitStreams) {
  const std::string text = Mpd(
      "mediaPresentationDuration=\"PT20S\"",
      "<Period id=\"a\" duration=\"PT8S\">\n"
      " <SegmentTemplate timescale=\"10\" duration=\"40\" media=\"$RepresentationID$/$Number$.m4s\"/>\n"
      " <AdaptationSet mimeType=\"video/mp4\">\n"
      "  <SegmentTemplate initialization=\"$RepresentationID$/i.mp4\"/>\n"
      "  <Representation id=\"lo\" bandwidth=\"1\"/>\n"
      "  <Representation id=\"hi\" bandwidth=\"2\"><SegmentTemplate startNumber=\"0\"/></Representation>\n"
      " </AdaptationSet>\n"
      "</Period>\n"
      "<Period id=\"b\">\n"  // from 8 s to the end at 20 s
      " <AdaptationSet mimeType=\"video/mp4\"><SegmentTemplate duration=\"6\" media=\"b$Number$.m4s\"/>"
      "<Representation id=\"x\"/></AdaptationSet>\n"
      "</Period>\n");
  const DashManifest manifest = Parsed(text);
  ASSERT_EQ(manifest.streams.size(), 3u);
  const DashStream& lo = manifest.streams[0];
  const DashStream& hi = manifest.streams[1];
  ASSERT_TRUE(lo.stream.init.has_value());
  EXPECT_EQ(lo.stream.init->address, "https://cdn.test/show/ep1/lo/i.mp4");
  ASSERT_EQ(lo.stream.segments.size(), 2u);
  EXPECT_EQ(lo.stream.segments[0].address, "https://cdn.test/show/ep1/lo/1.m4s");
  ASSERT_EQ(hi.stream.segments.size(), 2u);
  EXPECT_EQ(hi.stream.segments[0].address, "https://cdn.test/show/ep1/hi/0.m4s");
  EXPECT_EQ(manifest.streams[2].period, 1u);
  EXPECT_EQ(manifest.streams[2].stream.segments.size(), 2u);  // 12 s in 6 s
  // Each stream lasts as long as its period.
  EXPECT_EQ(lo.stream.seconds, 8.0);
  EXPECT_EQ(manifest.streams[2].stream.seconds, 12.0);

  // A Representation's own list outweighs a template of its Period.
  const DashManifest mixed = Parsed(Mpd(
      "mediaPresentationDuration=\"PT8S\"",
      "<Period><SegmentTemplate duration=\"4\" media=\"t$Number$.m4s\"/><AdaptationSet "
      "mimeType=\"video/mp4\">"
      "<Representation id=\"own\"><SegmentList><SegmentURL media=\"l1.m4s\"/></SegmentList></Representation>"
      "<Representation id=\"inherits\"/></AdaptationSet></Period>"));
  ASSERT_EQ(mixed.streams.size(), 2u);
  EXPECT_EQ(mixed.streams[0].stream.segments,
            (std::vector<SegmentRef>{{"https://cdn.test/show/ep1/l1.m4s", std::nullopt}}));
  EXPECT_EQ(mixed.streams[1].stream.segments.size(), 2u);
}

TEST(DashManifestTest, SegmentListsAndSegmentBaseCarryByteRanges) {
  const std::string text =
      Mpd("mediaPresentationDuration=\"PT30S\"",
          "<Period>\n"
          " <AdaptationSet mimeType=\"video/mp4\">\n"
          "  <Representation id=\"list\" bandwidth=\"1\">\n"
          "   <BaseURL>list/video.mp4</BaseURL>\n"
          "   <SegmentList timescale=\"1\" duration=\"10\">\n"
          "    <Initialization sourceURL=\"init.mp4\" range=\"0-799\"/>\n"
          "    <SegmentURL media=\"part1.m4s\"/>\n"
          "    <SegmentURL mediaRange=\"800-1799\"/>\n"  // no media: the BaseURL itself
          "    <SegmentURL media=\"/abs/part3.m4s\" mediaRange=\"10-19\"/>\n"
          "   </SegmentList>\n"
          "  </Representation>\n"
          "  <Representation id=\"base\" bandwidth=\"2\">\n"
          "   <BaseURL>https://files.test/one.mp4</BaseURL>\n"
          "   <SegmentBase indexRange=\"862-1501\" timescale=\"1000\"><Initialization "
          "range=\"0-861\"/></SegmentBase>\n"
          "  </Representation>\n"
          "  <Representation id=\"index-only\" bandwidth=\"3\">\n"
          "   <BaseURL>two.mp4</BaseURL><SegmentBase indexRange=\"700-999\"/>\n"
          "  </Representation>\n"
          "  <Representation id=\"plain\" bandwidth=\"4\"><BaseURL>three.mp4</BaseURL></Representation>\n"
          " </AdaptationSet>\n"
          "</Period>\n");
  const DashManifest manifest = Parsed(text);
  ASSERT_EQ(manifest.streams.size(), 4u);
  const SegmentedStream& list = manifest.streams[0].stream;
  ASSERT_TRUE(list.init.has_value());
  EXPECT_EQ(list.init->address, "https://cdn.test/show/ep1/list/init.mp4");
  EXPECT_EQ(list.init->range, (ByteRange{0, 800}));
  ASSERT_EQ(list.segments.size(), 3u);
  EXPECT_EQ(list.segments[0].address, "https://cdn.test/show/ep1/list/part1.m4s");
  EXPECT_FALSE(list.segments[0].range.has_value());
  EXPECT_EQ(list.segments[1].address, "https://cdn.test/show/ep1/list/video.mp4");
  EXPECT_EQ(list.segments[1].range, (ByteRange{800, 1000}));
  EXPECT_EQ(list.segments[2].address, "https://cdn.test/abs/part3.m4s");
  EXPECT_EQ(list.segments[2].range, (ByteRange{10, 10}));

  // One resource: its initialisation bytes, then all the rest.
  const DashStream& base = manifest.streams[1];
  EXPECT_EQ(base.indexRange, (ByteRange{862, 640}));
  ASSERT_TRUE(base.stream.init.has_value());
  EXPECT_EQ(base.stream.init->address, "https://files.test/one.mp4");
  EXPECT_EQ(base.stream.init->range, (ByteRange{0, 862}));
  ASSERT_EQ(base.stream.segments.size(), 1u);
  EXPECT_EQ(base.stream.segments[0].address, "https://files.test/one.mp4");
  EXPECT_EQ(base.stream.segments[0].range, (ByteRange{862, std::nullopt}));
  // Without an Initialization the bytes before the index are the init.
  const SegmentedStream& indexOnly = manifest.streams[2].stream;
  ASSERT_TRUE(indexOnly.init.has_value());
  EXPECT_EQ(indexOnly.init->range, (ByteRange{0, 700}));
  EXPECT_EQ(indexOnly.segments.at(0).range, (ByteRange{700, std::nullopt}));
  // No segment information: the Representation is one whole resource.
  const SegmentedStream& plain = manifest.streams[3].stream;
  EXPECT_FALSE(plain.init.has_value());
  ASSERT_EQ(plain.segments.size(), 1u);
  EXPECT_EQ(plain.segments[0], (SegmentRef{"https://cdn.test/show/ep1/three.mp4", std::nullopt}));
}

TEST(DashManifestTest, ProtectionAndKindsAreTakenFromTheirLevels) {
  const std::string text =
      Mpd("mediaPresentationDuration=\"PT4S\" xmlns:cenc=\"urn:mpeg:cenc:2013\"",
          "<Period>\n"
          " <AdaptationSet contentType=\"video\">\n"
          "  <ContentProtection schemeIdUri=\"urn:mpeg:dash:mp4protection:2011\" value=\"cenc\""
          " cenc:default_KID=\"10000000-1000-1000-1000-100000000001\"/>\n"
          "  <ContentProtection schemeIdUri=\"urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed\"/>\n"
          "  <Representation id=\"drm\" bandwidth=\"1\"><BaseURL>v.mp4</BaseURL></Representation>\n"
          " </AdaptationSet>\n"
          " <AdaptationSet>\n"
          "  <Representation id=\"a\" codecs=\"mp4a.40.2\"><BaseURL>a.mp4</BaseURL></Representation>\n"
          "  <Representation id=\"v\" "
          "codecs=\"avc1.4d401f,mp4a.40.2\"><BaseURL>v2.mp4</BaseURL></Representation>\n"
          "  <Representation id=\"t\" "
          "mimeType=\"application/ttml+xml\"><BaseURL>t.ttml</BaseURL></Representation>\n"
          "  <Representation id=\"x\"><BaseURL>x.bin</BaseURL></Representation>\n"
          " </AdaptationSet>\n"
          " <AdaptationSet mimeType=\"audio/mp4\">\n"
          "  <Representation id=\"drm-audio\"><ContentProtection "
          "schemeIdUri=\"urn:mpeg:dash:mp4protection:2011\"/>"
          "<BaseURL>b.mp4</BaseURL></Representation>\n"
          " </AdaptationSet>\n"
          "</Period>\n");
  const DashManifest manifest = Parsed(text);
  EXPECT_TRUE(manifest.protectedContent);
  ASSERT_EQ(manifest.streams.size(), 6u);
  const StreamKind kinds[] = {StreamKind::Video, StreamKind::Audio,   StreamKind::Video,
                              StreamKind::Other, StreamKind::Unknown, StreamKind::Audio};
  const bool protection[] = {true, false, false, false, false, true};
  for (std::size_t i = 0; i < manifest.streams.size(); ++i) {
    EXPECT_EQ(manifest.streams[i].stream.kind, kinds[i]) << manifest.streams[i].representationId;
    EXPECT_EQ(manifest.streams[i].stream.protectedContent, protection[i])
        << manifest.streams[i].representationId;
  }
  const DashManifest clear =
      Parsed(Mpd("", "<Period><AdaptationSet><Representation/></AdaptationSet></Period>"));
  EXPECT_FALSE(clear.protectedContent);
}

TEST(DashManifestTest, BadInputIsRefusedAndTheCapsHold) {
  EXPECT_FALSE(DashManifestParse("", kOwn).has_value());
  EXPECT_FALSE(DashManifestParse("<html><body/></html>", kOwn).has_value());
  EXPECT_FALSE(DashManifestParse("<MPD><Period a=\"1></MPD>", kOwn).has_value());
  EXPECT_TRUE(DashManifestParse("\xEF\xBB\xBF<mpd:MPD xmlns:mpd=\"urn:mpeg:dash:schema:mpd:2011\"/>", kOwn));
  std::string oversized = Mpd("", "");
  oversized.resize(kDashMaxTextBytes + 1, ' ');
  EXPECT_FALSE(DashManifestParse(oversized, kOwn).has_value());

  // A live template by duration has no number of segments.
  const DashManifest live = Parsed(Mpd("type=\"dynamic\"",
                                       "<Period><AdaptationSet mimeType=\"video/mp4\"><SegmentTemplate "
                                       "media=\"$Number$.m4s\" duration=\"2\"/><Representation id=\"v\"/>"
                                       "</AdaptationSet></Period>"));
  ASSERT_EQ(live.streams.size(), 1u);
  EXPECT_TRUE(live.streams[0].segmentsOpen);
  EXPECT_TRUE(live.streams[0].stream.segments.empty());

  // A year in segments of a second, and a timeline repeat beyond any count.
  const DashManifest huge = Parsed(Mpd(
      "mediaPresentationDuration=\"P1Y\"",
      "<Period><AdaptationSet mimeType=\"video/mp4\">"
      "<Representation id=\"a\"><SegmentTemplate media=\"$Number$.m4s\" duration=\"1\"/></Representation>"
      "<Representation id=\"b\"><SegmentTemplate media=\"$Time$.m4s\"><SegmentTimeline>"
      "<S t=\"0\" d=\"1\" r=\"9223372036854775807\"/></SegmentTimeline></SegmentTemplate></Representation>"
      "</AdaptationSet></Period>"));
  ASSERT_EQ(huge.streams.size(), 2u);
  EXPECT_TRUE(huge.truncated);
  // The first stream stops at the count cap; the second at the count cap
  // too, or earlier at the manifest's byte budget where a segment costs
  // more (64-bit).
  EXPECT_EQ(huge.streams[0].stream.segments.size(), kDashMaxSegmentsPerStream);
  const std::size_t second = huge.streams[1].stream.segments.size();
  EXPECT_GT(second, 0u);
  EXPECT_LE(second, kDashMaxSegmentsPerStream);
  EXPECT_LE(huge.heldBytes, kStreamPlaylistBudgetBytes);
  for (const DashStream& stream : huge.streams) EXPECT_TRUE(stream.stream.truncated);
  EXPECT_EQ(huge.streams[1].stream.segments.back().address.Text(),
            "https://cdn.test/show/ep1/" + std::to_string(second - 1) + ".m4s");

  // Elements nested past the depth cap are left out, not followed.
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "<X>";
  for (int i = 0; i < 100; ++i) deep += "</X>";
  const DashManifest nested =
      Parsed(Mpd("", deep + "<Period><AdaptationSet><Representation id=\"r\"/></AdaptationSet></Period>"));
  EXPECT_TRUE(nested.truncated);
  ASSERT_EQ(nested.streams.size(), 1u);  // the Period after the deep nest is still read
}

TEST(XmlTokensTest, TagsAttributesAndTextComeOutDecodedAndTheRestIsSkipped) {
  const std::string text =
      "<?xml version='1.0'?>\n<!DOCTYPE MPD [ <!ENTITY x \"y\"> ]>\n<!-- <MPD> in a comment -->\n"
      "<mpd:MPD a='1 &amp; 2' b = \"&lt;&#65;&#x4E2D;&gt;\" c=\"&unknown; &\">"
      "<![CDATA[<Period>]]>"
      "<BaseURL> https://x.test/?a=1&amp;b=2 </BaseURL><Empty/></mpd:MPD>";
  XmlTokenizer tokenizer(text);
  XmlToken token = tokenizer.Next();
  ASSERT_EQ(token.kind, XmlTokenKind::Start);
  EXPECT_EQ(token.name, "mpd:MPD");
  EXPECT_EQ(XmlLocalName(token.name), "MPD");
  ASSERT_EQ(token.attributes.size(), 3u);
  EXPECT_EQ(token.attributes[0].value, "1 & 2");
  EXPECT_EQ(token.attributes[1].name, "b");
  EXPECT_EQ(token.attributes[1].value, "<A\xE4\xB8\xAD>");
  EXPECT_EQ(token.attributes[2].value, "&unknown; &");
  token = tokenizer.Next();
  ASSERT_EQ(token.kind, XmlTokenKind::Start);
  EXPECT_EQ(token.name, "BaseURL");
  token = tokenizer.Next();
  ASSERT_EQ(token.kind, XmlTokenKind::Text);
  EXPECT_EQ(token.text, " https://x.test/?a=1&b=2 ");
  EXPECT_EQ(tokenizer.Next().kind, XmlTokenKind::End);
  token = tokenizer.Next();
  EXPECT_EQ(token.kind, XmlTokenKind::Start);
  EXPECT_TRUE(token.selfClosing);
  token = tokenizer.Next();
  EXPECT_EQ(token.kind, XmlTokenKind::End);
  EXPECT_EQ(token.name, "mpd:MPD");
  EXPECT_EQ(tokenizer.Next().kind, XmlTokenKind::Finished);

  for (const char* bad : {"<a b=c>", "<a b=\"c>", "<!-- open", "<a <b>", "< a>", "<a></ >", "<![CDATA[x"}) {
    XmlTokenizer broken(bad);
    XmlTokenKind kind;
    int tokens = 0;
    while ((kind = broken.Next().kind) != XmlTokenKind::Finished && kind != XmlTokenKind::Malformed) ++tokens;
    EXPECT_EQ(kind, XmlTokenKind::Malformed) << bad;
    EXPECT_LE(tokens, 1) << bad;
  }
}

TEST(XmlTokensTest, TreeKeepsTextAndChildrenAndAttributeLookupIgnoresPrefixes) {
  const auto tree = XmlTreeBuild("<r x:y=\"1\"><a>one<b/>two</a><c/></r><ignored/>");
  ASSERT_TRUE(tree.has_value());
  ASSERT_EQ(tree->elements.size(), 4u);
  EXPECT_EQ(tree->elements[0].children, (std::vector<std::size_t>{1, 3}));
  EXPECT_EQ(tree->elements[1].text, "onetwo");
  EXPECT_EQ(tree->elements[1].children, (std::vector<std::size_t>{2}));
  ASSERT_NE(XmlAttributeFind(tree->elements[0], "y"), nullptr);
  EXPECT_EQ(*XmlAttributeFind(tree->elements[0], "y"), "1");
  EXPECT_EQ(XmlAttributeFind(tree->elements[0], "x"), nullptr);
  EXPECT_FALSE(tree->cut);
  // A document cut short keeps what it read and says so.
  const auto cut = XmlTreeBuild("<r><a/><b>");
  ASSERT_TRUE(cut.has_value());
  EXPECT_TRUE(cut->cut);
  EXPECT_EQ(cut->elements.size(), 3u);
}

TEST(DashValuesTest, TemplatesDurationsAndRanges) {
  const DashTemplateValues values{"v1", 128000, 42, 900000};
  EXPECT_EQ(DashTemplateFill("$RepresentationID$/$Number$.m4s", values), "v1/42.m4s");
  EXPECT_EQ(DashTemplateFill("$Number%05d$-$Time%012d$-$Bandwidth%3d$", values), "00042-000000900000-128000");
  EXPECT_EQ(DashTemplateFill("$Number%x$/$Number%04X$/$Number%o$", {"", 0, 255, 0}), "ff/00FF/377");
  EXPECT_EQ(DashTemplateFill("a$$b$Unknown$c$Number", values), "a$b$Unknown$c$Number");
  EXPECT_EQ(DashTemplateFill("$RepresentationID%02d$", values), "$RepresentationID%02d$");
  EXPECT_EQ(DashTemplateFill("$Number%099d$", values), "$Number%099d$");  // no absurd widths

  EXPECT_DOUBLE_EQ(DashDurationSeconds("PT1H2M3.5S").value_or(-1), 3723.5);
  EXPECT_DOUBLE_EQ(DashDurationSeconds("P1DT1S").value_or(-1), 86401);
  EXPECT_DOUBLE_EQ(DashDurationSeconds(" PT0.25S ").value_or(-1), 0.25);
  EXPECT_DOUBLE_EQ(DashDurationSeconds("P1M").value_or(-1), 30 * 86400.0);  // months in the date part
  EXPECT_DOUBLE_EQ(DashDurationSeconds("PT1M").value_or(-1), 60);           // minutes in the time part
  for (const char* bad : {"", "P", "PT", "1S", "PT1", "PT1X", "PT-1S", "PT1H1D", "PTT1S", "P99999999999999Y"})
    EXPECT_FALSE(DashDurationSeconds(bad).has_value()) << bad;

  EXPECT_EQ(DashByteRange("0-861"), (ByteRange{0, 862}));
  EXPECT_EQ(DashByteRange("5-5"), (ByteRange{5, 1}));
  for (const char* bad : {"", "5", "5-4", "a-b", "-3", "1-18446744073709551615"})
    EXPECT_FALSE(DashByteRange(bad).has_value()) << bad;
}

}  // namespace
