# SPDX-License-Identifier: BSD-2-Clause-Patent
# Firmware-volume modules of the two drivers, written next to the images:
# NAME.depex, NAME.ffs and the EDK II binary INF NAME.inf, from the FILE GUIDs
# and dependency expressions in tools/fv/modules.py. `release` bundles them.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(EC_FV_TOOLS ${PROJECT_SOURCE_DIR}/tools/fv)
file(GLOB EC_FV_TOOL_SOURCES CONFIGURE_DEPENDS ${EC_FV_TOOLS}/*.py)
set(EC_FV_DRIVERS ec_flash_updater ec_threshold_guard)
set(EC_RELEASE_FILES)

foreach(driver ${EC_FV_DRIVERS})
  set(module_files)
  foreach(suffix depex ffs inf)
    list(APPEND module_files ${CMAKE_BINARY_DIR}/${driver}.${suffix})
  endforeach()
  add_custom_command(OUTPUT ${module_files}
    COMMAND Python3::Interpreter ${EC_FV_TOOLS}/make_module.py ${driver}
            $<TARGET_FILE:${driver}> ${CMAKE_BINARY_DIR}
    DEPENDS ${driver} ${EC_FV_TOOL_SOURCES}
    COMMENT "Writing ${driver}.depex, .ffs, .inf"
    VERBATIM)
  list(APPEND EC_RELEASE_FILES $<TARGET_FILE:${driver}> ${module_files})
endforeach()
add_custom_target(ec_modules ALL DEPENDS ${EC_RELEASE_FILES})

add_custom_target(release
  COMMAND Python3::Interpreter ${EC_FV_TOOLS}/bundle.py ${CMAKE_BINARY_DIR}/release
          ${EC_RELEASE_FILES}
  DEPENDS ec_modules
  VERBATIM)

add_test(NAME fv_modules
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/fv/run_tests.py ${CMAKE_BINARY_DIR})
