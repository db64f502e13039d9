# Desktop integration for `cmake --install`, and the Debian package that
# `make package` builds from the same install rules with CPack. The files
# themselves live in packaging/: the menu entry, the software centre's
# metainfo, the icons, the manual page and the package's documentation.
include(GNUInstallDirs)

set(TIDWEN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TIDWEN_DOC_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/doc/tidwen)

install(FILES ${TIDWEN_PACKAGING_DIR}/${TIDWEN_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TIDWEN_PACKAGING_DIR}/${TIDWEN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon theme's sizes; tidwen-make-images draws one picture for each.
set(TIDWEN_ICON_SIZES 16 22 24 32 48 64 128 256)
foreach(size IN LISTS TIDWEN_ICON_SIZES)
  install(FILES ${TIDWEN_PACKAGING_DIR}/icons/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${TIDWEN_APP_ID}.png)
endforeach()
install(FILES ${TIDWEN_PACKAGING_DIR}/icons/scalable.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TIDWEN_APP_ID}.svg)

# The manual page and the changelog are installed compressed, as Debian
# expects; -n keeps the name and time out of the archive, so the package is
# the same whenever it is built.
find_program(TIDWEN_GZIP gzip REQUIRED)
set(TIDWEN_PACKAGING_BINARY_DIR ${PROJECT_BINARY_DIR}/packaging)
set(TIDWEN_COMPRESSED_DOCS)
foreach(pair "tidwen.1;tidwen.1" "tidwen-cli.1;tidwen-cli.1" "changelog;changelog")
  list(GET pair 0 source)
  list(GET pair 1 name)
  set(out ${TIDWEN_PACKAGING_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TIDWEN_PACKAGING_BINARY_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${TIDWEN_PACKAGING_DIR}/${source}
            ${TIDWEN_PACKAGING_BINARY_DIR}/${name}
    COMMAND ${TIDWEN_GZIP} -9nf ${TIDWEN_PACKAGING_BINARY_DIR}/${name}
    DEPENDS ${TIDWEN_PACKAGING_DIR}/${source}
    VERBATIM)
  list(APPEND TIDWEN_COMPRESSED_DOCS ${out})
endforeach()
add_custom_target(tidwen_compressed_docs ALL DEPENDS ${TIDWEN_COMPRESSED_DOCS})

install(FILES ${TIDWEN_PACKAGING_BINARY_DIR}/tidwen.1.gz
              ${TIDWEN_PACKAGING_BINARY_DIR}/tidwen-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The command line beside the windows.
install(TARGETS tidwen-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Tidwen is its own upstream, so the package is a native one: Debian wants
# its changelog as changelog.gz, next to the copyright file.
install(FILES ${TIDWEN_PACKAGING_DIR}/copyright ${PROJECT_SOURCE_DIR}/README.md
              ${TIDWEN_PACKAGING_BINARY_DIR}/changelog.gz
        DESTINATION ${TIDWEN_DOC_INSTALL_DIR})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidwen)
set(CPACK_PACKAGE_VENDOR Orvanta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Orvanta <orv@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "junk-file cleaner with a Simplified-Chinese interface")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Tidwen finds junk files on one drive and deletes those you pick. You
choose a drive and the kinds of junk to look for: backup and temporary
files by the end of their name, and empty files. Tidwen walks the whole
drive, lists every junk file by its full path, and deletes the ones you
check after asking you to confirm.
.
It never lists hidden files, links or devices, never leaves the chosen
drive, and leaves the operating system's own directories alone.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tidwen.org)
# The libraries come from dpkg-shlibdeps; the fonts are what the windows'
# Chinese text is drawn in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, fonts-arphic-ukai")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Relocations resolved at start and then made read-only, as Debian builds
# its programs.
target_link_options(tidwen PRIVATE LINKER:-z,relro,-z,now)
target_link_options(tidwen-cli PRIVATE LINKER:-z,relro,-z,now)
# The build keeps its debugging information; the package does not.
set(CPACK_STRIP_FILES ON)
# What the package holds, and all that `make package` builds before CPack.
add_custom_target(tidwen_package_contents)
add_dependencies(tidwen_package_contents tidwen tidwen-cli tidwen_compressed_docs)
# Whatever the builder's umask, the package's directories are 0755.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
