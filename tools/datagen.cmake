# Data generator: draws the saver's pictures and composes its music at build time, so the
# repository holds no binary data. Its files go to the distribution folder beside the saver.
# The palette, quantiser and file writers, also used by the generator's tests.
add_library(plenova_datagen_core STATIC
  datagen/palette.cpp
  datagen/writers.cpp
)
target_include_directories(plenova_datagen_core PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/datagen")
target_link_libraries(plenova_datagen_core PUBLIC plenova_assets PkgConfig::SNDFILE
                      PRIVATE plenova_warnings)

add_executable(plenova_datagen
  datagen/main.cpp
  datagen/prepare.cpp
  datagen/background.cpp
  datagen/planets.cpp
  datagen/figures.cpp
  datagen/frog.cpp
  datagen/dialog_art.cpp
  datagen/music.cpp
)
target_link_libraries(plenova_datagen PRIVATE plenova_datagen_core Qt6::Gui plenova_warnings)
set_target_properties(plenova_datagen PROPERTIES AUTOMOC OFF)

set(plenova_data_names
  "背景.bmp"
  Ani0000.bmp Ani0001.bmp Ani0002.bmp Ani0003.bmp
  Ani0400.bmp Ani0600.bmp Ani0700.bmp Ani0800.bmp Ani0900.bmp Ani1000.bmp
  Ani1100.bmp Ani1101.bmp Ani1102.bmp Ani1103.bmp
  Ani1200.bmp Ani1201.bmp Ani1202.bmp Ani1203.bmp Ani1204.bmp Ani1205.bmp Ani1206.bmp Ani1207.bmp Ani1208.bmp
  SCR.wav
  prev.bmp title.bmp star45.bmp star31.bmp star25.bmp star15.bmp
  Plenova.ico up.ico down.ico
)
set(plenova_data_files "")
foreach(name IN LISTS plenova_data_names)
  list(APPEND plenova_data_files "${PLENOVA_DIST_DIR}/${name}")
endforeach()
# Other parts can find the list here (for example to install or check the files).
set_property(GLOBAL PROPERTY PLENOVA_DATA_FILES "${plenova_data_files}")

add_custom_command(
  OUTPUT ${plenova_data_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:plenova_datagen> --out "${PLENOVA_DIST_DIR}"
  DEPENDS plenova_datagen
  COMMENT "Generating the saver's pictures and music"
  VERBATIM
)
add_custom_target(plenova_data ALL DEPENDS ${plenova_data_files})

# The program icon for the desktop's icon theme (hicolor), at the theme's usual sizes: the
# package installs it, and the windows and menu entries name it "plenova".
set(plenova_icon_sizes 16 22 24 32 48 64 128 256)
set(plenova_icon_files "")
foreach(size IN LISTS plenova_icon_sizes)
  list(APPEND plenova_icon_files "${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/plenova.png")
endforeach()
set_property(GLOBAL PROPERTY PLENOVA_ICON_DIR "${CMAKE_BINARY_DIR}/icons/hicolor")
add_custom_command(
  OUTPUT ${plenova_icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:plenova_datagen> --icons "${CMAKE_BINARY_DIR}/icons/hicolor"
  DEPENDS plenova_datagen
  COMMENT "Drawing the program icon for the icon theme"
  VERBATIM
)
add_custom_target(plenova_icons ALL DEPENDS ${plenova_icon_files})

# A contact sheet of every picture, for a person to look at: cmake --build . --target plenova_contact_sheet
add_custom_target(plenova_contact_sheet
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:plenova_datagen>
          --out "${CMAKE_CURRENT_BINARY_DIR}/contact" --contact-sheet "${CMAKE_CURRENT_BINARY_DIR}/contact-sheet.png"
  DEPENDS plenova_datagen
  COMMENT "Writing ${CMAKE_CURRENT_BINARY_DIR}/contact-sheet.png"
  VERBATIM
)
