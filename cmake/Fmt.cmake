# {fmt} is used header-only on both hosts: the cross compiler must not see the
# rest of the host's /usr/include, so only the fmt folder is exposed to it.
find_path(DROMIKA_FMT_DIR fmt/printf.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(fmt_include "${CMAKE_BINARY_DIR}/fmt-include")
file(MAKE_DIRECTORY "${fmt_include}")
file(CREATE_LINK "${DROMIKA_FMT_DIR}/fmt" "${fmt_include}/fmt" SYMBOLIC)
add_library(dromika_fmt INTERFACE)
target_include_directories(dromika_fmt SYSTEM INTERFACE "$<BUILD_INTERFACE:${fmt_include}>")
target_compile_definitions(dromika_fmt INTERFACE FMT_HEADER_ONLY)
