# Test-only UEFI Shell application for the firmware-level tests: prepares the
# "Setup" variable and installs the update trigger protocol. Never shipped.
set(EC_TEST_APP_LINK_OPTIONS ${EC_IMAGE_LINK_OPTIONS})
list(FILTER EC_TEST_APP_LINK_OPTIONS EXCLUDE REGEX "^/subsystem:")

add_executable(setup_tool tests/qemu/setup_tool.cpp firmware/platform/compiler_support.cpp)
target_include_directories(setup_tool PRIVATE ${EC_FIRMWARE_DIR} ${PROJECT_SOURCE_DIR})
target_compile_definitions(setup_tool PRIVATE EC_DRIVER_IMAGE=1)
target_compile_options(setup_tool PRIVATE ${EC_IMAGE_COMPILE_OPTIONS})
target_link_options(setup_tool PRIVATE ${EC_TEST_APP_LINK_OPTIONS}
  /subsystem:efi_application /entry:SetupToolEntry)
