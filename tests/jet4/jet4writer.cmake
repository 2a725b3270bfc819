# The Jet 4 writer library. Both the tests here and tools/mdbwrite include this
# file, whichever CMake reaches first defines the target.
include_guard(GLOBAL)
file(GLOB JET4WRITER_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
list(FILTER JET4WRITER_SOURCES EXCLUDE REGEX "_test\\.cpp$")
add_library(jet4writer STATIC ${JET4WRITER_SOURCES})
project_warnings(jet4writer)
target_include_directories(jet4writer PUBLIC ${CMAKE_CURRENT_LIST_DIR})
