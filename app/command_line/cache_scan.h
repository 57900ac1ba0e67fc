// What one cache folder holds of media: the elements of a Chromium or
// Firefox cache folder that are video or audio, the streams its playlists
// and segments make (app/streams/cache_streams.h; their parts are not
// elements of their own), or the files of a plain folder (the old browser
// cache) whose extension is in the built-in video or audio list.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/command_line/scan_arguments.h"
#include "app/command_line/scan_report.h"
#include "app/media_facts/media_facts.h"
#include "app/streams/cache_streams.h"

struct ScannedMedia {
  CacheElement element;
  ReportClass mediaClass = ReportClass::Video;
  std::string extension;  // without the dot
  MediaFacts facts;       // read when the scan's rows are made; empty before
};

enum class CacheFolderKind { None, Chromium, Firefox };

// Chromium when the folder holds either store's index, Firefox when it is a
// cache2 "entries" folder.
CacheFolderKind CacheFolderKindOf(CacheFolder& folder);

// True for stored types that are never media (pages, scripts, styles,
// pictures, fonts): the scan does not read such a body's first bytes.  An
// unknown or generic type (application/octet-stream) is judged by its bytes.
bool StoredTypeRulesOutMedia(std::string_view contentType);

struct ScannedCacheFolder {
  std::vector<ScannedMedia> media;  // in the reader's order
  std::vector<CacheStream> streams;
};

// Told of each video or audio element as soon as it has been read, before
// the folder's streams are known (a segment a stream holds is told too, and
// the final result leaves it out): for a list that shows rows while a large
// folder is read.
using ScannedMediaSeen = std::function<void(const ScannedMedia& media)>;

// The media elements and the streams of a browser cache folder.
ScannedCacheFolder CacheFolderScan(CacheFolder& folder, const ScannedMediaSeen& seen = {});

// The media elements alone.
std::vector<ScannedMedia> CacheMediaElements(CacheFolder& folder);

// The files of a plain folder whose names end in a built-in video or audio
// extension, each as a finished element of one piece (the whole file); the
// old cache's index.dat is not one.
std::vector<ScannedMedia> FolderMediaFiles(CacheFolder& folder);

// The class a file name's extension puts it in (built-in lists, without
// regard to case), with the extension; nothing for other names.
std::optional<ScannedMedia> MediaFileClassOf(std::string_view fileName);

bool ClassWanted(ReportClass mediaClass, ScanClassFilter filter);

ReportClass StreamClassOf(const CacheStream& stream);
