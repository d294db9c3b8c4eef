# What is shipped and where it goes, and the packages made of it: a ZIP archive
# of the Windows build (a folder users unpack and run from), a Debian package of
# the Linux build (programs on the PATH, drivers registered by the package).
# Included after every target exists; the probe and the measurement are
# shipped when they are built.

# The drivers' registry entries as the build tree has them, each module named
# by its installed place relative to the registration file: nothing absolute,
# so an installed prefix can be moved as a whole.
function(tandem_install_registration share modules)
  file(RELATIVE_PATH toModules /prefix/${share} /prefix/${modules})
  get_property(entries GLOBAL PROPERTY TANDEM_REGISTRY_ENTRIES)
  string(REGEX REPLACE "\\$<TARGET_FILE:([A-Za-z0-9_-]+)>"
         "${toModules}/$<TARGET_FILE_NAME:\\1>" entries "${entries}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/install/registry.reg
       CONTENT "Windows Registry Editor Version 5.00\n${entries}")
  install(FILES ${CMAKE_BINARY_DIR}/install/registry.reg DESTINATION ${share})
endfunction()

# The copyright file, the changelog and the manual page Debian expects of a
# package, compressed as it expects them.
function(tandem_install_debian_documents)
  set(stage ${CMAKE_BINARY_DIR}/install)
  file(READ LICENSE licence)
  file(WRITE ${stage}/copyright "tandemwav, under the MIT licence:\n\n${licence}")
  configure_file(cmake/debian-changelog.in ${stage}/changelog @ONLY)
  configure_file(docs/tandemwav.1 ${stage}/tandemwav.1 @ONLY)
  configure_file(docs/tandemwav-probe.1 ${stage}/tandemwav-probe.1 @ONLY)
  configure_file(docs/tandemwav-measure.1 ${stage}/tandemwav-measure.1 @ONLY)
  foreach(document changelog tandemwav.1 tandemwav-probe.1 tandemwav-measure.1)
    execute_process(COMMAND gzip -9nc ${stage}/${document} OUTPUT_FILE ${stage}/${document}.gz
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  install(FILES ${stage}/copyright ${stage}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${stage}/tandemwav.1.gz ${stage}/tandemwav-probe.1.gz
                ${stage}/tandemwav-measure.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

set(TANDEM_MAINTAINER "tandemwav authors <tandemwav@example.org>"
    CACHE STRING "The Debian package's Maintainer field")

set(tandemPrograms tandemwav)
foreach(program tandemwav-probe tandemwav-measure)
  if(TARGET ${program})
    list(APPEND tandemPrograms ${program})
  endif()
endforeach()
set(tandemDrivers tandem_loopback)
if(TARGET tandem_jack)
  list(APPEND tandemDrivers tandem_jack)
endif()

# The plain sweep tandemwav plays, and one made by tandemwav-measure sweep with
# its parameters, which analyze needs.
set(tandemExamples examples/sweep.wav examples/measure-sweep.wav examples/measure-sweep.json)
if(WIN32)
  install(TARGETS ${tandemPrograms} RUNTIME DESTINATION .)
  install(TARGETS ${tandemDrivers} LIBRARY DESTINATION .)
  # Windows users open these in Notepad: CRLF line ends.
  configure_file(docs/windows-readme.txt README.txt NEWLINE_STYLE CRLF @ONLY)
  configure_file(LICENSE LICENSE.txt NEWLINE_STYLE CRLF @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt
                ${tandemExamples} DESTINATION .)
  # The manual as the read-me names it, with the README's links to docs/ intact.
  install(FILES README.md DESTINATION .)
  install(DIRECTORY docs/ DESTINATION docs FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tandemwav-${PROJECT_VERSION}-win64)
else()
  get_filename_component(tandemShare ${TANDEM_INSTALL_REGISTRY} DIRECTORY)
  # Private modules: in the multiarch folder where there is one, which also
  # keeps the package's maintainer scripts free of a useless ldconfig.
  set(tandemModules ${CMAKE_INSTALL_LIBDIR}/tandemwav)
  if(CMAKE_INSTALL_LIBDIR STREQUAL "lib" AND CMAKE_LIBRARY_ARCHITECTURE)
    set(tandemModules lib/${CMAKE_LIBRARY_ARCHITECTURE}/tandemwav)
  endif()
  install(TARGETS ${tandemPrograms} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS ${tandemDrivers} LIBRARY DESTINATION ${tandemModules})
  tandem_install_registration(${tandemShare} ${tandemModules})
  install(FILES ${tandemExamples} DESTINATION ${tandemShare}/examples)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs FILES_MATCHING PATTERN "*.md"
          PATTERN "*.png")
  tandem_install_debian_documents()
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME tandemwav)
set(CPACK_PACKAGE_VENDOR "the tandemwav authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "play a WAV file on ASIO outputs while recording the inputs")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TANDEM_MAINTAINER}")
# Each module brings its own libraries: libjack only through the JACK driver.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "tandemwav plays a 32-bit float WAV file on a range of output channels of one
ASIO device while it records a range of input channels of the same device,
block for block on the driver's one buffer clock, for measuring audio systems.
On Linux it comes with a loopback driver that needs no sound card and a JACK
driver for real audio through a JACK or PipeWire server.")
include(CPack)
