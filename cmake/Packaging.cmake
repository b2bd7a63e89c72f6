# What a desktop installs besides the programs (file-manager entries, AppStream
# metadata, manual pages, completions, Debian copyright and changelog), and
# the Debian package made from it all (scripts/package runs cpack).

set(SHEAF_DEB_RELEASE 1)
set(resources ${PROJECT_SOURCE_DIR}/resources)
set(debian ${PROJECT_SOURCE_DIR}/packaging/debian)

# Manual pages and the changelog, compressed as Debian wants them: gzip -9,
# no name or time stamp in the header.
set(sheaf_compressed)
function(sheaf_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "mkdir -p \"$(dirname \"$1\")\" && gzip -9n -c \"$0\" > \"$1\"" ${source} ${output}
    DEPENDS ${source} VERBATIM)
  set(sheaf_compressed ${sheaf_compressed} ${output} PARENT_SCOPE)
endfunction()

set(pages sheaf-batch sheaf-arc)
if(SHEAF_BUILD_GUI)
  list(APPEND pages sheaf)
endif()
# English pages, and Japanese ones beside them (man picks them under a
# Japanese locale).
foreach(page IN LISTS pages)
  foreach(lang IN ITEMS en ja)
    set(dir "")
    if(NOT lang STREQUAL "en")
      set(dir "${lang}/")
    endif()
    sheaf_gzip(${resources}/man/${dir}${page}.1 ${PROJECT_BINARY_DIR}/man/${dir}${page}.1.gz)
    install(FILES ${PROJECT_BINARY_DIR}/man/${dir}${page}.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/${dir}man1)
  endforeach()
endforeach()
sheaf_gzip(${debian}/changelog ${PROJECT_BINARY_DIR}/man/changelog.Debian.gz)
add_custom_target(sheaf_compressed_files ALL DEPENDS ${sheaf_compressed})

install(FILES ${resources}/completion/sheaf-batch ${resources}/completion/sheaf-arc
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${debian}/copyright ${PROJECT_BINARY_DIR}/man/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sheaf)

if(SHEAF_BUILD_GUI)
  # Dolphin's context menus: "Sheafで開く" on folders, and the submenu
  # "Sheafで個別圧縮" on any selection. KIO reads the system's copies as they
  # are (only a user's own copies must be executable).
  install(FILES ${resources}/sheaf-servicemenu-open.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus RENAME sheaf-open.desktop)
  install(FILES ${resources}/sheaf-servicemenu-each.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus RENAME sheaf-compress-each.desktop)
  # Scripts for GNOME Files that users link into ~/.local/share/nautilus/scripts
  # (a file name is its menu caption, a folder a submenu).
  install(PROGRAMS ${resources}/sheaf-nautilus-open
          DESTINATION ${CMAKE_INSTALL_DATADIR}/sheaf/nautilus RENAME "Sheafで開く")
  foreach(ARCHIVER IN ITEMS lzh zip cab)
    string(TOUPPER ${ARCHIVER} FORMAT)
    set(CAPTION "${FORMAT} で個別圧縮")
    configure_file(${resources}/sheaf-nautilus-each.in "${PROJECT_BINARY_DIR}/nautilus/${CAPTION}" @ONLY)
    install(PROGRAMS "${PROJECT_BINARY_DIR}/nautilus/${CAPTION}"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/sheaf/nautilus/Sheafで個別圧縮")
  endforeach()
  install(FILES ${resources}/io.github.sheaf.Sheaf.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The changelog's first entry names the package's version.
file(STRINGS ${debian}/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^sheaf \\(${PROJECT_VERSION}-${SHEAF_DEB_RELEASE}\\) ")
  message(WARNING "packaging/debian/changelog does not start with version "
                  "${PROJECT_VERSION}-${SHEAF_DEB_RELEASE}: add an entry")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sheaf)
set(CPACK_PACKAGE_VENDOR "The Sheaf developers")
set(CPACK_PACKAGE_CONTACT "The Sheaf developers <sheaf@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch compressor: one archive per file or folder")
# CPack puts the summary in front as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Sheaf lists every file of one extension under a folder and makes one
archive per file, or one per folder, as LZH, ZIP or CAB, beside the files
or in an output folder. Its window has a Japanese interface and is reached
from the desktop menu or from a folder's context menu in Dolphin or GNOME
Files.
.
sheaf-batch runs the same batch on the console; sheaf-arc runs one
archiver command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SHEAF_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the programs' libraries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Japanese glyphs for the window.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Install what is built; scripts/package builds the installed targets only.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
