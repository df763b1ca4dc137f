# SPDX-License-Identifier: BSD-2-Clause-Patent
# The two PE32+ EFI boot-service driver images.

# clang targeting Windows is taken for an MSVC-like compiler, which gets no
# dependency files: ask for them so header edits rebuild the images.
set(CMAKE_DEPFILE_FLAGS_CXX "-MD -MT <DEP_TARGET> -MF <DEP_FILE>")
set(EC_IMAGE_COMPILE_OPTIONS
  -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -mno-red-zone -fno-stack-protector -mno-stack-arg-probe
  -Oz -Wall -Wextra -Werror
  # Identical images from any checkout or build folder: no absolute source
  # path may reach them (through __FILE__ or debug information).
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
# /timestamp:0: a fixed PE time stamp instead of the link time, so two builds
# of the same sources give the same bytes. (/Brepro would do the same with a
# content hash, but adds a debug directory: 32 bytes more per image.)
set(EC_IMAGE_LINK_OPTIONS
  /nodefaultlib /subsystem:efi_boot_service_driver /machine:x64
  /opt:ref /opt:icf /merge:.rdata=.text /filealign:32 /wx /timestamp:0)

# Constants the platform sets: the banner's version bytes and where the EC
# image lies in the boot flash. The sources refuse out-of-range values
# (static_assert), so both this build and an EDK II build check them.
set(EC_VERSION_FIELD1 0x00 CACHE STRING "First field of the updater's version banner (0..0xFF)")
set(EC_VERSION_FIELD3 0x00 CACHE STRING "Third field of the updater's version banner (0..0xFF)")
set(EC_IMAGE_BASE 0xFF660000 CACHE STRING
  "Boot-flash address of the 128 KiB EC image (1 KiB aligned, below 4 GiB)")
set(EC_SETTING_DEFINITIONS EC_VERSION_FIELD1=${EC_VERSION_FIELD1}
  EC_VERSION_FIELD3=${EC_VERSION_FIELD3} EC_IMAGE_BASE=${EC_IMAGE_BASE})
# The same settings beside the image, for ./run and ./run firmware to expect
# what this build shows and where it reads.
list(JOIN EC_SETTING_DEFINITIONS "\n" EC_SETTING_LINES)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/ec_flash_updater.settings CONTENT "${EC_SETTING_LINES}\n")

function(ec_driver_image NAME ENTRY)
  add_executable(${NAME} ${ARGN} ${EC_COMMON_SOURCES} firmware/platform/compiler_support.cpp)
  target_include_directories(${NAME} PRIVATE ${EC_FIRMWARE_DIR})
  target_compile_definitions(${NAME} PRIVATE EC_DRIVER_IMAGE=1 ${EC_SETTING_DEFINITIONS})
  target_compile_options(${NAME} PRIVATE ${EC_IMAGE_COMPILE_OPTIONS})
  target_link_options(${NAME} PRIVATE ${EC_IMAGE_LINK_OPTIONS} /entry:${ENTRY}
    /map:$<TARGET_FILE_DIR:${NAME}>/${NAME}.map)
endfunction()

# The block copy and clear helpers must not be turned back into calls to
# themselves.
set_source_files_properties(firmware/platform/compiler_support.cpp PROPERTIES COMPILE_OPTIONS -fno-builtin)

ec_driver_image(ec_flash_updater UpdaterEntry ${EC_UPDATER_SOURCES})
ec_driver_image(ec_threshold_guard GuardEntry ${EC_GUARD_SOURCES})

# The platform-side sample that installs the update trigger: not a delivered
# driver (integrators copy its source), built here for the firmware rig.
add_executable(ec_trigger_sample firmware/sample/trigger/trigger_sample.cpp
  firmware/platform/compiler_support.cpp)
target_include_directories(ec_trigger_sample PRIVATE ${EC_FIRMWARE_DIR})
target_compile_definitions(ec_trigger_sample PRIVATE EC_DRIVER_IMAGE=1)
target_compile_options(ec_trigger_sample PRIVATE ${EC_IMAGE_COMPILE_OPTIONS})
target_link_options(ec_trigger_sample PRIVATE ${EC_IMAGE_LINK_OPTIONS} /entry:TriggerSampleEntry)

enable_testing()
add_test(NAME image_format.ec_flash_updater
  COMMAND ${PROJECT_SOURCE_DIR}/tests/check_pe_image.sh $<TARGET_FILE:ec_flash_updater> UpdaterEntry)
add_test(NAME image_format.ec_threshold_guard
  COMMAND ${PROJECT_SOURCE_DIR}/tests/check_pe_image.sh $<TARGET_FILE:ec_threshold_guard> GuardEntry)

include(cmake/fv_modules.cmake)

# Out-of-range constants stop the compile at the check that names them; the
# highest base whose 128 KiB still ends by 4 GiB builds.
foreach(case
    "EC_VERSION_FIELD1=0x100|update_prompt|EC_VERSION_FIELD1 must be a byte"
    "EC_VERSION_FIELD3=-1|update_prompt|EC_VERSION_FIELD3 must be a byte"
    "EC_IMAGE_BASE=0xFF660200|flash_program|EC_IMAGE_BASE must be 1 KiB aligned"
    "EC_IMAGE_BASE=0xFFFF0000|flash_program|EC_IMAGE_BASE \\+ 128 KiB must not cross 4 GiB"
    "EC_IMAGE_BASE=0xFFFE0000|flash_program|")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 setting)
  list(GET case 1 source)
  list(GET case 2 refusal)
  add_test(NAME constant_range.${setting}
    COMMAND ${CMAKE_CXX_COMPILER} ${CMAKE_CXX_FLAGS} -std=c++20 -ffreestanding -fsyntax-only
            -DEC_DRIVER_IMAGE=1 -D${setting} -I${EC_FIRMWARE_DIR}
            ${EC_FIRMWARE_DIR}/updater/${source}.cpp)
  if(refusal)
    set_tests_properties(constant_range.${setting} PROPERTIES PASS_REGULAR_EXPRESSION "${refusal}")
  endif()
endforeach()

# The EDK II package's source INFs list what this build compiles.
add_test(NAME edk2_package_sources
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/edk2/test_package_sources.py
          ${CMAKE_BINARY_DIR})

# Test-only UEFI applications used by the firmware-level tests (never shipped).
include(${PROJECT_SOURCE_DIR}/tests/qemu/test_app.cmake OPTIONAL)
