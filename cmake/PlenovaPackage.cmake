# Installation and the Debian package (cpack -G DEB, or the target "package"):
#
#   /usr/bin/plenova-machine             the machine tool
#   /usr/bin/plenova-saver               the saver (a link to the program below)
#   /usr/lib/plenova/                    the distribution medium: PlenovaSaver.scr,
#                                        PlenovaSetup.exe, TAVORIN.DLL, and links to SETUP.ini
#                                        and the data files
#   /usr/share/plenova/data/             SETUP.ini and the data files
#   /usr/libexec/xscreensaver/plenova    the hack, with its settings description (saver/)
#   /usr/share/applications/             "Plenova Saver" and its settings, "Screen Saver"
#                                        (plenova-machine desk)
#   /etc/xdg/autostart/                  the screen-saver host (plenova-machine host)
#   /usr/share/icons/hicolor/<n>x<n>/apps/plenova.png    the frog, the icon of every window
#                                        and menu entry (also of the machine's Start menu)
#   /usr/share/man/man1/                 plenova-saver(1), plenova-machine(1)
#   /usr/share/man/man6/                 plenova(6), the hack's page (XScreenSaver's
#                                        "Documentation" button opens it by the hack's name)
#
# The saver finds its data from its own place (two levels below the prefix), so an unpacked
# package works without installing, and nothing after installing needs a manual step.
include(GNUInstallDirs)

set(plenova_medium_dir "lib/plenova")
set(plenova_data_dir "${CMAKE_INSTALL_DATADIR}/plenova/data")
set(plenova_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/plenova")
set(plenova_packaging_dir "${PROJECT_SOURCE_DIR}/packaging")

install(TARGETS PlenovaSaver PlenovaSetup RUNTIME DESTINATION "${plenova_medium_dir}")
install(TARGETS tavorin LIBRARY DESTINATION "${plenova_medium_dir}")
install(TARGETS plenova-machine RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

get_property(plenova_package_data GLOBAL PROPERTY PLENOVA_DATA_FILES)
list(APPEND plenova_package_data "${PLENOVA_DIST_DIR}/SETUP.ini")
install(FILES ${plenova_package_data} DESTINATION "${plenova_data_dir}")

# The medium holds links to the data, so that installing from it finds every file beside the
# setup program, and the saver command is a link to the program.
set(plenova_medium_links "")
foreach(file IN LISTS plenova_package_data)
  get_filename_component(name "${file}" NAME)
  list(APPEND plenova_medium_links "${name}")
endforeach()
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  foreach(name ${plenova_medium_links})
    file(CREATE_LINK \"../../${plenova_data_dir}/\${name}\"
         \"\${root}/${plenova_medium_dir}/\${name}\" SYMBOLIC)
  endforeach()
  file(MAKE_DIRECTORY \"\${root}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"../${plenova_medium_dir}/PlenovaSaver.scr\"
       \"\${root}/${CMAKE_INSTALL_BINDIR}/plenova-saver\" SYMBOLIC)
  # The hack is installed as a copy of a program file, which the stripping of targets misses.
  set(hack \"\${root}/${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver/plenova\")
  if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"\${hack}\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" \"\${hack}\")
  endif()
")

install(FILES "${plenova_packaging_dir}/plenova-saver.desktop"
              "${plenova_packaging_dir}/plenova-saver-settings.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")

# The Display Properties page in the menu.
install(FILES "${plenova_packaging_dir}/plenova-screen-saver.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
# The screen-saver host in every session; it does nothing until the machine's own settings
# switch a saver on, so installing changes no desktop by itself.
install(FILES "${plenova_packaging_dir}/plenova-machine-host.desktop"
        DESTINATION "/etc/xdg/autostart")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${plenova_packaging_dir}/conffiles")

get_property(plenova_icon_dir GLOBAL PROPERTY PLENOVA_ICON_DIR)
install(DIRECTORY "${plenova_icon_dir}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons")

# Manual pages and the changelog, compressed as Debian wants them (no name, no time stamp).
set(plenova_compressed "")
foreach(source plenova-saver.1 plenova-machine.1 plenova.6 changelog)
  set(output "${CMAKE_BINARY_DIR}/packaging/${source}.gz")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/packaging"
    COMMAND sh -c "gzip -9n < '${plenova_packaging_dir}/${source}' > '${output}'"
    DEPENDS "${plenova_packaging_dir}/${source}"
    COMMENT "Compressing ${source}"
    VERBATIM)
  list(APPEND plenova_compressed "${output}")
endforeach()
add_custom_target(plenova_package_docs ALL DEPENDS ${plenova_compressed})
install(FILES "${CMAKE_BINARY_DIR}/packaging/plenova-saver.1.gz"
              "${CMAKE_BINARY_DIR}/packaging/plenova-machine.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${CMAKE_BINARY_DIR}/packaging/plenova.6.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man6")
install(FILES "${CMAKE_BINARY_DIR}/packaging/changelog.gz" "${plenova_packaging_dir}/copyright"
        DESTINATION "${plenova_doc_dir}")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "plenova")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Plenova developers")
set(CPACK_PACKAGE_CONTACT "Plenova maintainers <plenova@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen saver with a frog floating in space")
# Lines of the package description, each under 80 characters as Debian wants them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "A star field scrolls endlessly while a frog, rockets, planets, a comet, a\n"
    "satellite, a flying saucer and an astronaut drift across the screen to a calm\n"
    "music loop. The saver works as an XScreenSaver hack and as an xsecurelock\n"
    "saver module, and comes with its setup program and a small emulated Windows\n"
    "machine whose Start menu appears in the desktop's application menu.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "amd64")
set(CPACK_DEBIAN_PACKAGE_SECTION "x11")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the computed dependencies cannot see them: the Japanese UI font
# (without it every label is boxes) and Qt's translations (standard buttons in the desktop's
# language).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n")
# Qt's Wayland platform, also loaded at run time: without it the saver cannot cover a Wayland
# desktop.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | xsecurelock")
include(CPack)
