// The scan's report as spreadsheet programs read it: UTF-8 with a byte
// order mark, a header line, one line per media element or stream, CRLF
// line ends.  A stream's row keeps the byte columns (its joined bytes) and
// fills five more columns that a file's row leaves empty: the kind of
// stream, its segments present, its segments in all, whether it is
// encrypted, and whether it was cut short (its playlist named more than
// the readers keep).  Then a column names the other track of a row's
// presentation (picture or sound joined with it into one file), and the
// last three give what the media's headers say: its length in seconds, its
// picture's size and its codecs (empty where unknown).  Counts stay numbers
// of their own (a "3/8" would turn into a date in a spreadsheet).
// Comma-separated fields are quoted as RFC 4180 says (a field holding a
// comma, a quote, CR or LF is put in quotes, its quotes doubled);
// tab-separated ones likewise when they hold a tab, a quote, CR or LF.
// The cache's texts are a server's choice: a field a spreadsheet would take
// for a formula (starting with "=", "+", "-", "@", a tab or CR) gets a "'"
// before it, and the media type keeps only the characters a media type may
// hold.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/media_facts/media_facts.h"

enum class ReportSeparator : char { Comma = ',', Tab = '\t' };

enum class ReportClass { Video, Audio };

// Calendar parts of a local time.
struct ReportTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

enum class ReportStreamKind { Hls, Dash, Segments };

// What a stream's row says beyond a file's.
struct ReportStream {
  ReportStreamKind kind = ReportStreamKind::Hls;
  std::uint64_t presentSegments = 0;
  std::uint64_t totalSegments = 0;
  bool encrypted = false;
  bool cutShort = false;
};

// One element or stream; every text in UTF-8.
struct ReportRow {
  std::string webAddress;  // empty when the cache does not name it (a file of the old cache folder)
  std::string mediaType;   // the stored Content-Type
  std::string extension;   // without the dot
  ReportClass mediaClass = ReportClass::Video;
  std::optional<std::uint64_t> fullLength;  // empty field when unknown
  std::uint64_t presentBytes = 0;
  bool complete = false;
  std::string browser;
  std::string cacheFolder;
  std::optional<ReportTime> lastWritten;  // empty field when unknown
  std::optional<ReportStream> stream;     // empty fields for a file
  std::string partner;                    // the other track of its presentation; empty for none
  MediaFacts facts;                       // length, picture size, codecs
};

// The field as it stands between separators.
std::string ReportFieldQuoted(std::string_view field, ReportSeparator separator);
// The field with a "'" before it when a spreadsheet would evaluate it.
std::string ReportFieldDefused(std::string_view field);
// "type/subtype" of a stored Content-Type: parameters dropped, every
// character that is not a token character (RFC 9110 5.6.2) left out;
// empty when no type and subtype are left.
std::string ReportMediaTypeCleaned(std::string_view contentType);
// "YYYY-MM-DD HH:MM:SS".
std::string ReportTimeText(const ReportTime& time);
// The whole file: byte order mark, header line, the rows.
std::string ReportText(const std::vector<ReportRow>& rows, ReportSeparator separator);
