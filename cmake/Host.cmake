# Picks the host-specific half of a unit: Foo_win32.cpp on Windows, Foo_posix.cpp elsewhere.
if(WIN32)
  set(DROMIKA_HOST_SUFFIX win32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # One self-contained executable: wine then needs no MinGW runtime DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  set(DROMIKA_HOST_SUFFIX posix)
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
endif()

# dromika_host_sources(target Foo Bar): adds Foo_<host>.cpp and Bar_<host>.cpp.
function(dromika_host_sources target)
  foreach(unit IN LISTS ARGN)
    target_sources(${target} PRIVATE ${unit}_${DROMIKA_HOST_SUFFIX}.cpp)
  endforeach()
endfunction()

# Every executable carries the build's file version: a version resource on
# Windows, with the application manifest beside it; on Linux
# platform/Program_posix.cpp stamps an ELF section.
function(dromika_version_resource target)
  if(WIN32)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/Version.rc.in ${CMAKE_BINARY_DIR}/Version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/Version.rc)
  endif()
endfunction()
