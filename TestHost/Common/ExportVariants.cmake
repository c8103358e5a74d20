# qm_add_export_variant(<target> OUTPUT_NAME <file> DEF <def file> OBJECTS <object library>
#                       VARIANT <name> WITHOUT <export>... [LIBS ...])
# A stand-in module built from the same objects as <target> but without the
# named exports: <build>/host-variants/<name>/<file>, standing for a build of
# the module that lacks those functions (a mismatched host). The variant's
# target <target>_<name> joins the custom target QmHostExportVariants.
set(QM_HOST_VARIANT_DIR ${CMAKE_BINARY_DIR}/host-variants CACHE INTERNAL "Stand-in module variants")
if(NOT TARGET QmHostExportVariants)
  add_custom_target(QmHostExportVariants)
endif()

function(qm_add_export_variant target)
  cmake_parse_arguments(A "" "OUTPUT_NAME;DEF;OBJECTS;VARIANT" "WITHOUT;LIBS" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${A_DEF})
  file(READ ${A_DEF} content)
  string(REGEX REPLACE ";[^\n]*" "" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(text "")
  set(dropped 0)
  foreach(line ${lines})
    set(keep TRUE)
    foreach(name ${A_WITHOUT})
      string(FIND "${line}" "\"${name}\"" at)
      if(NOT at EQUAL -1)
        set(keep FALSE)
        math(EXPR dropped "${dropped} + 1")
      endif()
    endforeach()
    if(keep)
      string(APPEND text "${line}\n")
    endif()
  endforeach()
  list(LENGTH A_WITHOUT wanted)
  if(NOT dropped EQUAL wanted)
    message(FATAL_ERROR "qm_add_export_variant(${A_VARIANT}): ${A_DEF} does not export all of ${A_WITHOUT}")
  endif()
  set(def ${CMAKE_CURRENT_BINARY_DIR}/variants/${A_VARIANT}/${A_OUTPUT_NAME}.def)
  file(GENERATE OUTPUT ${def} CONTENT "${text}")
  qm_add_module(${target}_${A_VARIANT} OUTPUT_NAME ${A_OUTPUT_NAME}
    OUTPUT_DIRECTORY ${QM_HOST_VARIANT_DIR}/${A_VARIANT}
    SOURCES $<TARGET_OBJECTS:${A_OBJECTS}> DEF ${def} LIBS ${A_LIBS})
  add_dependencies(QmHostExportVariants ${target}_${A_VARIANT})
endfunction()
