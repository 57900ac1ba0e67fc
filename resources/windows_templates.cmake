# Compiles the window sources into the template block and the generated
# headers in ${PROJECT_BINARY_DIR}/generated.
set(EE_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
set(EE_WINDOW_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/main_window.txt
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/about_window.txt
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/directory_chooser.txt
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/cached_media_window.txt)
set(EE_WINDOW_SOURCE_FILES ${EE_WINDOW_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/windows/about_text.txt)
set(EE_WINDOW_OUTPUTS
  ${EE_GENERATED_DIR}/window_templates.bin
  ${EE_GENERATED_DIR}/window_templates_block.inc
  ${EE_GENERATED_DIR}/window_ids.h
  ${EE_GENERATED_DIR}/window_handlers.inc)

if(CMAKE_CROSSCOMPILING)
  if(NOT EE_HOST_TOOLS_DIR)
    message(FATAL_ERROR "A cross build needs EE_HOST_TOOLS_DIR (a native build's tools folder)")
  endif()
  set(EE_TEMPLATE_COMPILER ${EE_HOST_TOOLS_DIR}/template_compiler)
  set(EE_TEMPLATE_COMPILER_DEPENDS ${EE_TEMPLATE_COMPILER})
else()
  set(EE_TEMPLATE_COMPILER $<TARGET_FILE:template_compiler>)
  set(EE_TEMPLATE_COMPILER_DEPENDS template_compiler)
endif()

# The compiler leaves unchanged files alone (byproducts), so editing one
# window does not rebuild everything that includes the ids; a stamp file
# records the run.
add_custom_command(
  OUTPUT ${EE_GENERATED_DIR}/window_templates.stamp
  BYPRODUCTS ${EE_WINDOW_OUTPUTS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${EE_GENERATED_DIR}
  COMMAND ${EE_TEMPLATE_COMPILER} --out ${EE_GENERATED_DIR} ${EE_WINDOW_SOURCES}
  COMMAND ${CMAKE_COMMAND} -E touch ${EE_GENERATED_DIR}/window_templates.stamp
  DEPENDS ${EE_WINDOW_SOURCE_FILES} ${EE_TEMPLATE_COMPILER_DEPENDS}
  COMMENT "Compiling the window templates"
  VERBATIM)
add_custom_target(ee_window_templates DEPENDS ${EE_GENERATED_DIR}/window_templates.stamp)
