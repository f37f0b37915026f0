# plenova-machine: registry, path and drive tool for the emulated Windows machine.
add_executable(plenova-machine ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/main.cpp)
target_link_libraries(plenova-machine PRIVATE plenova_platform_machine plenova_warnings)
set_target_properties(plenova-machine PROPERTIES
  AUTOMOC OFF
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
