# Install rules, the Windows version resource and manifest, the manual page, and the CPack packages.
# The one version is PROJECT_VERSION, from the project() line of the top CMakeLists.txt.

include(GNUInstallDirs)

set(MDIFF_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging)
cmake_path(NORMAL_PATH MDIFF_PACKAGING_DIR)
set(CPACK_PACKAGE_VENDOR "mdiff developers")
set(MDIFF_PACKAGE_CONTACT "mdiff developers <mdiff@example.org>" CACHE STRING
    "Maintainer named in the Debian package")

# The licence: LICENSE at the top of the tree is the one text; its copyright line also goes into
# the Windows version resource and the Debian copyright file.
set(MDIFF_LICENSE_FILE ${PROJECT_SOURCE_DIR}/LICENSE)
file(STRINGS ${MDIFF_LICENSE_FILE} MDIFF_COPYRIGHT REGEX "^Copyright \\(c\\) ")
list(LENGTH MDIFF_COPYRIGHT MDIFF_COPYRIGHT_LINES)
if(NOT MDIFF_COPYRIGHT_LINES EQUAL 1)
  message(FATAL_ERROR "LICENSE must hold exactly one 'Copyright (c) ' line")
endif()
# Configuring reads LICENSE and packaging/changelog: an edit of either configures again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${MDIFF_LICENSE_FILE} ${MDIFF_PACKAGING_DIR}/changelog)

# ---- Windows: version resource and application manifest ----
# The manifest asks for the caller's rights (asInvoker), so Windows neither prompts for elevation
# nor guesses that the program is an installer. It lists no supportedOS entries on purpose: they
# would change what GetVersionExA reports for the machine description in the run log.
if(WIN32)
  enable_language(RC)
  set(MDIFF_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(MDIFF_MANIFEST_FILE ${CMAKE_CURRENT_BINARY_DIR}/mdiff.manifest)
  configure_file(${MDIFF_PACKAGING_DIR}/mdiff.manifest.in ${MDIFF_MANIFEST_FILE} @ONLY)
  configure_file(${MDIFF_PACKAGING_DIR}/mdiff.rc.in ${CMAKE_CURRENT_BINARY_DIR}/mdiff.rc @ONLY)
  target_sources(mdiff PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/mdiff.rc)
  # windres reads the manifest itself; the build must know that the resource depends on it.
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/mdiff.rc PROPERTIES
    OBJECT_DEPENDS ${MDIFF_MANIFEST_FILE})
endif()

# ---- Install rules ----
# Windows has no shared documentation folder: the README sits at the top of the installed tree.
if(WIN32)
  set(MDIFF_INSTALL_DOCDIR "." CACHE STRING "Folder of the README, relative to the prefix")
else()
  set(MDIFF_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR} CACHE STRING "Folder of the README, relative to the prefix")
endif()
install(TARGETS mdiff RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${MDIFF_LICENSE_FILE} DESTINATION ${MDIFF_INSTALL_DOCDIR})

# The manual page, for Linux only; installed compressed, as Debian keeps manual pages.
if(NOT WIN32)
  # string(TIMESTAMP) honours SOURCE_DATE_EPOCH, for reproducible packages.
  string(TIMESTAMP MDIFF_MAN_DATE "%Y-%m-%d" UTC)
  set(MDIFF_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/mdiff.1)
  configure_file(${MDIFF_PACKAGING_DIR}/mdiff.1.in ${MDIFF_MAN_PAGE} @ONLY)
  # gzip compresses the manual page and the Debian changelog.
  find_program(MDIFF_GZIP gzip REQUIRED)
  # -n leaves the name and time out of the header, so the bytes depend on the page alone.
  add_custom_command(OUTPUT ${MDIFF_MAN_PAGE}.gz
    COMMAND ${MDIFF_GZIP} -9 -n -k -f ${MDIFF_MAN_PAGE}
    DEPENDS ${MDIFF_MAN_PAGE}
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(mdiff_manpage ALL DEPENDS ${MDIFF_MAN_PAGE}.gz)
  install(FILES ${MDIFF_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# ---- Debian documents: copyright file and changelog ----
# The copyright file is LICENSE in the machine-readable format, the MIT text under Debian's name
# for it (Expat). packaging/changelog is in the Debian format; its top entry must name the project's
# version, so a version bump without a changelog entry stops here.
function(configure_debian_docs)
  file(STRINGS ${MDIFF_LICENSE_FILE} license_lines)
  list(FIND license_lines "${MDIFF_COPYRIGHT}" copyright_index)
  math(EXPR body_start "${copyright_index} + 2")
  list(SUBLIST license_lines ${body_start} -1 body_lines)
  string(REGEX REPLACE "^Copyright \\(c\\) " "" holders "${MDIFF_COPYRIGHT}")
  set(text "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")
  string(APPEND text "Upstream-Name: mdiff\n\nFiles: *\nCopyright: ${holders}\nLicense: Expat\n")
  foreach(line IN LISTS body_lines)
    if(line STREQUAL "")
      string(APPEND text " .\n")
    else()
      string(APPEND text " ${line}\n")
    endif()
  endforeach()
  set(MDIFF_DEB_COPYRIGHT ${CMAKE_CURRENT_BINARY_DIR}/deb/copyright)
  file(CONFIGURE OUTPUT ${MDIFF_DEB_COPYRIGHT} CONTENT "${text}" @ONLY)

  set(changelog ${MDIFF_PACKAGING_DIR}/changelog)
  file(STRINGS ${changelog} top_line LIMIT_COUNT 1)
  if(NOT top_line MATCHES "^mdiff \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: the top entry is '${top_line}', not version ${PROJECT_VERSION}")
  endif()
  set(MDIFF_DEB_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/deb/changelog.gz)
  add_custom_command(OUTPUT ${MDIFF_DEB_CHANGELOG}
    COMMAND ${MDIFF_GZIP} -9 -n -c ${changelog} > ${MDIFF_DEB_CHANGELOG}
    DEPENDS ${changelog}
    COMMENT "Compressing the Debian changelog")
  add_custom_target(mdiff_deb_changelog ALL DEPENDS ${MDIFF_DEB_CHANGELOG})

  set(MDIFF_DEB_DOCS_SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/deb-docs.cmake)
  configure_file(${MDIFF_PACKAGING_DIR}/deb-docs.cmake.in ${MDIFF_DEB_DOCS_SCRIPT} @ONLY)
  configure_file(${MDIFF_PACKAGING_DIR}/cpack-config.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/cpack-config.cmake @ONLY)
endfunction()

# ---- CPack: ZIP on Windows, TGZ and DEB on Linux ----
set(CPACK_PACKAGE_NAME mdiff)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT ${MDIFF_PACKAGE_CONTACT})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR "TGZ;DEB")
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
  # mdiff_VERSION_ARCH.deb, the Debian way of naming.
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The library dependencies (libc6, libstdc++6, ...) are read off the executable.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # CPack puts the summary line above this text.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "mdiff writes a difference file exactly as long as the new file, byte i being
new[i] - old[i] modulo 256, proves it at once by rebuilding the new file, and
applies it to a source file. It also upgrades the product executable zel.exe
in the current directory from zel.diff.")
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/cpack-config.cmake)
  configure_debian_docs()
endif()
include(CPack)
