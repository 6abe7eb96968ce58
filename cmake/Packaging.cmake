# What `cpack` packs (tools/package.sh): on Linux a .deb with the three
# programs and the collector's service; on Windows a .zip with the programs
# and the client library, its headers and a CMake package configuration
# (find_package(DromikaClient), target DromikaClient::client).
include(GNUInstallDirs)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

install(TARGETS DromikaCmd tally-client RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(WIN32)
  set(docdir .)
else()
  set(docdir share/doc/dromika)
endif()
install(FILES README.md DESTINATION ${docdir})

if(WIN32)
  # The headers an application includes, and those they include.
  set(client_headers
    client/TallyClient.h client/ServerProcess.h
    Common/AnalyticsCalls.h Common/EventNames.h Common/grammar_Tuple.h Common/grammar_Type.h
    runtime/ByteStream.h runtime/Connection.h runtime/Convert.h runtime/Sequence.h runtime/SourceStamps.h
    runtime/Status.h)
  foreach(header IN LISTS client_headers)
    get_filename_component(folder ${header} DIRECTORY)
    install(FILES ${header} DESTINATION include/${folder})
  endforeach()
  set_target_properties(tally_client PROPERTIES EXPORT_NAME client)
  install(TARGETS tally_client common platform runtime dromika_fmt EXPORT DromikaClientTargets
    ARCHIVE DESTINATION lib INCLUDES DESTINATION include)
  set(config_dir lib/cmake/DromikaClient)
  install(EXPORT DromikaClientTargets NAMESPACE DromikaClient:: DESTINATION ${config_dir})
  # zlib is linked statically into the runtime; the zip carries it so that
  # an application needs nothing else.
  install(FILES ${ZLIB_LIBRARY_RELEASE} DESTINATION lib RENAME libdromika_z.a)
  # Install strips executables only; the archives lose their debug sections here.
  install(CODE "set(dromika_strip \"${CMAKE_STRIP}\")")
  install(CODE [[
    if(CMAKE_INSTALL_DO_STRIP)
      file(GLOB archives "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/*.a")
      execute_process(COMMAND ${dromika_strip} --strip-debug ${archives} COMMAND_ERROR_IS_FATAL ANY)
    endif()]])
  include(CMakePackageConfigHelpers)
  configure_package_config_file(${packaging}/windows/DromikaClientConfig.cmake.in
    ${CMAKE_BINARY_DIR}/DromikaClientConfig.cmake INSTALL_DESTINATION ${config_dir})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/DromikaClientConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/DromikaClientConfig.cmake ${CMAKE_BINARY_DIR}/DromikaClientConfigVersion.cmake
    DESTINATION ${config_dir})

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME dromika-${PROJECT_VERSION}-win64)
elseif(DROMIKA_COLLECTOR)
  install(TARGETS dromika-collector RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${packaging}/debian/dromika-collector.service DESTINATION lib/systemd/system)
  install(FILES ${packaging}/debian/dromika-collector.default DESTINATION /etc/default
    RENAME dromika-collector)
  install(FILES ${packaging}/debian/copyright DESTINATION ${docdir})
  configure_file(${packaging}/debian/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
  execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/packaging/changelog
    OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION ${docdir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # libcurl is opened when the first upload starts, so no linker sees it.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging}/debian/conffiles
    ${packaging}/debian/postinst ${packaging}/debian/prerm ${packaging}/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

set(CPACK_PACKAGE_NAME dromika)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Dromika maintainers <maintainers@dromika.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "machine reports, usage analytics and the collector that receives them")
set(CPACK_PACKAGE_DESCRIPTION "DromikaCmd writes a report of a machine and serves a client application's
analytics calls; tally-client drives it from a script. dromika-collector
receives the documents over HTTP, keeps them in SQLite or PostgreSQL and
shows them as pages and JSON; dromika-collector.service runs it.")
set(CPACK_STRIP_FILES ON)
include(CPack)
