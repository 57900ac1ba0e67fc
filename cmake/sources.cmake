# Source sets.  Code with no Win32 in it is listed here by hand so that it can
# also be built natively (sanitizers); everything else under runtime/ and app/
# is picked up by folder.  Files named *_posix.cpp stand in for Win32 services
# in the native build only; files named *_win32.cpp are their Windows twins.
set(EE_PORTABLE_SOURCES
  runtime/core/allocator_common.cpp
  runtime/core/runtime_error_message.cpp
  runtime/core/text_encoding.cpp
  runtime/windows/type_properties.cpp
  runtime/windows/dir_path.cpp
  runtime/windows/template_parser.cpp
  runtime/windows/cursor_file.cpp
  runtime/windows/list_columns.cpp
  runtime/commands/text_commands.cpp
  runtime/commands/value_text.cpp
  runtime/commands/value_bytes.cpp
  runtime/commands/date_time.cpp
  app/extensions/extension_catalogue.cpp
  app/program_state/shared_values.cpp
  runtime/commands/input_value_read.cpp
  runtime/commands/icon_file.cpp
  app/detection/detection_paths.cpp
  app/program_state/watch_rules.cpp
  app/detection/free_name.cpp
  app/watch/change_records.cpp
  app/watch/new_file_ledger.cpp
  app/browser_caches/media_signature.cpp
  app/browser_caches/http_headers.cpp
  app/browser_caches/content_decoding.cpp
  app/browser_caches/body_text.cpp
  app/browser_caches/cache_places.cpp
  app/browser_caches/cache_key.cpp
  app/browser_caches/cache_element.cpp
  app/browser_caches/cache_folder_memory.cpp
  app/browser_caches/cache_folder_kept.cpp
  app/browser_caches/chromium_simple_cache.cpp
  app/browser_caches/chromium_block_files.cpp
  app/browser_caches/chromium_cache.cpp
  app/browser_caches/firefox_cache2.cpp
  app/command_line/scan_arguments.cpp
  app/command_line/scan_report.cpp
  app/command_line/saved_name.cpp
  app/command_line/cache_scan.cpp
  app/command_line/report_rows.cpp
  app/command_line/scan_pairs.cpp
  app/media_list/media_list.cpp
  app/command_line/listed_cache_folder.cpp
  app/browser_caches/chromium_block_owner.cpp
  app/browser_caches/chromium_block_store.cpp
  app/browser_caches/chromium_block_news.cpp
  app/cache_watch/cache_file_names.cpp
  app/cache_watch/look_files.cpp
  app/cache_watch/cache_candidates.cpp
  app/cache_watch/firefox_candidates.cpp
  app/browser_caches/iso_boxes.cpp
  app/streams/playlist_text.cpp
  app/streams/web_address.cpp
  app/streams/segment_address.cpp
  app/streams/stream_budget.cpp
  app/streams/stream_kind.cpp
  app/streams/hls_playlist.cpp
  app/streams/hls_streams.cpp
  app/streams/xml_tokens.cpp
  app/streams/xml_tree.cpp
  app/streams/dash_values.cpp
  app/streams/dash_template.cpp
  app/streams/dash_manifest.cpp
  app/streams/segment_groups.cpp
  app/streams/segment_content.cpp
  app/streams/stream_join.cpp
  app/streams/cache_segment_index.cpp
  app/streams/cache_streams.cpp
  app/streams/cache_stream_reader.cpp
  app/streams/stream_parts.cpp
  app/cache_watch/stream_tracker.cpp
  app/muxing/mp4_track_reader.cpp
  app/muxing/mp4_movie_header.cpp
  app/muxing/mp4_muxer.cpp
  app/muxing/ebml_reader.cpp
  app/muxing/webm_track_reader.cpp
  app/muxing/webm_muxer.cpp
  app/muxing/track_headline.cpp
  app/muxing/track_pairing.cpp
  app/muxing/element_partner.cpp
  app/muxing/cache_track_file.cpp
  app/muxing/presentation_pairs.cpp
  app/muxing/presentation_mux.cpp
  app/media_facts/media_facts.cpp
  app/media_facts/mp4_facts.cpp
  app/media_facts/matroska_facts.cpp
  app/media_facts/mpeg_audio_facts.cpp
  app/media_facts/transport_stream_facts.cpp
  app/media_facts/h264_picture_size.cpp
  app/media_facts/cache_media_facts.cpp
  app/media_facts/media_facts_read.cpp
)
list(TRANSFORM EE_PORTABLE_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)

file(GLOB_RECURSE EE_ALL_PRODUCT_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/runtime/*.cpp ${PROJECT_SOURCE_DIR}/app/*.cpp)
list(FILTER EE_ALL_PRODUCT_SOURCES EXCLUDE REGEX "/app/main\\.cpp$")

set(EE_POSIX_SOURCES ${EE_ALL_PRODUCT_SOURCES})
list(FILTER EE_POSIX_SOURCES INCLUDE REGEX "_posix\\.cpp$")

set(EE_WIN32_SOURCES ${EE_ALL_PRODUCT_SOURCES})
list(FILTER EE_WIN32_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
list(REMOVE_ITEM EE_WIN32_SOURCES ${EE_PORTABLE_SOURCES})
