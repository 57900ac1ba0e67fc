# The decoders of compressed HTTP bodies: zlib as Debian builds it (natively
# zlib1g-dev, for Windows libz-mingw-w64-dev), brotli's and zstd's decoders
# built here, static, from the sources scripts/setup.sh fetches.
set(EE_DEPS_DIR "" CACHE PATH "Folder holding the brotli and zstd sources (scripts/setup.sh fetches them)")
if(NOT EE_DEPS_DIR)
  if(DEFINED ENV{BUILD_ROOT})
    set(EE_DEPS_DIR "$ENV{BUILD_ROOT}/deps")
  else()
    set(EE_DEPS_DIR "${PROJECT_SOURCE_DIR}/build/deps")
  endif()
endif()
foreach(marker brotli/c/dec/decode.c zstd/lib/decompress/zstd_decompress.c)
  if(NOT EXISTS "${EE_DEPS_DIR}/${marker}")
    message(FATAL_ERROR "${EE_DEPS_DIR}/${marker} is missing: run scripts/setup.sh (or set EE_DEPS_DIR)")
  endif()
endforeach()

# Outside code: built with its own flags, none of the project's warnings.
set(EE_BROTLI_DIR "${EE_DEPS_DIR}/brotli/c")
file(GLOB EE_BROTLI_SOURCES "${EE_BROTLI_DIR}/common/*.c" "${EE_BROTLI_DIR}/dec/*.c")
add_library(ee_brotli_decoder STATIC ${EE_BROTLI_SOURCES})
target_include_directories(ee_brotli_decoder SYSTEM PUBLIC "${EE_BROTLI_DIR}/include")

set(EE_ZSTD_DIR "${EE_DEPS_DIR}/zstd/lib")
file(GLOB EE_ZSTD_SOURCES "${EE_ZSTD_DIR}/common/*.c" "${EE_ZSTD_DIR}/decompress/*.c")
add_library(ee_zstd_decoder STATIC ${EE_ZSTD_SOURCES})
target_include_directories(ee_zstd_decoder SYSTEM PUBLIC "${EE_ZSTD_DIR}")
# Portable C only (no hand-written assembly, no legacy formats).
target_compile_definitions(ee_zstd_decoder PRIVATE ZSTD_DISABLE_ASM ZSTD_LEGACY_SUPPORT=0)

# The static zlib: the cross targets' folder also holds an import library
# for zlib1.dll, which the program must not need.
if(EE_WINDOWS AND NOT MSVC)
  find_library(EE_ZLIB_LIBRARY NAMES libz.a REQUIRED)
  find_path(EE_ZLIB_INCLUDE zlib.h REQUIRED)
  add_library(ee_zlib INTERFACE)
  target_link_libraries(ee_zlib INTERFACE "${EE_ZLIB_LIBRARY}")
  target_include_directories(ee_zlib SYSTEM INTERFACE "${EE_ZLIB_INCLUDE}")
else()
  find_package(ZLIB REQUIRED)
  add_library(ee_zlib INTERFACE)
  target_link_libraries(ee_zlib INTERFACE ZLIB::ZLIB)
endif()

add_library(ee_compression INTERFACE)
target_link_libraries(ee_compression INTERFACE ee_zlib ee_brotli_decoder ee_zstd_decoder)
