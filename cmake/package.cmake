# The Linux package (scripts/package-deb.sh): the three programs in
# /usr/bin, their manual pages, the desktop entry and its icon, the README,
# the copyright and the changelog under /usr/share/doc/keldar, and CPack's
# DEB generator that makes keldar_<version>_amd64.deb of them.
include(GNUInstallDirs)

install(TARGETS keldar listtext dataupgrade RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Installed stripped, as Debian's own packages are: no symbols, and no
# .comment and .note sections.
install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment
  --remove-section=.note \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/keldar
  \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/listtext
  \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/dataupgrade
  COMMAND_ERROR_IS_FATAL ANY)")

set(linux ${CMAKE_SOURCE_DIR}/packaging/linux)
install(FILES ${linux}/keldar.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${linux}/keldar.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/keldar)
install(FILES README.md ${linux}/copyright DESTINATION ${doc_dir})

# The changelog's latest entry names the version being packaged: the
# project's VERSION and the package's revision (5.01-1).
file(STRINGS ${linux}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^keldar \\(${PROJECT_VERSION}-([0-9]+)\\) ")
  message(FATAL_ERROR "packaging/linux/changelog starts with \"${changelog_head}\", "
                      "not with an entry for keldar ${PROJECT_VERSION}-<revision>")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_1})

# Manual pages and the changelog go in gzipped, without the file's name and
# time (gzip -n), so the package is the same from build to build.
set(gzipped)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
foreach(source IN ITEMS doc/man/keldar.1 doc/man/listtext.1 doc/man/dataupgrade.1
                        packaging/linux/changelog)
  get_filename_component(name ${source} NAME)
  if(name STREQUAL "changelog")
    set(name changelog.Debian)
  endif()
  set(out ${CMAKE_BINARY_DIR}/package/${name})
  add_custom_command(OUTPUT ${out}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${out}
    COMMAND gzip -9nf ${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND gzipped ${out}.gz)
endforeach()
add_custom_target(keldar_package_files ALL DEPENDS ${gzipped})
list(FILTER gzipped INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${gzipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keldar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Brindlewood <keldar@brindlewood.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "keeps folders identical across computers through a removable drive")
# The extended description; the summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "keldar keeps folders identical across up to four computers that share no
network. The only link between them is a removable drive, the carrier: keldar
started in the carrier folder brings into this computer's folders what the
other computers left on the carrier, then puts this computer's own changes on
the carrier for the others. Every step is written to a log on the carrier.
.
The package holds keldar (a Qt window, or batch runs on the terminal) and its
tools listtext (a file list as text) and dataupgrade (converts a carrier of
the earlier release).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Debian's own libraries, found by dpkg-shlibdeps (Qt's X11 platform plugin
# comes with libqt6gui6). Recommended: Qt's Wayland plugin, and its
# translations, so that the stock choosers speak Russian.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
