# SPDX-License-Identifier: BSD-2-Clause-Patent
# Cross build of the driver images: clang++ emitting COFF for x86-64 and
# lld-link writing PE32+ EFI images. No C or C++ runtime is linked.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_FLAGS_INIT "--target=x86_64-unknown-windows")
set(CMAKE_LINKER lld-link)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_CXX_LINK_EXECUTABLE "lld-link <LINK_FLAGS> <OBJECTS> /out:<TARGET> <LINK_LIBRARIES>")
set(CMAKE_EXECUTABLE_SUFFIX_CXX .efi)
set(EC_DRIVER_IMAGE_BUILD ON)
