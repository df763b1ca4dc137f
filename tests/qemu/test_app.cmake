# SPDX-License-Identifier: BSD-2-Clause-Patent
# Test-only images for the firmware-level tests (never shipped): the UEFI
# Shell application that prepares "Setup" and installs the update trigger,
# and the DXE driver that locks "Setup" at the end of DXE.
set(EC_TEST_APP_LINK_OPTIONS ${EC_IMAGE_LINK_OPTIONS})
list(FILTER EC_TEST_APP_LINK_OPTIONS EXCLUDE REGEX "^/subsystem:")

function(ec_test_image NAME SUBSYSTEM ENTRY SOURCE)
  add_executable(${NAME} ${SOURCE} firmware/platform/compiler_support.cpp)
  target_include_directories(${NAME} PRIVATE ${EC_FIRMWARE_DIR} ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${NAME} PRIVATE EC_DRIVER_IMAGE=1)
  target_compile_options(${NAME} PRIVATE ${EC_IMAGE_COMPILE_OPTIONS})
  target_link_options(${NAME} PRIVATE ${EC_TEST_APP_LINK_OPTIONS}
    /subsystem:${SUBSYSTEM} /entry:${ENTRY})
endfunction()

ec_test_image(setup_tool efi_application SetupToolEntry tests/qemu/setup_tool.cpp)
ec_test_image(setup_lock_driver efi_boot_service_driver SetupLockEntry
  tests/qemu/setup_lock_driver.cpp)
