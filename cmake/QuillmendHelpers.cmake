# What a crashed Windows program leaves in its output: Wine's report of an
# unhandled exception or fault ("wine: Unhandled page fault on ...", the
# debugger's "Unhandled exception: ...") and the test main's own line
# ("Unhandled exception 0x... at address ..."). A test whose output holds one
# has failed, whatever its exit code says.
set(QM_CRASH_OUTPUT_REGEX "wine: Unhandled |Unhandled exception")

# qm_add_gtest(<name> SOURCES ... [LIBS ...] [DEPENDS ...] [WORKING_DIRECTORY dir]
#              [TIMEOUT seconds] [PROPERTIES name value ...] [WILL_FAIL] [OWN_MAIN])
# A GoogleTest program run under Wine, one CTest test per GoogleTest test.
# The shared main (Tests/Support/TestMain.cpp) ends the program with a
# non-zero exit code on any unhandled exception or fault, and a crash report
# in the output fails the test as well. A skipped test is reported as skipped.
# WILL_FAIL marks every test of the program as expected to fail (programs
# that prove the crash net). OWN_MAIN leaves out the shared main: such a
# program must end non-zero on a crash itself.
function(qm_add_gtest name)
  cmake_parse_arguments(A "OWN_MAIN;WILL_FAIL" "WORKING_DIRECTORY;TIMEOUT" "SOURCES;LIBS;DEPENDS;PROPERTIES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE gtest gmock ${A_LIBS})
  if(NOT A_OWN_MAIN)
    target_link_libraries(${name} PRIVATE QmTestMain)
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/Source ${CMAKE_SOURCE_DIR})
  if(A_DEPENDS)
    add_dependencies(${name} ${A_DEPENDS})
  endif()
  if(NOT A_WORKING_DIRECTORY)
    set(A_WORKING_DIRECTORY ${QM_BIN_DIR})
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set(properties TIMEOUT ${A_TIMEOUT}
                 FAIL_REGULAR_EXPRESSION "${QM_CRASH_OUTPUT_REGEX}"
                 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
                 ${A_PROPERTIES})
  if(A_WILL_FAIL)
    list(APPEND properties WILL_FAIL TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${A_WORKING_DIRECTORY}
    PROPERTIES ${properties})
endfunction()

# qm_add_module(<target> OUTPUT_NAME <file name> SOURCES ... [DEF file] [LIBS ...] [OUTPUT_DIRECTORY dir]
#               [INCLUDES dir...])
# A Windows DLL with an exact file name (".dll" or ".bpl"); exports come from
# the .def file so that names such as "@Sysutils@Exception@..." keep every "@".
# Its include path is INCLUDES, by default Source/ and the project root (for
# Quillmend's own modules; stand-in modules pass TestHost/ only).
function(qm_add_module target)
  cmake_parse_arguments(A "" "OUTPUT_NAME;DEF;OUTPUT_DIRECTORY" "SOURCES;LIBS;INCLUDES" ${ARGN})
  if(NOT A_INCLUDES)
    set(A_INCLUDES ${CMAKE_SOURCE_DIR}/Source ${CMAKE_SOURCE_DIR})
  endif()
  add_library(${target} SHARED ${A_SOURCES})
  get_filename_component(base ${A_OUTPUT_NAME} NAME_WE)
  get_filename_component(ext ${A_OUTPUT_NAME} LAST_EXT)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${base} SUFFIX ${ext})
  if(A_OUTPUT_DIRECTORY)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${A_OUTPUT_DIRECTORY}
                                               LIBRARY_OUTPUT_DIRECTORY ${A_OUTPUT_DIRECTORY})
  endif()
  target_include_directories(${target} PRIVATE ${A_INCLUDES})
  if(A_DEF)
    target_sources(${target} PRIVATE ${A_DEF})
  endif()
  if(A_LIBS)
    target_link_libraries(${target} PRIVATE ${A_LIBS})
  endif()
endfunction()

# Adds every immediate subdirectory of <dir> that has a CMakeLists.txt.
function(qm_add_subdirectories dir)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${dir}/*/CMakeLists.txt)
  list(SORT children)
  foreach(child ${children})
    get_filename_component(childdir ${child} DIRECTORY)
    add_subdirectory(${childdir})
  endforeach()
endfunction()
