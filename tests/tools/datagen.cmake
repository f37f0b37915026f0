# Tests of the data generator and of the files it wrote into the distribution folder.
add_executable(datagen_tests
  datagen_pictures_test.cpp
  datagen_music_test.cpp
  datagen_generator_test.cpp
)
target_include_directories(datagen_tests PRIVATE "${PROJECT_SOURCE_DIR}")
target_compile_definitions(datagen_tests PRIVATE
  PLENOVA_TEST_DIST_DIR="${PLENOVA_DIST_DIR}"
  PLENOVA_TEST_DATAGEN="$<TARGET_FILE:plenova_datagen>")
target_link_libraries(datagen_tests PRIVATE
  plenova_datagen_core plenova_engine plenova_test_support Qt6::Gui plenova_warnings
  GTest::gtest_main)
add_dependencies(datagen_tests plenova_data)
gtest_discover_tests(datagen_tests PROPERTIES ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen;PLENOVA_MACHINE=${CMAKE_CURRENT_BINARY_DIR}/machine"
  TIMEOUT 120)
