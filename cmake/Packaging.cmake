# Desktop integration for `cmake --install`. The files themselves live in
# packaging/: the menu entry, the software centre's metainfo and the icons.
include(GNUInstallDirs)

set(TIDWEN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

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
