# Installation layout and the Debian package.
#
# `cmake --install` puts the tool and the logo service in bin, the desktop
# entry in share/applications and the icon in the hicolor theme; `cpack -G DEB`
# makes the quillmark package from the same layout.

include(GNUInstallDirs)

# The reverse-DNS id: desktop entry file name, icon name, and the tool's
# desktop file name at start-up.
set(QUILLMARK_APP_ID "io.github.quillmark.Quillmark")
set(QUILLMARK_ICON_SIZES 16 32 48 64 128 256)

if(TARGET quillmark)
  install(TARGETS quillmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET quillmark-logo-service)
  install(TARGETS quillmark-logo-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The logo service as a socket-activated system service: installed, not
  # enabled (systemctl enable --now quillmark-logo-service.socket).
  # The unit names the program by its installed path, known only when
  # installing (cpack installs into /usr whatever the build's prefix).
  install(CODE "
    set(QUILLMARK_SERVICE_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/quillmark-logo-service.service.in\"
      \"${PROJECT_BINARY_DIR}/packaging/quillmark-logo-service.service\" @ONLY)")
  install(FILES "${PROJECT_BINARY_DIR}/packaging/quillmark-logo-service.service"
                "${PROJECT_SOURCE_DIR}/packaging/quillmark-logo-service.socket"
    DESTINATION lib/systemd/system)
endif()

# Desktop entry.
configure_file("${PROJECT_SOURCE_DIR}/packaging/quillmark.desktop.in"
  "${PROJECT_BINARY_DIR}/packaging/${QUILLMARK_APP_ID}.desktop" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/packaging/${QUILLMARK_APP_ID}.desktop"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Icons, rendered at build time from the window icon (or drawn, when the tree
# has none yet).
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_executable(quillmark-render-icons "${PROJECT_SOURCE_DIR}/packaging/render_icons.cpp")
target_link_libraries(quillmark-render-icons PRIVATE Qt6::Gui)

set(icon_source "${PROJECT_SOURCE_DIR}/app/resources/quillmark.ico")
set(icon_depends quillmark-render-icons)
if(EXISTS "${icon_source}")
  list(APPEND icon_depends "${icon_source}")
else()
  set(icon_source "-")
endif()
set(icon_dir "${PROJECT_BINARY_DIR}/packaging/icons")
set(icon_files)
foreach(size IN LISTS QUILLMARK_ICON_SIZES)
  list(APPEND icon_files "${icon_dir}/${size}x${size}/apps/${QUILLMARK_APP_ID}.png")
endforeach()
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:quillmark-render-icons> "${icon_source}" "${icon_dir}" "${QUILLMARK_APP_ID}"
          ${QUILLMARK_ICON_SIZES}
  DEPENDS ${icon_depends}
  COMMENT "Rendering the desktop icon"
  VERBATIM)
add_custom_target(quillmark_icons ALL DEPENDS ${icon_files})
install(DIRECTORY "${icon_dir}/" DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# The Debian package.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quillmark")
set(CPACK_PACKAGE_VENDOR "Quillmark")
set(CPACK_PACKAGE_CONTACT "Quillmark developers <dev@quillmark.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Makes website logos in batch")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillmark makes one logo per title line and saves each as a numbered PNG.\nIt comes with a local logo service, quillmark-logo-service, so that logos can be made without a network.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The titles are drawn in this face; dpkg-shlibdeps cannot know that.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
include(CPack)
