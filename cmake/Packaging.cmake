# Installation layout and the Debian package.
#
# `cmake --install` puts the tool and the logo service in bin, the desktop
# entry in share/applications, the icon in the hicolor theme, the AppStream
# metainfo in share/metainfo, the manual pages in share/man and the Debian
# copyright and changelog in share/doc/quillmark; `cpack -G DEB` makes the
# quillmark package from the same layout.

include(GNUInstallDirs)

# The reverse-DNS id: desktop entry file name, icon name, and the tool's
# desktop file name at start-up.
set(QUILLMARK_APP_ID "io.github.quillmark.Quillmark")
set(QUILLMARK_HOMEPAGE "https://quillmark.example" CACHE STRING "The project's home page; the metainfo's screenshots lie under its docs/")
set(QUILLMARK_ICON_SIZES 16 32 48 64 128 256)

if(TARGET quillmark)
  install(TARGETS quillmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET quillmark-logo-service)
  install(TARGETS quillmark-logo-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Beside the tool in the build tree too, where the tool looks for it.
  set_target_properties(quillmark-logo-service PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${QUILLMARK_PROGRAM_DIR}")
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

# AppStream metainfo: what software centres show.
configure_file("${PROJECT_SOURCE_DIR}/packaging/${QUILLMARK_APP_ID}.metainfo.xml.in"
  "${PROJECT_BINARY_DIR}/packaging/${QUILLMARK_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/packaging/${QUILLMARK_APP_ID}.metainfo.xml"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The release date as a changelog wants it ("Fri, 11 Dec 2026 12:00:00 +0000"),
# worked out from QUILLMARK_RELEASE_DATE.
string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" date_parts "${QUILLMARK_RELEASE_DATE}")
set(year ${CMAKE_MATCH_1})
math(EXPR month "${CMAKE_MATCH_2} + 0")
math(EXPR day "${CMAKE_MATCH_3} + 0")
# Sakamoto's rule for the day of the week, 0 for Sunday.
set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR month_index "${month} - 1")
list(GET month_offsets ${month_index} month_offset)
set(y ${year})
if(month LESS 3)
  math(EXPR y "${year} - 1")
endif()
math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${month_offset} + ${day}) % 7")
set(weekday_names Sun Mon Tue Wed Thu Fri Sat)
list(GET weekday_names ${weekday} weekday_name)
set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET month_names ${month_index} month_name)
string(LENGTH "${day}" day_length)
set(day_text "${day}")
if(day_length EQUAL 1)
  set(day_text "0${day}")
endif()
set(QUILLMARK_CHANGELOG_DATE "${weekday_name}, ${day_text} ${month_name} ${year} 12:00:00 +0000")

# Manual pages and the Debian changelog, compressed as Debian keeps them
# (gzip -9n: no name or time stamp inside, so the bytes depend on the text alone).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressed_docs)
function(quillmark_gzip_doc source_in output)
  configure_file("${source_in}" "${output}" @ONLY)
  add_custom_command(OUTPUT "${output}.gz"
    COMMAND "${GZIP_PROGRAM}" -9nkf "${output}"
    DEPENDS "${output}"
    COMMENT "Compressing ${output}"
    VERBATIM)
  set(compressed_docs ${compressed_docs} "${output}.gz" PARENT_SCOPE)
endfunction()
foreach(page quillmark quillmark-logo-service)
  quillmark_gzip_doc("${PROJECT_SOURCE_DIR}/packaging/man/${page}.1.in" "${PROJECT_BINARY_DIR}/packaging/man/${page}.1")
  install(FILES "${PROJECT_BINARY_DIR}/packaging/man/${page}.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
quillmark_gzip_doc("${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in" "${PROJECT_BINARY_DIR}/packaging/debian/changelog")
add_custom_target(quillmark_docs ALL DEPENDS ${compressed_docs})
install(FILES "${PROJECT_BINARY_DIR}/packaging/debian/changelog.gz" "${PROJECT_SOURCE_DIR}/packaging/debian/copyright"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmark)

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
  "Quillmark makes one logo per title line and saves each as a numbered PNG\nin the pictures folder. It comes with a local logo service,\nquillmark-logo-service, which it starts when a batch needs it, so that\nlogos can be made without a network.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${QUILLMARK_PACKAGE_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUILLMARK_HOMEPAGE}")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The titles are drawn in this face; dpkg-shlibdeps cannot know that.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
include(CPack)
