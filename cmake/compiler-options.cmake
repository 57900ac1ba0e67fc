# One place for compiler flags, shared by every target of the project.
add_library(ee_options INTERFACE)
target_include_directories(ee_options INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)

if(MSVC)
  # Sources are UTF-8; the program's texts are GBK (code page 936) in the binary.
  target_compile_options(ee_options INTERFACE /W4 /WX /source-charset:utf-8 /execution-charset:.936 /permissive-)
  target_compile_definitions(ee_options INTERFACE _CRT_SECURE_NO_WARNINGS NOMINMAX WIN32_LEAN_AND_MEAN)
  # The resource script embeds the manifest; the linker's own would collide with it.
  target_link_options(ee_options INTERFACE /MANIFEST:NO)
else()
  target_compile_options(ee_options INTERFACE -Wall -Wextra -Werror -finput-charset=UTF-8)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Clang only knows UTF-8 as execution charset: its native builds (the
    # libFuzzer programs) keep the program's texts in UTF-8.
    target_compile_options(ee_options INTERFACE -Wno-error)
  else()
    target_compile_options(ee_options INTERFACE -fexec-charset=GBK)
  endif()
  if(EE_WINDOWS)
    target_compile_definitions(ee_options INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
    target_link_options(ee_options INTERFACE -static -static-libgcc -static-libstdc++)
  endif()
  if(EE_SANITIZE)
    target_compile_options(ee_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(ee_options INTERFACE -fsanitize=address,undefined)
  endif()
endif()

# The build type of the test trees (scripts/build.sh): the product optimised
# as it ships (the test command packs these trees' program), without debug
# information; test code is compiled lighter still (tests/CMakeLists.txt).
# (A plain variable: project() has already put an empty cache entry there.)
if(NOT MSVC)
  foreach(lang C CXX)
    set(CMAKE_${lang}_FLAGS_TEST "-O2 -DNDEBUG")
  endforeach()
endif()
