# Desktop integration for `cmake --install`. The files themselves live in
# packaging/: the menu entry, the software centre's metainfo, the icons, the
# manual page and the documentation a Debian package carries.
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
foreach(pair "tidwen.1;tidwen.1" "changelog;changelog")
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
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Tidwen is its own upstream, so the package is a native one: Debian wants
# its changelog as changelog.gz, next to the copyright file.
install(FILES ${TIDWEN_PACKAGING_DIR}/copyright ${PROJECT_SOURCE_DIR}/README.md
              ${TIDWEN_PACKAGING_BINARY_DIR}/changelog.gz
        DESTINATION ${TIDWEN_DOC_INSTALL_DIR})
